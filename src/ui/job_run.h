// JobRun: one calculation job on a thread of its own, owned by the window that started it.
//
// The thread is joined by the destructor, after the job has been halted, so the job never
// outlives its window. The window learns of the job's end through ended(), delivered on the
// window's thread; it never waits for the job before that.
#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "calc/calc_job.h"
#include "calc/stop_token.h"
#include "ui/window_bridge.h"

namespace oskelon::ui {

class MainDialog;

// The exit code of a job whose run() failed with an exception it does not handle itself.
inline constexpr unsigned kJobFailed = 100;

class JobRun : public QObject {
    Q_OBJECT

  public:
    using Clock = std::chrono::steady_clock;

    JobRun(MainDialog& window, JobOptions options);
    // Halts a job that is still running and waits for its thread; the job stops within a
    // fraction of a second (it polls its stop request between and inside the operations).
    ~JobRun() override;
    JobRun(const JobRun&) = delete;
    JobRun& operator=(const JobRun&) = delete;

    // Starts the thread. Connect to ended() first.
    void start();

    // Window thread: asks the job to stop and drops its further calls to the window. Returns at
    // once, except that it waits for a replacement of "pi.dat" or a record write in progress.
    void halt();
    bool halted() const { return bridge_.detached(); }

    // The threads the job computes on (its options' count).
    int threads() const { return threads_; }

    // The job's run() has returned; the thread is about to end.
    bool hasEnded() const { return ended_.load(std::memory_order_acquire); }
    // Waits for the thread; immediate once hasEnded() (or ended() has arrived).
    void join();

    // After hasEnded():
    unsigned exitCode() const { return exitCode_; }
    const CalcJob& job() const { return job_; }
    Clock::time_point endedAt() const { return endedAt_; }
    // What went wrong when exitCode() is kJobFailed.
    const std::string& failure() const { return failure_; }

  signals:
    // The job has ended; queued to the window's thread.
    void ended();

  private:
    int threads_;
    StopToken stop_;
    WindowBridge bridge_;
    CalcJob job_;
    std::thread thread_;
    std::atomic<bool> ended_{false};
    unsigned exitCode_ = 0;
    std::string failure_;
    Clock::time_point endedAt_;
};

}  // namespace oskelon::ui
