// oskelon-cli: the headless runner. Computes pi to one of the twelve sizes on this terminal,
// writes "pi.dat" in the current directory and keeps the best time per size in the user's
// records store.
#include <CLI/CLI.hpp>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "calc/calc_job.h"
#include "calc/output_file.h"
#include "calc/pi_verifier.h"
#include "calc/records_view.h"
#include "calc/sizes.h"
#include "cli/cpu_set.h"
#include "cli/exit_codes.h"
#include "cli/run_environment.h"
#include "cli/run_report.h"
#include "cli/runner_platform.h"
#include "cli/size_argument.h"
#include "cli/stability_run.h"
#include "cli/terminal_host.h"
#include "cli/thread_argument.h"
#include "fft/fft_path.h"
#include "oskelon_version.h"
#include "records/record_store.h"
#include "records/registry_key.h"
#include "records/store_notice.h"

namespace {

const char* const kVersionLine = "oskelon-cli (" OSKELON_VERSION_TEXT ")";

using namespace oskelon;

const char* const kStopMessage =
    "計算を中断します\r\n大きな桁数の計算を中断する場合\r\n中断処理に時間がかかります";

struct RunSettings {
    int sizeIndex = kDefaultSizeIndex;
    std::string resultTextPath;
    std::string jsonPath;
    bool jsonLines = false;
    int threads = 1;  // of the arithmetic; 1 is the classic run
};

// A records store that could not be used is told once, on the error stream.
void tellStoreNotice() {
    const std::string notice = takeStoreNotice();
    if (!notice.empty()) std::fprintf(stderr, "oskelon-cli: %s\n", notice.c_str());
}

// Opens the store once at start, as the window does: a store that predates the current code
// algorithm is reset after a message.
void checkStore(TerminalHost& host) {
    {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        CheckStoreVersion(key, host);
    }
    tellStoreNotice();
}

bool writeTextFile(const std::string& path, const std::string& text) {
    OutputFile file(path);
    if (file.open() && file.write(text.data(), text.size()) && file.finish() && file.commit())
        return true;
    std::fprintf(stderr, "oskelon-cli: cannot write %s: %s\n", path.c_str(), file.error().c_str());
    return false;
}

std::string timingLine(const CalcJob& job) {
    const ClockCheck& c = job.clockCheck();
    char text[200];
    std::snprintf(text, sizeof text, "time: %.3f ms, %s (clock drift %.4f%%, limit %.1f%%)",
                  job.totalMilliseconds(), c.verified ? "clock check ok" : "UNVERIFIED",
                  c.drift * 100.0, kMaxClockDrift * 100.0);
    return text;
}

// Runs the job on a thread of its own; the main thread waits for its end or for an interruption
// (Ctrl+C, SIGTERM), which takes the stop path.
int runJob(const RunSettings& settings) {
    TerminalHost host(
        settings.sizeIndex, stdout, stderr,
        settings.jsonLines ? TerminalHost::Format::JsonLines : TerminalHost::Format::Text);
    checkStore(host);

    InterruptWaiter waiter;  // before the job's thread starts; outlives it

    StopToken stop;
    JobOptions options;
    // Test seam: make the run go wrong after the given iteration, as an unstable machine would.
    if (const std::optional<int> inject = testSeamNumber(TestSeam::InjectErrorAfterIteration))
        options.corruptAfterIteration = *inject;
    // Test seam: the working set's allocation fails at the given slot (0-8).
    if (const std::optional<int> failing = testSeamNumber(TestSeam::FailAllocationSlot)) {
        const int failingSlot = *failing;
        host.workingSet().setAllocator([failingSlot](int slot, std::size_t bytes) {
            return slot == failingSlot ? WorkingSet::Block{}
                                       : WorkingSet::allocateFromSystem(slot, bytes);
        });
    }
    if (settings.jsonLines) {
        options.onIteration = [&host](const IterationRecord& r) {
            nlohmann::json event = progressEvent("iteration");
            event["number"] = r.number;
            event["milliseconds"] = r.milliseconds;
            event["checkpoint"] = !r.checkpointKnown    ? "unknown"
                                  : r.checkpointMatches ? "ok"
                                                        : "mismatch";
            host.printEvent(event.dump());
        };
    }
    options.threads = settings.threads;
    // The pool's threads carry names of their own (ps -L, top -H, debuggers).
    options.onWorkerStart = [](int index) {
        nameCurrentThread("oskelon-pool" + std::to_string(index));
    };
    // Test seam: the threads of a multi-threaded run cannot be started, as when the system has
    // none left to give.
    if (testSeamText(TestSeam::FailThreadStart)) {
        options.makePool = [](int, WorkPool::WorkerStart) -> std::unique_ptr<WorkPool> {
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                    "thread start refused");
        };
    }
    CalcJob job(host, stop, options);
    std::atomic<bool> finished{false};
    unsigned jobExit = 0;
    std::thread worker([&] {
        jobExit = job.run();
        finished.store(true);
        waiter.wake();
    });

    bool interrupted = false;
    while (!finished.load()) {
        if (waiter.wait() == InterruptWaiter::Wake::Interrupted) {
            interrupted = true;
            break;
        }
    }

    if (interrupted) {
        // Stop first, then silence the job: a record or pi.dat written before the stop has had
        // its line shown, and none is written after it, so nothing is left unannounced.
        stop.requestStop();
        host.detachJob();
        host.printMessage(kStopMessage);
        worker.join();
        host.workingSet().releaseAll();
        host.printMessage("stop of calculating");
        return kExitInterrupted;
    }
    worker.join();
    host.workingSet().releaseAll();

    if (jobExit == kJobAllocationFailure) return kExitAllocation;
    if (jobExit != kJobComplete && jobExit != kJobOutputFailed) return kExitUsage;

    const bool written = jobExit == kJobComplete;
    int exitCode = kExitOk;
    if (!job.verified())
        exitCode = kExitWrong;
    else if (!written)
        exitCode = kExitOutput;
    if (!settings.resultTextPath.empty() &&
        !writeTextFile(settings.resultTextPath, host.resultText()) && exitCode == kExitOk)
        exitCode = kExitOutput;
    // Lines lost on the way to standard output fail the run too (main says why).
    if (exitCode == kExitOk && standardOutputFailure()) exitCode = kExitOutput;

    const nlohmann::json report = runReport(job, exitCode, written);
    if (settings.jsonLines) {
        nlohmann::json event = progressEvent("result");
        event["report"] = report;
        host.printEvent(event.dump());
    } else {
        host.printLine(job.verdictText());
        host.printLine(timingLine(job));
    }
    if (!settings.jsonPath.empty() && !writeTextFile(settings.jsonPath, report.dump(2) + "\n") &&
        exitCode == kExitOk)
        exitCode = kExitOutput;
    return exitCode;
}

int showRecords() {
    TerminalHost host(kDefaultSizeIndex, stdout, stderr);
    checkStore(host);
    ShowRecords(host);
    tellStoreNotice();
    return kExitOk;
}

// The multi-threaded bests, one line each: size, thread count, time, code and os.
int showThreadRecords() {
    TerminalHost host(kDefaultSizeIndex, stdout, stderr);
    checkStore(host);
    std::vector<ThreadRecord> records;
    {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        records = ReadThreadRecords(key);
    }
    tellStoreNotice();
    if (records.empty()) host.printLine("no multi-threaded records");
    for (const ThreadRecord& r : records) {
        host.printLine("size " + std::to_string(r.sizeIndex) + " (" + sizeDisplayName(r.sizeIndex) +
                       "), " + std::to_string(r.threads) + " threads: " +
                       std::to_string(r.seconds) + " s, code " + r.code + ", os " + r.os);
    }
    return kExitOk;
}

// Checks an existing result file and says its size, digits and verdict.
int verifyFile(const std::string& path) {
    const DigitsVerdict v = verifyPiFile(path);
    if (v.status == DigitsVerdict::Status::Unreadable) {
        std::fprintf(stderr, "oskelon-cli: %s\n", v.detail.c_str());
        return kExitUsage;
    }
    if (v.status == DigitsVerdict::Status::TooLong) {
        std::fprintf(stderr, "oskelon-cli: %s is %s\n", path.c_str(), describeVerdict(v).c_str());
        return kExitWrong;
    }
    std::string size = "no size";
    for (int i = 0; i < kSizeCount; ++i) {
        for (int dpw = 4; dpw >= 1; --dpw) {
            if ((4096LL << i) * dpw == v.digits && size == "no size")
                size = "size " + std::to_string(i) + " (" + sizeCommonName(i) + ", " +
                       std::to_string(dpw) + " digits per word)";
        }
    }
    std::printf("%s: %lld digits, %s: %s\n", path.c_str(), v.digits, size.c_str(),
                describeVerdict(v).c_str());
    return v.verified() ? kExitOk : kExitWrong;
}

// The notice of an OSKELON_FFT_PATH that did not choose the path, before anything is computed.
void tellFftPathNotice() {
    if (const std::optional<std::string> notice = fftPathNotice())
        std::fprintf(stderr, "oskelon-cli: %s\n", notice->c_str());
}

int runCommand(int argc, char** argv) {
    const std::vector<std::string> arguments = oskelon::prepareRunnerProcess(argc, argv);
    CLI::App app{
        "Oskelon: computes pi to one of twelve sizes, times the run, verifies the digits "
        "and keeps the best time per size.",
        "oskelon-cli"};
    app.set_version_flag("--version", kVersionLine);
    std::string sizeText = "6";
    RunSettings settings;
    app.add_option("-s,--size", sizeText,
                   "size: an index 0-11, a name such as 1M or 32M, or \"104万桁\" (default: 6, "
                   "1,048,576 digits)");
    app.add_option("--result-text", settings.resultTextPath,
                   "after a completed run, write the result text (CR LF line ends) to FILE")
        ->type_name("FILE");
    app.add_option("--json", settings.jsonPath,
                   "after a completed run, write a JSON report (timing, clock check, code, "
                   "verdict, digests) to FILE")
        ->type_name("FILE");
    std::string threadsText;
    app.add_option("--threads", threadsText,
                   "run the arithmetic on N threads, or on \"all\" the CPUs this process may "
                   "use (default: 1, the classic run); the digits are the same, the records of "
                   "multi-threaded runs are kept apart")
        ->type_name("N|all");
    app.add_flag("--json-lines", settings.jsonLines,
                 "print progress events as JSON lines instead of text lines");
    bool showCpu = false;
    app.add_flag("--cpu", showCpu,
                 "print the transform path in use (scalar, sse2, avx2 or avx512) and exit; "
                 "OSKELON_FFT_PATH forces one");
    StabilityArguments stability;
    addStabilityOptions(app, stability);
    CLI::App* records = app.add_subcommand("records", "print the stored best time of every size");
    bool recordsThreads = false;
    records->add_flag("--threads", recordsThreads,
                      "print the multi-threaded bests instead: size, thread count, time, code, os");
    CLI::App* verify = app.add_subcommand("verify", "check an existing result file");
    std::string verifyPath = "pi.dat";
    verify->add_option("file", verifyPath, "the file to check (default: pi.dat)");
    app.require_subcommand(0, 1);
    app.footer(
        "Sizes: 0=16K 1=32K 2=64K 3=128K 4=256K 5=512K 6=1M 7=2M 8=4M 9=8M 10=16M 11=32M "
        "digits.\nWrites pi.dat in the current directory.\nExit codes: 0 verified, 1 out of "
        "memory, 2 bad arguments or an unreadable file, 3 pi.dat, a report or standard output "
        "not written, 4 wrong result or not a result, 130 interrupted.");

    try {
        // CLI11 takes the arguments without the program's name, last first.
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
        if (!reversed.empty()) reversed.pop_back();
        app.parse(std::move(reversed));
    } catch (const CLI::CallForHelp&) {
        writeText(stdout, app.help());
        return kExitOk;
    } catch (const CLI::CallForVersion&) {
        std::puts(kVersionLine);
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "oskelon-cli: error: %s\n%s", e.what(), app.help().c_str());
        return kExitUsage;
    }

    for (const auto& [option, path] : {std::pair{"--result-text", &settings.resultTextPath},
                                       std::pair{"--json", &settings.jsonPath}}) {
        if (app.count(option) > 0 && path->empty()) {
            std::fprintf(stderr, "oskelon-cli: error: %s needs a file name, not an empty text\n",
                         option);
            return kExitUsage;
        }
    }

    if (showCpu) {
        tellFftPathNotice();
        std::printf("transform path: %s\n", oskelon::fftPathName(oskelon::activeFftPath()));
        return kExitOk;
    }
    if (records->parsed()) return recordsThreads ? showThreadRecords() : showRecords();
    if (verify->parsed()) return verifyFile(verifyPath);

    const std::optional<int> sizeIndex = parseSizeArgument(sizeText);
    if (!sizeIndex) {
        std::fprintf(stderr, "oskelon-cli: error: unknown size \"%s\"\n%s", sizeText.c_str(),
                     app.help().c_str());
        return kExitUsage;
    }
    settings.sizeIndex = *sizeIndex;
    if (app.count("--threads") > 0) {
        std::string reason;
        const std::optional<int> threads =
            parseThreadArgument(threadsText, static_cast<int>(allowedCpus().size()), &reason);
        if (!threads) {
            std::fprintf(stderr, "oskelon-cli: error: %s\n", reason.c_str());
            return kExitUsage;
        }
        settings.threads = *threads;
    }
    if (stability.given()) {
        // Each instance of the stability test is one pinned thread on a CPU of its own.
        if (settings.threads > 1) {
            std::fputs(
                "oskelon-cli: error: --threads runs one computation on several threads; the "
                "stability test runs one thread per instance (use --instances)\n",
                stderr);
            return kExitUsage;
        }
        if (!settings.resultTextPath.empty() || !settings.jsonPath.empty()) {
            std::fputs(
                "oskelon-cli: error: --result-text and --json report a single run, not a "
                "stability test\n",
                stderr);
            return kExitUsage;
        }
        tellFftPathNotice();
        return runStabilityCommand(stability, settings.sizeIndex, settings.jsonLines);
    }
    tellFftPathNotice();
    return runJob(settings);
}

}  // namespace

// A command whose lines did not reach standard output has failed, also when it did all else.
int main(int argc, char** argv) {
    int exitCode = runCommand(argc, argv);
    if (const std::optional<std::string> failure = oskelon::standardOutputFailure()) {
        std::fprintf(stderr, "oskelon-cli: cannot write to standard output: %s\n",
                     failure->c_str());
        if (exitCode == oskelon::kExitOk) exitCode = oskelon::kExitOutput;
    }
    return exitCode;
}
