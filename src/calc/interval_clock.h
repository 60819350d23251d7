// Precise timing of a run with a check against independent clocks.
//
// The reported time is the steady clock's. The same interval is also measured with the
// platform's raw monotonic clock (not slewed by time synchronisation) and its wall clock; when
// either disagrees with the steady clock by more than 0.1%, the time is marked unverified (a
// clock that runs slow or fast makes a run look faster or slower than it was).
#pragma once

#include <chrono>

namespace oskelon {

struct ClockCheck {
    double steadyMs = 0;    // the reported interval
    double rawMs = 0;       // the raw monotonic clock's view of it
    double realtimeMs = 0;  // the wall clock's view of it
    double drift = 0;       // the larger relative deviation of the two from the steady clock
    bool verified = false;  // drift <= kMaxClockDrift
};

inline constexpr double kMaxClockDrift = 0.001;

// Where the three clocks are read: the system's, or a test's.
struct ClockSources {
    std::chrono::steady_clock::time_point (*steadyNow)();
    double (*rawNowMs)();
    double (*realtimeNowMs)();
};
ClockSources systemClocks();

// The three clocks are always read together, steady clock first and last. A thread interrupted
// between the reads would see the clocks disagree by the length of the interruption, so a reading
// whose two steady reads lie more than kClockReadWindow apart is taken again, up to
// kClockReadAttempts times in all.
inline constexpr std::chrono::microseconds kClockReadWindow{20};
inline constexpr int kClockReadAttempts = 5;

class IntervalClock {
  public:
    IntervalClock() : IntervalClock(systemClocks()) {}
    explicit IntervalClock(ClockSources sources) : sources_(sources) { restart(); }
    void restart();
    double elapsedMs() const;  // steady clock since the start
    ClockCheck check() const;  // all three clocks since the start, read now

  private:
    ClockSources sources_;
    std::chrono::steady_clock::time_point steadyStart_;
    double rawStartMs_ = 0;
    double realtimeStartMs_ = 0;
};

}  // namespace oskelon
