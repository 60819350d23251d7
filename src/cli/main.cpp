// oskelon-cli: the headless runner. Computes pi to one of the twelve sizes on this terminal,
// writes "pi.dat" in the current directory and keeps the best time per size in the user's
// records store.
#include <pthread.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "calc/calc_job.h"
#include "calc/output_file.h"
#include "calc/sizes.h"
#include "cli/size_argument.h"
#include "cli/terminal_host.h"
#include "records/records_view.h"
#include "records/registry_key.h"

namespace {

using namespace oskelon;

constexpr int kExitOk = 0;
constexpr int kExitAllocation = 1;
constexpr int kExitUsage = 2;
constexpr int kExitOutput = 3;
constexpr int kExitInterrupted = 130;

const char* const kStopMessage =
    "計算を中断します\r\n大きな桁数の計算を中断する場合\r\n中断処理に時間がかかります";

// Opens the store once at start, as the window does: a store that predates the current code
// algorithm is reset after a message.
void checkStore(TerminalHost& host) {
    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    CheckStoreVersion(key, host);
}

bool writeResultText(const std::string& path, const std::string& text, TerminalHost& host) {
    OutputFile file(path);
    if (file.open() && file.write(text.data(), text.size()) && file.finish() && file.commit())
        return true;
    std::fprintf(stderr, "oskelon-cli: cannot write %s: %s\n", path.c_str(), file.error().c_str());
    (void)host;
    return false;
}

// Runs the job on a thread of its own; the main thread waits for its end or for SIGINT/SIGTERM,
// which take the stop path.
int runJob(int sizeIndex, const std::string& resultTextPath) {
    TerminalHost host(sizeIndex, stdout, stderr);
    checkStore(host);

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);  // the job's "finished" notice
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    StopToken stop;
    CalcJob job(host, stop);
    std::atomic<bool> finished{false};
    unsigned exitCode = 0;
    std::thread worker([&] {
        exitCode = job.run();
        finished.store(true);
        kill(getpid(), SIGUSR1);
    });

    bool interrupted = false;
    while (!finished.load()) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0) continue;
        if (signal == SIGINT || signal == SIGTERM) {
            interrupted = true;
            break;
        }
    }

    if (interrupted) {
        host.detachJob();
        stop.requestStop();
        host.printMessage(kStopMessage);
        worker.join();
        host.workingSet().releaseAll();
        host.printMessage("stop of calculating");
        return kExitInterrupted;
    }
    worker.join();
    host.workingSet().releaseAll();

    switch (exitCode) {
        case kJobComplete:
        case kJobOutputFailed: {
            const bool textOk =
                resultTextPath.empty() || writeResultText(resultTextPath, host.resultText(), host);
            if (exitCode == kJobOutputFailed || !textOk) return kExitOutput;
            return kExitOk;
        }
        case kJobAllocationFailure:
            return kExitAllocation;
        default:
            return kExitUsage;
    }
}

int showRecords() {
    TerminalHost host(kDefaultSizeIndex, stdout, stderr);
    checkStore(host);
    ShowRecords(host);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Oskelon: computes pi to one of twelve sizes, times the run and keeps the best "
        "time per size.",
        "oskelon-cli"};
    app.set_version_flag("--version", "oskelon-cli (Oskelon Version 1.2)");
    std::string sizeText = "6";
    std::string resultTextPath;
    app.add_option("-s,--size", sizeText,
                   "size: an index 0-11, a name such as 1M or 32M, or \"104万桁\" (default: 6, "
                   "1,048,576 digits)");
    app.add_option("--result-text", resultTextPath,
                   "after a completed run, write the result text (CR LF line ends) to FILE")
        ->type_name("FILE");
    CLI::App* records = app.add_subcommand("records", "print the stored best time of every size");
    app.footer(
        "Sizes: 0=16K 1=32K 2=64K 3=128K 4=256K 5=512K 6=1M 7=2M 8=4M 9=8M 10=16M 11=32M "
        "digits.\nWrites pi.dat in the current directory. Exit codes: 0 done, 1 out of memory, 2 "
        "bad arguments, 3 pi.dat not written, 130 interrupted.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return kExitOk;
    } catch (const CLI::CallForVersion&) {
        std::puts("oskelon-cli (Oskelon Version 1.2)");
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "oskelon-cli: error: %s\n%s", e.what(), app.help().c_str());
        return kExitUsage;
    }

    if (records->parsed()) return showRecords();

    const std::optional<int> sizeIndex = parseSizeArgument(sizeText);
    if (!sizeIndex) {
        std::fprintf(stderr, "oskelon-cli: error: unknown size \"%s\"\n%s", sizeText.c_str(),
                     app.help().c_str());
        return kExitUsage;
    }
    return runJob(*sizeIndex, resultTextPath);
}
