// The stop request between a host and its job.
//
// The host calls requestStop(); the job polls stopRequested() between operations, and the
// arithmetic polls the same flag inside long operations (it throws MpInterrupted). Actions that
// leave the job's traces outside the process (replacing "pi.dat", writing a record) run through
// runUnlessStopped(): once requestStop() has returned, none of them is running or will start.
#pragma once

#include <atomic>
#include <mutex>

namespace oskelon {

class StopToken {
  public:
    void requestStop() {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_.store(true, std::memory_order_relaxed);
    }
    bool stopRequested() const { return stop_.load(std::memory_order_relaxed); }
    const std::atomic<bool>* flag() const { return &stop_; }

    // Runs action unless a stop has been requested; true when it ran.
    template <typename Action>
    bool runUnlessStopped(Action&& action) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_.load(std::memory_order_relaxed)) return false;
        action();
        return true;
    }

  private:
    std::mutex mutex_;
    std::atomic<bool> stop_{false};
};

}  // namespace oskelon
