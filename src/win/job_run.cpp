#include "win/job_run.h"

#include <process.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>

namespace oskelon::win {

JobRun::JobRun(MainDialog& window, HWND hwnd, JobOptions options, WPARAM serial)
    : bridge_(window, hwnd),
      job_(bridge_, stop_, std::move(options)),
      hwnd_(hwnd),
      serial_(serial) {}

JobRun::~JobRun() {
    if (thread_) {
        halt();
        waitForEnd();
    }
}

bool JobRun::start() {
    // _beginthreadex rather than CreateThread: the C runtime sets the thread up for itself.
    const std::uintptr_t thread = _beginthreadex(nullptr, 0, &JobRun::threadMain, this, 0, nullptr);
    if (thread == 0) {
        failure_ = std::strerror(errno);
        return false;
    }
    thread_.reset(reinterpret_cast<HANDLE>(thread));
    return true;
}

unsigned __stdcall JobRun::threadMain(void* self) {
    JobRun& run = *static_cast<JobRun*>(self);
    try {
        run.exitCode_ = run.job_.run();
    } catch (const std::exception& e) {
        // Nothing the job does is expected to throw beyond its own stop; should it happen, the
        // window gets its buttons back instead of waiting for a job that is gone.
        run.exitCode_ = kJobFailed;
        run.failure_ = e.what();
    }
    run.ended_.store(true, std::memory_order_release);
    // The window outlives this thread. Should the post fail (a full queue), the window takes
    // the end in at its next "Calc" or when it closes.
    PostMessageW(run.hwnd_, kJobEndedMessage, run.serial_, 0);
    return run.exitCode_;
}

void JobRun::halt() {
    // The stop request comes first, so that a job released from a dropped call finds it set
    // and can no longer replace "pi.dat" or write its record.
    stop_.requestStop();
    bridge_.detach();
}

void JobRun::waitForEnd() {
    if (!thread_) return;
    HANDLE thread = thread_.get();
    for (;;) {
        // Serve the calls already sent, then sleep until the thread ends or another call comes.
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        const DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woken == WAIT_OBJECT_0) break;
        // A failed wait cannot happen with a valid handle; poll rather than block without
        // serving calls, and give up only on a handle that cannot be waited for at all.
        if (woken == WAIT_FAILED && WaitForSingleObject(thread, 10) != WAIT_TIMEOUT) break;
    }
    thread_.reset();
}

}  // namespace oskelon::win
