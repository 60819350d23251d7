#include "cli/stability_run.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>
#include <utility>

#include "calc/calc_job.h"
#include "calc/quiet_host.h"
#include "calc/sizes.h"
#include "cli/cpu_set.h"
#include "cli/exit_codes.h"
#include "cli/run_environment.h"
#include "cli/run_report.h"
#include "cli/runner_platform.h"
#include "cli/size_argument.h"
#include "cli/terminal_host.h"
#include "records/record_store.h"
#include "records/registry_key.h"

namespace oskelon {
namespace {

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

std::string outputDirectory(int cpu) {
    return "cpu" + std::to_string(cpu);
}

// The host of a worker's jobs: their list lines, result text and messages stay inside the
// worker; only a failure message (no memory, pi.dat not written) is kept for the run's line.
// Only the worker's own thread calls it.
using WorkerHost = QuietHost;

// A run that came to its end (a stopped run is no outcome).
struct RunOutcome {
    int cpu = 0;
    long long run = 0;
    unsigned jobExit = kJobComplete;
    bool verified = false;
    std::string status;  // "verified", "wrong", "unchecked", "allocation failure"
    std::string verdictText;
    int firstWrongIteration = 0;
    long long firstWrongDigitFrom = 0;
    long long firstWrongDigitTo = 0;
    double milliseconds = 0;
    bool clockVerified = false;
    std::string code;
    std::string problem;        // the job's failure message
    double elapsedSeconds = 0;  // from the start of the test to the end of the run
    int ranOnCpu = -1;          // where the worker was when the run ended

    bool completed() const { return jobExit == kJobComplete || jobExit == kJobOutputFailed; }
    bool passed() const { return jobExit == kJobComplete && verified; }
};

struct WorkerEvent {
    std::optional<RunOutcome> run;  // a finished run
    bool ended = false;             // the worker's last event
    int cpu = 0;
    std::string error;  // why the worker could not go on (with ended)
};

// Worker events on their way to the main thread, which sleeps in its InterruptWaiter: every
// post wakes it (a wake that comes while it is awake ends its next wait).
class EventQueue {
  public:
    explicit EventQueue(InterruptWaiter& waiter) : waiter_(waiter) {}
    void post(WorkerEvent event) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            events_.push_back(std::move(event));
        }
        waiter_.wake();
    }
    std::deque<WorkerEvent> take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(events_, {});
    }

  private:
    InterruptWaiter& waiter_;
    std::mutex mutex_;
    std::deque<WorkerEvent> events_;
};

// One instance of the test: a thread pinned to its CPU that runs the size with its own host,
// working set, stop token and output directory.
class Worker {
  public:
    Worker(int cpu, const StabilityPlan& plan, const FaultInjection& fault, EventQueue& events,
           Clock::time_point start)
        : cpu_(cpu),
          plan_(plan),
          fault_(fault),
          events_(events),
          start_(start),
          host_(plan.sizeIndex) {}
    ~Worker() {
        requestStop();
        join();
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void start() {
        thread_ = std::jthread([this] { body(); });
    }
    // The run in progress ends within a transform and writes nothing more; no new run starts.
    void requestStop() { stop_.requestStop(); }
    void join() {
        if (thread_.joinable()) thread_.join();
    }

  private:
    void body();
    std::optional<RunOutcome> runOnce(long long run);

    const int cpu_;
    const StabilityPlan& plan_;
    const FaultInjection& fault_;
    EventQueue& events_;
    const Clock::time_point start_;
    WorkerHost host_;
    StopToken stop_;
    std::jthread thread_;  // last: joined before the members it uses go
};

void Worker::body() {
    WorkerEvent last;
    last.ended = true;
    last.cpu = cpu_;
    try {
        std::string reason;
        if (!pinCurrentThread(cpu_, &reason)) {
            last.error = "cannot pin a worker to CPU " + std::to_string(cpu_) + ": " + reason;
        } else {
            // The thread's name shows which CPU it tests (ps -L, top -H, debuggers).
            nameCurrentThread("oskelon-cpu" + std::to_string(cpu_));
            for (long long run = 1; plan_.loops == 0 || run <= plan_.loops; ++run) {
                if (stop_.stopRequested()) break;
                std::optional<RunOutcome> outcome = runOnce(run);
                if (!outcome) break;
                const bool goOn = outcome->passed();
                WorkerEvent event;
                event.run = std::move(outcome);
                event.cpu = cpu_;
                events_.post(std::move(event));
                if (!goOn) break;
            }
        }
    } catch (const std::exception& e) {
        last.error = "worker on CPU " + std::to_string(cpu_) + " failed: " + e.what();
    }
    host_.workingSet().releaseAll();
    events_.post(std::move(last));
}

std::optional<RunOutcome> Worker::runOnce(long long run) {
    JobOptions options;
    options.outputFile = outputDirectory(cpu_) + "/pi.dat";
    if (fault_.afterIteration > 0 && (fault_.cpu < 0 || fault_.cpu == cpu_) &&
        (fault_.run == 0 || fault_.run == run))
        options.corruptAfterIteration = fault_.afterIteration;
    host_.takeProblem();
    CalcJob job(host_, stop_, options);
    const unsigned exit = job.run();
    host_.workingSet().releaseAll();
    if (exit == kJobStopped) return std::nullopt;

    RunOutcome o;
    o.cpu = cpu_;
    o.run = run;
    o.jobExit = exit;
    o.ranOnCpu = currentCpu();
    o.elapsedSeconds = secondsBetween(start_, Clock::now());
    o.problem = host_.takeProblem();
    if (!o.completed()) {
        o.status = exit == kJobAllocationFailure ? "allocation failure" : "error";
        return o;
    }
    const DigitsVerdict& digits = job.digitsVerdict();
    o.verified = job.verified();
    const bool wrong =
        job.firstWrongIteration() != 0 || digits.status == DigitsVerdict::Status::Wrong;
    o.status = o.verified ? "verified" : wrong ? "wrong" : "unchecked";
    o.verdictText = job.verdictText();
    o.firstWrongIteration = job.firstWrongIteration();
    o.firstWrongDigitFrom = digits.firstWrongFrom;
    o.firstWrongDigitTo = digits.firstWrongTo;
    o.milliseconds = job.totalMilliseconds();
    o.clockVerified = job.clockCheck().verified;
    o.code = formatResultCode(job.resultCode());
    return o;
}

// Why the test ended.
enum class End { AllEnded, TimeLimit, Interrupted, Failure, Error };

// The main thread's side: the lines of finished runs, the tally per CPU and the summary.
class StabilityReport {
  public:
    StabilityReport(const StabilityPlan& plan, TerminalHost& out) : plan_(plan), out_(out) {
        for (int cpu : plan.cpus) tallies_.push_back({cpu, 0, 0, 0, {}});
    }

    bool stopping() const { return stopping_; }
    void end(End why) {
        if (!stopping_) end_ = why;
        stopping_ = true;
    }

    void printStart() const;
    // Counts and prints a finished run; a failed run ends the test unless --keep-going lets
    // the other workers go on after a wrong result.
    void runFinished(const RunOutcome& run);
    void workerError(int cpu, const std::string& error);
    void printSummary(double elapsedSeconds) const;
    int exitCode() const;

  private:
    struct Tally {
        int cpu;
        long long runs, verified, failed;
        std::vector<double> milliseconds;
    };
    Tally& tallyOf(int cpu);
    bool json() const { return out_.format() == TerminalHost::Format::JsonLines; }

    const StabilityPlan& plan_;
    TerminalHost& out_;
    std::vector<Tally> tallies_;
    std::vector<RunOutcome> failures_;  // wrong or unverifiable results, in order
    std::vector<std::string> errors_;   // runs or workers that could not do their work
    bool allocationFailed_ = false;
    bool outputFailed_ = false;
    bool workerFailed_ = false;
    bool stopping_ = false;
    End end_ = End::AllEnded;
    int endCpu_ = -1;  // the CPU whose failure ended the test
};

std::string runLine(const RunOutcome& o) {
    std::string line = format("cpu %d  run %lld  ", o.cpu, o.run);
    if (!o.completed()) return line + o.status + (o.problem.empty() ? "" : ": " + o.problem);
    line += format("%.1f ms  ", o.milliseconds) + (o.verified ? "verified" : o.verdictText);
    if (!o.clockVerified) line += "  (time UNVERIFIED: the clocks disagree)";
    if (o.jobExit == kJobOutputFailed) line += "  pi.dat not written: " + o.problem;
    return line;
}

std::string failureLine(const RunOutcome& o) {
    std::string where = o.verdictText;
    if (o.firstWrongIteration != 0)
        where = "iteration " + std::to_string(o.firstWrongIteration);
    else if (o.firstWrongDigitFrom != 0)
        where = format("digits %lld-%lld", o.firstWrongDigitFrom, o.firstWrongDigitTo);
    return format("FAILED on cpu %d: run %lld, ", o.cpu, o.run) + where +
           format(", after %.1f s", o.elapsedSeconds);
}

nlohmann::json runEvent(const RunOutcome& o) {
    nlohmann::json event = progressEvent("run");
    event["cpu"] = o.cpu;
    event["run"] = o.run;
    event["status"] = o.status;
    event["verified"] = o.verified;
    event["elapsedSeconds"] = o.elapsedSeconds;
    event["ranOnCpu"] = o.ranOnCpu;
    if (o.completed()) {
        event["milliseconds"] = o.milliseconds;
        event["clockVerified"] = o.clockVerified;
        event["verdict"] = o.verdictText;
        event["firstWrongIteration"] = o.firstWrongIteration;
        event["firstWrongDigitFrom"] = o.firstWrongDigitFrom;
        event["firstWrongDigitTo"] = o.firstWrongDigitTo;
        event["code"] = o.code;
        event["piDatWritten"] = o.jobExit == kJobComplete;
    }
    if (!o.problem.empty()) event["problem"] = o.problem;
    return event;
}

StabilityReport::Tally& StabilityReport::tallyOf(int cpu) {
    for (Tally& t : tallies_) {
        if (t.cpu == cpu) return t;
    }
    return tallies_.front();  // every worker's CPU has its tally
}

void StabilityReport::printStart() const {
    const std::string size =
        format("size %d (%s digits)", plan_.sizeIndex, sizeCommonName(plan_.sizeIndex).c_str());
    if (json()) {
        nlohmann::json event = progressEvent("start");
        event["size"] = plan_.sizeIndex;
        event["sizeName"] = sizeCommonName(plan_.sizeIndex);
        event["cpus"] = plan_.cpus;
        event["loops"] = plan_.loops;
        event["durationSeconds"] =
            plan_.duration ? nlohmann::json(plan_.duration->count() / 1000.0) : nlohmann::json();
        event["keepGoing"] = plan_.keepGoing;
        out_.printEvent(event.dump());
        return;
    }
    std::string runs;
    if (plan_.loops == 0)
        runs = plan_.duration ? "runs" : "runs until stopped (Ctrl+C)";
    else
        runs = std::to_string(plan_.loops) + (plan_.loops == 1 ? " run each" : " runs each");
    if (plan_.duration)
        runs += format(plan_.loops == 0 ? " for %.1f s" : ", at most %.1f s",
                       plan_.duration->count() / 1000.0);
    const std::size_t n = plan_.cpus.size();
    out_.printLine("stability test: " + size + ", " + std::to_string(n) +
                   (n == 1 ? " instance on cpu " : " instances on cpus ") +
                   formatCpuList(plan_.cpus) + ", " + runs + "; pi.dat in cpu<N>/");
}

void StabilityReport::runFinished(const RunOutcome& run) {
    if (json())
        out_.printEvent(runEvent(run).dump());
    else
        out_.printLine(runLine(run));

    Tally& tally = tallyOf(run.cpu);
    if (!run.completed()) {
        allocationFailed_ = allocationFailed_ || run.jobExit == kJobAllocationFailure;
        workerFailed_ = workerFailed_ || run.jobExit != kJobAllocationFailure;
        errors_.push_back(runLine(run));
        if (!stopping_) endCpu_ = run.cpu;
        end(End::Error);
        return;
    }
    ++tally.runs;
    tally.milliseconds.push_back(run.milliseconds);
    if (run.verified) {
        ++tally.verified;
    } else {
        ++tally.failed;
        failures_.push_back(run);
        if (!plan_.keepGoing) {
            if (!stopping_) endCpu_ = run.cpu;
            end(End::Failure);
        }
    }
    if (run.jobExit == kJobOutputFailed) {
        outputFailed_ = true;
        errors_.push_back(runLine(run));
        if (!stopping_) endCpu_ = run.cpu;
        end(End::Error);
    }
}

void StabilityReport::workerError(int cpu, const std::string& error) {
    std::fprintf(stderr, "oskelon-cli: %s\n", error.c_str());
    errors_.push_back(error);
    workerFailed_ = true;
    if (!stopping_) endCpu_ = cpu;
    end(End::Error);
}

int StabilityReport::exitCode() const {
    if (!failures_.empty()) return kExitWrong;
    if (allocationFailed_) return kExitAllocation;
    if (workerFailed_) return kExitUsage;
    if (outputFailed_) return kExitOutput;
    if (end_ == End::Interrupted) return kExitInterrupted;
    return kExitOk;
}

void StabilityReport::printSummary(double elapsedSeconds) const {
    std::string why;
    const char* endName = "";
    switch (end_) {
        case End::AllEnded:
            endName = "all ended";
            why = failures_.empty() ? "all loops done" : "every worker ended";
            break;
        case End::TimeLimit:
            endName = "time limit";
            why = "time limit reached";
            break;
        case End::Interrupted:
            endName = "interrupted";
            why = "interrupted";
            break;
        case End::Failure:
            endName = "failure";
            why = "stopped by the wrong result on cpu " + std::to_string(endCpu_);
            break;
        case End::Error:
            endName = "error";
            why = "stopped by an error on cpu " + std::to_string(endCpu_);
            break;
    }
    long long runs = 0, verified = 0;
    for (const Tally& t : tallies_) {
        runs += t.runs;
        verified += t.verified;
    }

    if (json()) {
        nlohmann::json cpus = nlohmann::json::array();
        for (const Tally& t : tallies_) {
            const TimeSpread spread = timeSpread(t.milliseconds);
            cpus.push_back({{"cpu", t.cpu},
                            {"runs", t.runs},
                            {"verified", t.verified},
                            {"failed", t.failed},
                            {"minMilliseconds", spread.min},
                            {"medianMilliseconds", spread.median},
                            {"maxMilliseconds", spread.max}});
        }
        nlohmann::json failures = nlohmann::json::array();
        for (const RunOutcome& f : failures_) failures.push_back(runEvent(f));
        nlohmann::json event = progressEvent("summary");
        event["size"] = plan_.sizeIndex;
        event["end"] = endName;
        event["endText"] = why;
        event["elapsedSeconds"] = elapsedSeconds;
        event["runs"] = runs;
        event["verifiedRuns"] = verified;
        event["cpus"] = cpus;
        event["failures"] = failures;
        event["errors"] = errors_;
        event["exitCode"] = exitCode();
        out_.printEvent(event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
        return;
    }

    const std::size_t n = plan_.cpus.size();
    out_.printLine(format("summary: size %d (%s digits), %zu %s, %.1f s, ", plan_.sizeIndex,
                          sizeCommonName(plan_.sizeIndex).c_str(), n,
                          n == 1 ? "instance" : "instances", elapsedSeconds) +
                   why);
    for (const Tally& t : tallies_) {
        std::string line = format("cpu %d: %lld %s, %lld verified", t.cpu, t.runs,
                                  t.runs == 1 ? "run" : "runs", t.verified);
        if (t.failed > 0) line += format(", %lld FAILED", t.failed);
        if (!t.milliseconds.empty()) {
            const TimeSpread spread = timeSpread(t.milliseconds);
            line += format(", min %.1f ms, median %.1f ms, max %.1f ms", spread.min, spread.median,
                           spread.max);
        }
        out_.printLine(line);
    }
    for (const std::string& error : errors_) out_.printLine("ERROR: " + error);
    for (const RunOutcome& f : failures_) out_.printLine(failureLine(f));
    if (failures_.empty() && errors_.empty()) {
        out_.printLine(runs == 0
                           ? std::string("no run finished")
                           : format("all %lld %s verified", runs, runs == 1 ? "run" : "runs"));
    }
}

}  // namespace

int runStabilityTest(const StabilityPlan& plan, bool jsonLines, const FaultInjection& fault) {
    TerminalHost out(plan.sizeIndex, stdout, stderr,
                     jsonLines ? TerminalHost::Format::JsonLines : TerminalHost::Format::Text);
    {
        // The store is checked once at start, as for a single run.
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        CheckStoreVersion(key, out);
    }
    for (int cpu : plan.cpus) {
        std::error_code error;
        std::filesystem::create_directories(outputDirectory(cpu), error);
        if (error) {
            std::fprintf(stderr, "oskelon-cli: cannot create the directory %s: %s\n",
                         outputDirectory(cpu).c_str(), error.message().c_str());
            return kExitOutput;
        }
    }

    InterruptWaiter waiter;  // before the workers start; outlives them
    StabilityReport report(plan, out);
    report.printStart();
    EventQueue events(waiter);
    const Clock::time_point start = Clock::now();
    std::vector<std::unique_ptr<Worker>> workers;
    for (int cpu : plan.cpus)
        workers.push_back(std::make_unique<Worker>(cpu, plan, fault, events, start));
    for (auto& worker : workers) worker->start();

    std::size_t running = workers.size();
    auto handle = [&](std::deque<WorkerEvent> batch) {
        for (const WorkerEvent& event : batch) {
            if (event.run) report.runFinished(*event.run);
            if (event.ended) {
                --running;
                if (!event.error.empty()) report.workerError(event.cpu, event.error);
            }
        }
    };

    while (running > 0 && !report.stopping()) {
        InterruptWaiter::Wake wake;
        if (plan.duration) {
            const Clock::time_point deadline = start + *plan.duration;
            if (deadline <= Clock::now()) {
                report.end(End::TimeLimit);
                break;
            }
            wake = waiter.waitUntil(deadline);
            if (wake == InterruptWaiter::Wake::TimedOut) continue;  // the budget is checked above
        } else {
            wake = waiter.wait();
        }
        if (wake == InterruptWaiter::Wake::Interrupted) {
            report.end(End::Interrupted);
            out.printMessage("interrupted: stopping every worker");
            break;
        }
        handle(events.take());
    }

    for (auto& worker : workers) worker->requestStop();
    for (auto& worker : workers) worker->join();
    // Runs that ended just as the stop came, and the workers' last events.
    handle(events.take());
    report.printSummary(secondsBetween(start, Clock::now()));
    return report.exitCode();
}

int runStabilityCommand(const StabilityArguments& arguments, int sizeIndex, bool jsonLines) {
    const std::variant<StabilityPlan, std::string> planned =
        makeStabilityPlan(arguments, sizeIndex, allowedCpus());
    if (const std::string* reason = std::get_if<std::string>(&planned)) {
        std::fprintf(stderr, "oskelon-cli: error: %s\n", reason->c_str());
        return kExitUsage;
    }
    const StabilityPlan& plan = std::get<StabilityPlan>(planned);

    const std::optional<std::string> meminfo = testSeamText(TestSeam::Meminfo);
    if (const std::optional<std::uint64_t> available =
            meminfo ? availableMemoryBytes(*meminfo) : systemAvailableMemory()) {
        if (const std::optional<std::string> shortage =
                memoryShortage(static_cast<int>(plan.cpus.size()), plan.sizeIndex, *available)) {
            std::fprintf(stderr, "oskelon-cli: %s\n", shortage->c_str());
            return kExitAllocation;
        }
    }

    // Test seams: a wrong result after an iteration, on one CPU and in one run if given.
    FaultInjection fault;
    fault.afterIteration = testSeamNumber(TestSeam::InjectErrorAfterIteration).value_or(0);
    fault.cpu = testSeamNumber(TestSeam::InjectErrorCpu).value_or(-1);
    fault.run = testSeamNumber(TestSeam::InjectErrorRun).value_or(0);
    return runStabilityTest(plan, jsonLines, fault);
}

}  // namespace oskelon
