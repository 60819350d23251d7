// What the runner needs from the operating system beyond standard C++: its arguments and console
// in UTF-8, the main thread's wait for an interruption or a worker's notice, the names of its
// threads and the memory the system can still give. Each platform implements this header in a
// file of its own (runner_platform_linux.cpp, runner_platform_windows.cpp); the runner above it
// is the same on every platform.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace oskelon {

// Prepares the process for the runner, before anything is printed or parsed: on Windows the
// console shows UTF-8 and an interruption (Ctrl+C, Ctrl+Break, closing the console) ends the
// process with kExitInterrupted until an InterruptWaiter takes it over; on Linux SIGINT and
// SIGTERM keep their default action until then. Returns the arguments as UTF-8 texts,
// argv[0] included.
std::vector<std::string> prepareRunnerProcess(int argc, char** argv);

// The main thread's wait while other threads do the work. An interruption from the user or the
// system (SIGINT and SIGTERM; Ctrl+C, Ctrl+Break and the console's close on Windows) and the
// workers' wake() calls end a wait. Once constructed, an interruption is no longer fatal: it is
// kept for the next wait, also when it comes between two waits, and a further one is ignored.
//
// Construct it on the thread that waits, before any thread that calls wake() starts (on Linux
// the signals are blocked in the constructing thread, and threads started later inherit that).
// At most one exists at a time. Wakes coalesce: after any wait that returns Woken, the caller
// must look at everything its workers may have posted.
class InterruptWaiter {
  public:
    enum class Wake { Interrupted, Woken, TimedOut };

    InterruptWaiter();
    ~InterruptWaiter();
    InterruptWaiter(const InterruptWaiter&) = delete;
    InterruptWaiter& operator=(const InterruptWaiter&) = delete;

    // Blocks until an interruption or a wake(). An interruption wins over a pending wake.
    Wake wait();
    // As wait(), but returns TimedOut at the deadline (or at once when it has passed).
    Wake waitUntil(std::chrono::steady_clock::time_point deadline);
    // Ends the current or next wait with Woken; any thread may call it.
    void wake();
};

// Writes text to stream and flushes it; false when not all of it reached the stream's file or
// console. On a Windows console the text goes to the console as UTF-16 (the C library's console
// writes do not carry UTF-8 under every runtime), with the stream's own line ends; everywhere
// else the bytes go through the stream unchanged.
bool writeText(std::FILE* stream, const std::string& text);

// Why a write to standard output failed (writeText's or the C library's own), as the system
// says it; nullopt when every write so far reached it. Flushes standard output first.
std::optional<std::string> standardOutputFailure();

// Names the calling thread for debuggers and process viewers (at most 15 bytes show on Linux).
// Does nothing where the system has no thread names.
void nameCurrentThread(const std::string& name);

// The memory the system can still give without swapping, in bytes; nullopt when unknown.
std::optional<std::uint64_t> systemAvailableMemory();

}  // namespace oskelon
