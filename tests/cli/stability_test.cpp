// The stability test as a user meets it: loops and time budgets that end when they should,
// workers on distinct CPUs, a wrong result on one worker named with its CPU, Ctrl+C with several
// workers, the memory check and the arguments it refuses. Every run of the runner happens in a
// temporary directory with its own records store.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <thread>

#include "cli/run_process.h"
#include "cli/runner_output.h"
#include "support/temp_store.h"

namespace oskelon::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kCli = OSKELON_CLI_PATH;

// Sets an environment variable for the runs of one test and removes it afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        setEnvironment(name, value);
    }
    ~ScopedEnv() { unsetEnvironment(name_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
};

struct BoundedResult : ProcessResult {
    double seconds = 0;   // from the start of the runner to its end, by this process's clock
    bool killed = false;  // it had not ended within the limit
};

// Runs the runner like runProcess, but kills it when it has not ended within `limit`, so that a
// runner that fails to stop its workers fails the test instead of hanging it.
BoundedResult runBounded(const std::vector<std::string>& args, const fs::path& cwd,
                         std::chrono::seconds limit,
                         std::function<void(ProcessId, const std::string&)> onOutput = {}) {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    ProcessId child = 0;
    BoundedResult result;
    std::jthread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (!ended.wait_for(lock, limit, [&] { return done; }) && child > 0) {
            killProcess(child);
            result.killed = true;
        }
    });
    const Clock::time_point start = Clock::now();
    ProcessResult r = runProcess(kCli, args, cwd, [&](ProcessId pid, const std::string& out) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            child = pid;
        }
        if (onOutput) onOutput(pid, out);
    });
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    ended.notify_all();
    watchdog.join();
    static_cast<ProcessResult&>(result) = std::move(r);
    return result;
}

// A finished run as the text line "cpu N  run R  T ms  verdict" shows it.
struct RunLine {
    int cpu = -1;
    long long run = 0;
    double milliseconds = 0;
    std::string verdict;
};

std::vector<RunLine> runLines(const std::string& out) {
    std::vector<RunLine> runs;
    for (const std::string& line : lines(out)) {
        RunLine r;
        int used = 0;
        if (std::sscanf(line.c_str(), "cpu %d  run %lld  %lf ms  %n", &r.cpu, &r.run,
                        &r.milliseconds, &used) == 3 &&
            used > 0) {
            r.verdict = line.substr(static_cast<std::size_t>(used));
            runs.push_back(r);
        }
    }
    return runs;
}

std::map<int, std::vector<RunLine>> byCpu(const std::vector<RunLine>& runs) {
    std::map<int, std::vector<RunLine>> out;
    for (const RunLine& r : runs) out[r.cpu].push_back(r);
    return out;
}

// The summary line of a CPU: "cpu N: R runs, V verified...".
std::string summaryLineOf(const std::string& out, int cpu) {
    for (const std::string& line : lines(out)) {
        if (startsWith(line, "cpu " + std::to_string(cpu) + ": ")) return line;
    }
    return {};
}

std::vector<nlohmann::json> events(const std::string& out) {
    std::vector<nlohmann::json> parsed;
    for (const std::string& line : lines(out)) {
        if (!nlohmann::json::accept(line)) {
            ADD_FAILURE() << "not JSON: " << line;
            continue;
        }
        parsed.push_back(nlohmann::json::parse(line));
    }
    return parsed;
}

// Files a stopped or failed write may leave behind (OutputFile's temporary files).
std::vector<std::string> temporaryFiles(const fs::path& dir) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (contains(entry.path().filename().string(), ".tmp"))
            found.push_back(entry.path().string());
    }
    return found;
}

// The runner's own check of a result file.
int verifyExit(const fs::path& dir, const std::string& file) {
    return runProcess(kCli, {"verify", file}, dir).exitCode;
}

TEST(StabilityLoops, EveryWorkerRunsTheGivenNumberOfTimes) {
    TempDir dir;
    const std::vector<int> cpus = processCpus();
    BoundedResult r = runBounded({"--size", "0", "--instances", "all", "--loops", "3"}, dir.path(),
                                 std::chrono::seconds(60));
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    const auto runs = byCpu(runLines(r.out));
    ASSERT_EQ(runs.size(), cpus.size()) << r.out;
    for (int cpu : cpus) {
        ASSERT_EQ(runs.count(cpu), 1u) << cpu;
        const std::vector<RunLine>& mine = runs.at(cpu);
        ASSERT_EQ(mine.size(), 3u) << r.out;
        for (std::size_t i = 0; i < mine.size(); ++i) {
            EXPECT_EQ(mine[i].run, static_cast<long long>(i + 1));
            EXPECT_EQ(mine[i].verdict, "verified");
            EXPECT_GT(mine[i].milliseconds, 0);
        }
        EXPECT_TRUE(startsWith(summaryLineOf(r.out, cpu),
                               "cpu " + std::to_string(cpu) + ": 3 runs, 3 verified, min "))
            << r.out;
        // Each worker writes its own result, and it is right.
        const std::string file = "cpu" + std::to_string(cpu) + "/pi.dat";
        EXPECT_EQ(verifyExit(dir.path(), file), 0) << file;
    }
    EXPECT_TRUE(contains(r.out, "all loops done")) << r.out;
    EXPECT_TRUE(contains(r.out, "all " + std::to_string(3 * cpus.size()) + " runs verified"));
    EXPECT_FALSE(fs::exists(dir.file("pi.dat")));
    EXPECT_TRUE(temporaryFiles(dir.path()).empty());
    // The record rules apply: the size has its record now.
    const ProcessResult records = runProcess(kCli, {"records"}, dir.path());
    EXPECT_TRUE(contains(records.out, "<1.6万桁>")) << records.out;
    EXPECT_FALSE(contains(records.out, "未計算 : [1.6万桁]")) << records.out;
}

// The JSON events of a test hold the same runs as the summary, and the summary's times are the
// fastest, median and slowest of the run events.
TEST(StabilityLoops, JsonLinesSummaryAgreesWithTheRunEvents) {
    TempDir dir;
    const std::vector<int> cpus = processCpus();
    BoundedResult r = runBounded({"-s", "1", "--instances", "all", "--loops", "4", "--json-lines"},
                                 dir.path(), std::chrono::seconds(60));
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const std::vector<nlohmann::json> all = events(r.out);
    ASSERT_GE(all.size(), 2u);
    const nlohmann::json* start = nullptr;
    for (const auto& e : all) {
        if (e["event"] == "start") start = &e;
    }
    ASSERT_NE(start, nullptr);
    EXPECT_EQ((*start)["cpus"].get<std::vector<int>>(), cpus);
    EXPECT_EQ((*start)["loops"], 4);
    std::map<int, std::vector<double>> times;
    for (const auto& e : all) {
        if (e["event"] != "run") continue;
        EXPECT_EQ(e["status"], "verified");
        EXPECT_TRUE(e["piDatWritten"].get<bool>());
        EXPECT_EQ(e["ranOnCpu"], e["cpu"]);
        times[e["cpu"].get<int>()].push_back(e["milliseconds"].get<double>());
    }
    const nlohmann::json& summary = all.back();
    ASSERT_EQ(summary["event"], "summary");
    EXPECT_EQ(summary["end"], "all ended");
    EXPECT_EQ(summary["exitCode"], 0);
    EXPECT_EQ(summary["runs"], 4 * cpus.size());
    ASSERT_EQ(summary["cpus"].size(), cpus.size());
    for (const auto& c : summary["cpus"]) {
        std::vector<double> t = times[c["cpu"].get<int>()];
        ASSERT_EQ(t.size(), 4u);
        std::sort(t.begin(), t.end());
        EXPECT_EQ(c["runs"], 4);
        EXPECT_EQ(c["verified"], 4);
        EXPECT_DOUBLE_EQ(c["minMilliseconds"].get<double>(), t[0]);
        EXPECT_DOUBLE_EQ(c["medianMilliseconds"].get<double>(), (t[1] + t[2]) / 2);
        EXPECT_DOUBLE_EQ(c["maxMilliseconds"].get<double>(), t[3]);
    }
}

TEST(StabilityDuration, TheTimeBudgetEndsTheTestOnTime) {
    TempDir dir;
    BoundedResult r =
        runBounded({"-s", "1", "--duration", "2s"}, dir.path(), std::chrono::seconds(60));
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_GE(r.seconds, 2.0);
    EXPECT_LT(r.seconds, 4.0);  // the run in progress stops within a transform
    EXPECT_TRUE(contains(r.out, "time limit reached")) << r.out;
    const std::vector<RunLine> runs = runLines(r.out);
    ASSERT_GE(runs.size(), 2u) << r.out;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].run, static_cast<long long>(i + 1));
        EXPECT_EQ(runs[i].verdict, "verified");
        EXPECT_EQ(runs[i].cpu, processCpus().front());
    }
    EXPECT_TRUE(
        contains(summaryLineOf(r.out, runs[0].cpu), ": " + std::to_string(runs.size()) + " runs, "))
        << r.out;
    EXPECT_TRUE(temporaryFiles(dir.path()).empty());
}

TEST(StabilityDuration, LoopsEndTheTestBeforeALongBudget) {
    TempDir dir;
    BoundedResult r = runBounded({"-s", "0", "--loops", "2", "--duration", "1h"}, dir.path(),
                                 std::chrono::seconds(60));
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_LT(r.seconds, 30.0);
    EXPECT_EQ(runLines(r.out).size(), 2u) << r.out;
    EXPECT_TRUE(contains(r.out, "all loops done")) << r.out;
}

// One unstable core: the wrong result of its worker is named with its CPU, run, iteration and
// time, the other workers (running until stopped) are stopped, and the runner exits with 4.
TEST(StabilityFailure, AWrongResultOnOneWorkerStopsTheOthers) {
    const std::vector<int> cpus = processCpus();
    if (cpus.size() < 2) GTEST_SKIP() << "needs two CPUs";
    const int bad = cpus.back();
    TempDir dir;
    ScopedEnv after("OSKELON_INJECT_ERROR_AFTER_ITERATION", "4");
    ScopedEnv onCpu("OSKELON_INJECT_ERROR_CPU", std::to_string(bad));
    ScopedEnv inRun("OSKELON_INJECT_ERROR_RUN", "3");
    BoundedResult r = runBounded({"-s", "1", "--instances", "all", "--loops", "0"}, dir.path(),
                                 std::chrono::seconds(60));
    ASSERT_FALSE(r.killed) << "the other workers went on: " << r.out;
    EXPECT_EQ(r.exitCode, 4) << r.out << r.err;
    const auto runs = byCpu(runLines(r.out));
    ASSERT_EQ(runs.count(bad), 1u) << r.out;
    const std::vector<RunLine>& failing = runs.at(bad);
    ASSERT_EQ(failing.size(), 3u) << r.out;  // nothing after the wrong run
    EXPECT_EQ(failing[0].verdict, "verified");
    EXPECT_EQ(failing[1].verdict, "verified");
    EXPECT_TRUE(startsWith(failing[2].verdict, "WRONG: iteration 4 ")) << failing[2].verdict;
    for (const auto& [cpu, mine] : runs) {
        if (cpu == bad) continue;
        for (const RunLine& run : mine) EXPECT_EQ(run.verdict, "verified") << cpu;
    }
    EXPECT_TRUE(
        contains(r.out, "FAILED on cpu " + std::to_string(bad) + ": run 3, iteration 4, after "))
        << r.out;
    EXPECT_TRUE(contains(r.out, "stopped by the wrong result on cpu " + std::to_string(bad)))
        << r.out;
    EXPECT_TRUE(contains(summaryLineOf(r.out, bad), "3 runs, 2 verified, 1 FAILED")) << r.out;
    // The wrong run completed and left its digits for a look; the stopped workers left their
    // last complete result, or none, and no write was cut short.
    for (int cpu : cpus) {
        const std::string file = "cpu" + std::to_string(cpu) + "/pi.dat";
        if (cpu == bad)
            EXPECT_EQ(verifyExit(dir.path(), file), 4);
        else if (runs.count(cpu) == 1)
            EXPECT_EQ(verifyExit(dir.path(), file), 0) << file;
        else
            EXPECT_FALSE(fs::exists(dir.path() / file)) << file;
    }
    EXPECT_TRUE(temporaryFiles(dir.path()).empty());
}

TEST(StabilityFailure, JsonEventsNameTheFailingCpu) {
    const std::vector<int> cpus = processCpus();
    if (cpus.size() < 2) GTEST_SKIP() << "needs two CPUs";
    const int bad = cpus.front();
    TempDir dir;
    ScopedEnv after("OSKELON_INJECT_ERROR_AFTER_ITERATION", "2");
    ScopedEnv onCpu("OSKELON_INJECT_ERROR_CPU", std::to_string(bad));
    BoundedResult r =
        runBounded({"-s", "0", "--instances", "all", "--duration", "10m", "--json-lines"},
                   dir.path(), std::chrono::seconds(60));
    ASSERT_FALSE(r.killed) << r.out;
    EXPECT_EQ(r.exitCode, 4) << r.out << r.err;
    const std::vector<nlohmann::json> all = events(r.out);
    ASSERT_FALSE(all.empty());
    int wrongRuns = 0;
    for (const auto& e : all) {
        if (e["event"] != "run") continue;
        if (e["cpu"] == bad) {
            EXPECT_EQ(e["status"], "wrong");
            EXPECT_EQ(e["run"], 1);
            EXPECT_EQ(e["firstWrongIteration"], 2);
            EXPECT_FALSE(e["verified"].get<bool>());
            ++wrongRuns;
        } else {
            EXPECT_EQ(e["status"], "verified");
        }
    }
    EXPECT_EQ(wrongRuns, 1);
    const nlohmann::json& summary = all.back();
    ASSERT_EQ(summary["event"], "summary");
    EXPECT_EQ(summary["end"], "failure");
    EXPECT_EQ(summary["exitCode"], 4);
    ASSERT_EQ(summary["failures"].size(), 1u);
    EXPECT_EQ(summary["failures"][0]["cpu"], bad);
    EXPECT_EQ(summary["failures"][0]["run"], 1);
    EXPECT_GT(summary["failures"][0]["elapsedSeconds"].get<double>(), 0);
    // The wrong run completed, so its digits are in its pi.dat, and they are wrong.
    EXPECT_EQ(verifyExit(dir.path(), "cpu" + std::to_string(bad) + "/pi.dat"), 4);
}

TEST(StabilityFailure, KeepGoingLetsTheOtherWorkersFinish) {
    const std::vector<int> cpus = processCpus();
    if (cpus.size() < 2) GTEST_SKIP() << "needs two CPUs";
    const int bad = cpus.back();
    TempDir dir;
    ScopedEnv after("OSKELON_INJECT_ERROR_AFTER_ITERATION", "5");
    ScopedEnv onCpu("OSKELON_INJECT_ERROR_CPU", std::to_string(bad));
    ScopedEnv inRun("OSKELON_INJECT_ERROR_RUN", "2");
    BoundedResult r = runBounded({"-s", "0", "--instances", "all", "--loops", "4", "--keep-going"},
                                 dir.path(), std::chrono::seconds(60));
    EXPECT_EQ(r.exitCode, 4) << r.out << r.err;
    const auto runs = byCpu(runLines(r.out));
    for (int cpu : cpus) {
        ASSERT_EQ(runs.count(cpu), 1u) << r.out;
        EXPECT_EQ(runs.at(cpu).size(), cpu == bad ? 2u : 4u) << cpu << "\n" << r.out;
    }
    EXPECT_TRUE(contains(r.out, "FAILED on cpu " + std::to_string(bad) + ": run 2, iteration 5"))
        << r.out;
    EXPECT_TRUE(contains(r.out, "every worker ended")) << r.out;
}

TEST(StabilityFailure, ASingleWorkerStopsAtItsFirstWrongRun) {
    TempDir dir;
    ScopedEnv after("OSKELON_INJECT_ERROR_AFTER_ITERATION", "3");
    ScopedEnv inRun("OSKELON_INJECT_ERROR_RUN", "2");
    BoundedResult r = runBounded({"-s", "0", "--loops", "5"}, dir.path(), std::chrono::seconds(60));
    EXPECT_EQ(r.exitCode, 4) << r.out << r.err;
    const std::vector<RunLine> runs = runLines(r.out);
    ASSERT_EQ(runs.size(), 2u) << r.out;
    EXPECT_EQ(runs[0].verdict, "verified");
    EXPECT_TRUE(startsWith(runs[1].verdict, "WRONG: iteration 3 ")) << runs[1].verdict;
    EXPECT_TRUE(contains(
        r.out, "FAILED on cpu " + std::to_string(runs[0].cpu) + ": run 2, iteration 3, after "))
        << r.out;
}

// The worker threads, seen from outside (where the system shows them: /proc on Linux), are each
// allowed on one CPU only, one per CPU of the process; every run ended on its worker's CPU.
TEST(StabilityAffinity, WorkersRunPinnedToDistinctCpus) {
    const std::vector<int> cpus = processCpus();
    TempDir dir;
    std::optional<std::map<int, std::string>> seen;
    bool signalled = false;
    BoundedResult r =
        runBounded({"-s", "3", "--instances", "all", "--loops", "0", "--json-lines"}, dir.path(),
                   std::chrono::seconds(60), [&](ProcessId pid, const std::string& out) {
                       if (signalled) return;
                       std::set<int> reported;
                       for (const std::string& line : lines(out)) {
                           if (!nlohmann::json::accept(line)) continue;
                           const nlohmann::json e = nlohmann::json::parse(line);
                           if (e["event"] == "run") reported.insert(e["cpu"].get<int>());
                       }
                       if (reported.size() < cpus.size()) return;
                       seen = namedThreadAffinities(pid, "oskelon-cpu");
                       interruptProcess(pid);
                       signalled = true;
                   });
    ASSERT_TRUE(signalled) << r.out << r.err;
    EXPECT_EQ(r.exitCode, 130);
    if (seen) {
        ASSERT_EQ(seen->size(), cpus.size());
        for (int cpu : cpus) {
            ASSERT_EQ(seen->count(cpu), 1u) << cpu;
            EXPECT_EQ(seen->at(cpu), std::to_string(cpu));
        }
    }
    int runs = 0;
    for (const auto& e : events(r.out)) {
        if (e["event"] == "run") {
            EXPECT_EQ(e["ranOnCpu"], e["cpu"]);
            ++runs;
        }
    }
    EXPECT_GE(runs, static_cast<int>(cpus.size()));
}

// Restricting the runner's mask (inherited from this thread) restricts its workers: "all" means
// the allowed CPUs, and a CPU outside the mask is a usage error.
TEST(StabilityAffinity, TheProcessMaskBoundsTheChoice) {
    const std::vector<int> cpus = processCpus();
    if (cpus.size() < 2) GTEST_SKIP() << "needs two CPUs";
    const int only = cpus.back();
    ASSERT_TRUE(setProcessCpus({only}));
    TempDir dir;
    BoundedResult all =
        runBounded({"-s", "0", "--instances", "all"}, dir.path(), std::chrono::seconds(60));
    BoundedResult outside = runBounded({"-s", "0", "--cpus", std::to_string(cpus.front())},
                                       dir.path(), std::chrono::seconds(60));
    ASSERT_TRUE(setProcessCpus(cpus));

    EXPECT_EQ(all.exitCode, 0) << all.out << all.err;
    EXPECT_TRUE(contains(all.out, "1 instance on cpu " + std::to_string(only))) << all.out;
    const std::vector<RunLine> runs = runLines(all.out);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].cpu, only);
    EXPECT_FALSE(fs::exists(dir.path() / ("cpu" + std::to_string(cpus.front()))));

    EXPECT_EQ(outside.exitCode, 2);
    EXPECT_TRUE(contains(outside.err, "CPU " + std::to_string(cpus.front()) + " is not available"))
        << outside.err;
    EXPECT_TRUE(outside.out.empty());
}

// Ctrl+C in the middle of a multi-instance test: every worker ends at once, the summary tells
// what ran, and each worker's pi.dat is either a complete earlier result or absent.
TEST(StabilityStop, CtrlCEndsEveryWorkerAndLeavesNoPartialFile) {
    const std::vector<int> cpus = processCpus();
    TempDir dir;
    Clock::time_point signalledAt{};
    bool signalled = false;
    BoundedResult r =
        runBounded({"-s", "4", "--instances", "all", "--loops", "0"}, dir.path(),
                   std::chrono::seconds(60), [&](ProcessId pid, const std::string& out) {
                       if (signalled) return;
                       const auto runs = byCpu(runLines(out));
                       if (runs.size() < cpus.size()) return;
                       for (const auto& [cpu, mine] : runs) {
                           if (mine.size() < 2) return;
                       }
                       interruptProcess(pid);
                       signalledAt = Clock::now();
                       signalled = true;
                   });
    ASSERT_TRUE(signalled) << r.out << r.err;
    ASSERT_FALSE(r.killed);
    const double stopSeconds = std::chrono::duration<double>(Clock::now() - signalledAt).count();
    EXPECT_LT(stopSeconds, 3.0);
    EXPECT_EQ(r.exitCode, 130) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "interrupted: stopping every worker")) << r.out;
    EXPECT_TRUE(contains(withLf(r.out), ", interrupted\n")) << r.out;
    const auto runs = byCpu(runLines(r.out));
    for (int cpu : cpus) {
        ASSERT_EQ(runs.count(cpu), 1u);
        // The summary counts the runs the lines showed, the last ones included.
        EXPECT_TRUE(contains(summaryLineOf(r.out, cpu),
                             ": " + std::to_string(runs.at(cpu).size()) + " runs, " +
                                 std::to_string(runs.at(cpu).size()) + " verified"))
            << r.out;
        EXPECT_EQ(verifyExit(dir.path(), "cpu" + std::to_string(cpu) + "/pi.dat"), 0) << cpu;
    }
    EXPECT_TRUE(temporaryFiles(dir.path()).empty());
}

TEST(StabilityStop, StopBeforeTheFirstRunEndsWritesNothing) {
    TempDir dir;
    bool signalled = false;
    BoundedResult r =
        runBounded({"-s", "6", "--instances", "all", "--loops", "0"}, dir.path(),
                   std::chrono::seconds(60), [&](ProcessId pid, const std::string& out) {
                       if (!signalled && contains(out, "stability test: ")) {
                           requestTermination(pid);
                           signalled = true;
                       }
                   });
    ASSERT_TRUE(signalled) << r.out << r.err;
    EXPECT_EQ(r.exitCode, 130) << r.out << r.err;
    EXPECT_TRUE(runLines(r.out).empty()) << r.out;
    EXPECT_TRUE(contains(r.out, "no run finished")) << r.out;
    for (int cpu : processCpus()) {
        EXPECT_TRUE(contains(summaryLineOf(r.out, cpu), ": 0 runs")) << r.out;
        EXPECT_FALSE(fs::exists(dir.path() / ("cpu" + std::to_string(cpu)) / "pi.dat"));
    }
    EXPECT_TRUE(temporaryFiles(dir.path()).empty());
    // No record either.
    const ProcessResult records = runProcess(kCli, {"records"}, dir.path());
    EXPECT_TRUE(contains(records.out, "未計算 : [104万桁]")) << records.out;
}

TEST(StabilityMemory, AWorkingSetThatDoesNotFitIsRefusedBeforeStarting) {
    TempDir dir;
    {
        std::ofstream meminfo(dir.file("meminfo"));
        meminfo << "MemTotal: 1048576 kB\nMemAvailable: 102400 kB\n";  // 100 MiB
    }
    ScopedEnv fake("OSKELON_MEMINFO", dir.file("meminfo"));
    // Beside the margin of 64 MiB, 36 MiB remain: size 7 takes 18 MiB (and 120 bytes) per
    // worker, so one would fit and two do not; size 8 takes 36 MiB and 120 bytes.
    BoundedResult r;
    if (processCpus().size() >= 2) {
        r = runBounded({"-s", "7", "--instances", "2", "--loops", "1"}, dir.path(),
                       std::chrono::seconds(60));
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        EXPECT_TRUE(contains(r.err, "not enough memory for 2 instances of size 7")) << r.err;
        EXPECT_TRUE(contains(r.err, "100.0 MiB are available")) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    r = runBounded({"-s", "8", "--loops", "1"}, dir.path(), std::chrono::seconds(60));
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(contains(r.err, "1 instance of size 8")) << r.err;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_FALSE(startsWith(entry.path().filename().string(), "cpu")) << entry.path();
    EXPECT_FALSE(fs::exists(dir.dataHome()));

    r = runBounded({"-s", "0", "--loops", "1"}, dir.path(), std::chrono::seconds(60));
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

TEST(StabilityArguments, BadArgumentsAreUsageErrorsThatWriteNothing) {
    TempDir dir;
    const std::vector<std::vector<std::string>> cases = {
        {"--loops", "-1"},
        {"--loops", "many"},
        {"--duration", "30"},
        {"--duration", "0s"},
        {"--instances", "0"},
        {"--instances", "100000"},
        {"--cpus", "1-0"},
        {"--cpus", "0,0"},
        {"--cpus", "65535"},
        {"--keep-going"},
        {"--loops", "2", "--json", "r.json"},
        {"--instances", "1", "--result-text", "r.txt"},
        {"--size", "12", "--loops", "1"},
    };
    for (const auto& args : cases) {
        std::vector<std::string> full;
        if (args[0] != "--size") full = {"-s", "0"};
        full.insert(full.end(), args.begin(), args.end());
        const BoundedResult r = runBounded(full, dir.path(), std::chrono::seconds(30));
        EXPECT_EQ(r.exitCode, 2) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_TRUE(contains(lines(r.err).at(0), "error")) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
}  // namespace oskelon::test
