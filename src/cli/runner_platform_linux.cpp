// The runner's platform part on Linux: the signals SIGINT and SIGTERM interrupt, SIGUSR1 carries
// a worker's notice; all three are blocked in the waiting thread and every thread it starts, so
// that they stay pending until the waiter takes them with sigwait.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "cli/runner_platform.h"
#include "cli/stability_plan.h"

namespace oskelon {
namespace {

sigset_t waitedSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);  // wake()
    return signals;
}

// The errno of the first failed write to standard output; 0 while none has failed.
std::atomic<int> firstStandardOutputError{0};

void noteStandardOutputError(int error) {
    int none = 0;
    firstStandardOutputError.compare_exchange_strong(none, error);
}

InterruptWaiter::Wake wakeFor(int signal) {
    return signal == SIGINT || signal == SIGTERM ? InterruptWaiter::Wake::Interrupted
                                                 : InterruptWaiter::Wake::Woken;
}

}  // namespace

std::vector<std::string> prepareRunnerProcess(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

// The mask is never restored: an interruption after the wait stays pending and is ignored.
InterruptWaiter::InterruptWaiter() {
    const sigset_t signals = waitedSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

InterruptWaiter::~InterruptWaiter() = default;

InterruptWaiter::Wake InterruptWaiter::wait() {
    const sigset_t signals = waitedSignals();
    while (true) {
        int signal = 0;
        if (sigwait(&signals, &signal) == 0) return wakeFor(signal);
    }
}

InterruptWaiter::Wake InterruptWaiter::waitUntil(std::chrono::steady_clock::time_point deadline) {
    const sigset_t signals = waitedSignals();
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return Wake::TimedOut;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec timeout{static_cast<std::time_t>(ns / 1000000000),
                           static_cast<long>(ns % 1000000000)};
    const int signal = sigtimedwait(&signals, nullptr, &timeout);
    // EAGAIN at the deadline; EINTR (another signal's handler ran) lets the caller look again.
    return signal < 0 ? Wake::TimedOut : wakeFor(signal);
}

void InterruptWaiter::wake() {
    kill(getpid(), SIGUSR1);
}

bool writeText(std::FILE* stream, const std::string& text) {
    const bool written = std::fputs(text.c_str(), stream) >= 0 && std::fflush(stream) == 0;
    if (!written && stream == stdout) noteStandardOutputError(errno);
    return written;
}

std::optional<std::string> standardOutputFailure() {
    if (std::fflush(stdout) != 0) noteStandardOutputError(errno);
    if (!std::ferror(stdout)) return std::nullopt;
    const int error = firstStandardOutputError.load();
    return std::strerror(error != 0 ? error : EIO);
}

void nameCurrentThread(const std::string& name) {
    // Longer names are refused (ERANGE); the thread then keeps its inherited name.
    pthread_setname_np(pthread_self(), name.c_str());
}

std::optional<std::uint64_t> systemAvailableMemory() {
    return availableMemoryBytes("/proc/meminfo");
}

}  // namespace oskelon
