// JobRun: one calculation job on a thread of its own, owned by the window that started it.
//
// The job never outlives its window: the owner halts it and waits for its thread (waitForEnd, or
// the destructor) before the window goes. The job stops within a fraction of a second of its
// stop request (it polls the request between and inside the arithmetic operations), and it is
// never terminated from outside, so it leaves no lock held and nothing half-written; its
// working set is freed by the window once the thread has ended, each block once.
//
// The thread posts kJobEndedMessage with the run's serial number as the last thing it does; the
// window takes the end in from there, or earlier through waitForEnd.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "calc/calc_job.h"
#include "calc/stop_token.h"
#include "win/unique_handle.h"
#include "win/window_bridge.h"

namespace oskelon::win {

class MainDialog;

// The exit code of a job whose run() failed with an exception it does not handle itself.
inline constexpr unsigned kJobFailed = 100;

class JobRun {
  public:
    JobRun(MainDialog& window, HWND hwnd, JobOptions options, WPARAM serial);
    // Halts a job that is still running and waits for its thread.
    ~JobRun();
    JobRun(const JobRun&) = delete;
    JobRun& operator=(const JobRun&) = delete;

    // Starts the thread; false, with the system's reason in failure(), when it cannot be created.
    bool start();

    // Window thread: asks the job to stop and drops its further calls to the window. Returns at
    // once, except that it waits for a replacement of "pi.dat" or a record write in progress
    // (which make no calls to the window).
    void halt();
    bool halted() const { return bridge_.detached(); }

    // Window thread: waits until the thread has ended, carrying out (or, once halted, dropping)
    // the job's calls meanwhile. Only sent messages are served: no input reaches the window.
    void waitForEnd();
    // The job's run() has returned (the thread may still be on its way out).
    bool hasEnded() const { return ended_.load(std::memory_order_acquire); }

    WPARAM serial() const { return serial_; }
    // After hasEnded():
    unsigned exitCode() const { return exitCode_; }
    const CalcJob& job() const { return job_; }
    // What went wrong when exitCode() is kJobFailed, or why start() failed.
    const std::string& failure() const { return failure_; }

  private:
    static unsigned __stdcall threadMain(void* self);

    StopToken stop_;
    WindowBridge bridge_;
    CalcJob job_;
    HWND hwnd_;
    WPARAM serial_;
    KernelHandle thread_;
    std::atomic<bool> ended_{false};
    unsigned exitCode_ = 0;
    std::string failure_;
};

}  // namespace oskelon::win
