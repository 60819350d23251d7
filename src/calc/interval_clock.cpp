#include "calc/interval_clock.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace oskelon {
namespace {

#ifdef CLOCK_MONOTONIC_RAW
double rawNowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) * 1e-6;
}
#else
double rawNowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::high_resolution_clock::now().time_since_epoch())
        .count();
}
#endif

double realtimeNowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void IntervalClock::restart() {
    rawStartMs_ = rawNowMs();
    realtimeStartMs_ = realtimeNowMs();
    steadyStart_ = std::chrono::steady_clock::now();
}

double IntervalClock::elapsedMs() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                     steadyStart_)
        .count();
}

ClockCheck IntervalClock::check() const {
    ClockCheck c;
    c.steadyMs = elapsedMs();
    c.rawMs = rawNowMs() - rawStartMs_;
    c.realtimeMs = realtimeNowMs() - realtimeStartMs_;
    // The three clocks are read one after another; a few microseconds of that order are not
    // drift, so intervals are compared with that much slack.
    const double slackMs = 0.05;
    auto deviation = [&](double other) {
        const double diff = std::max(0.0, std::fabs(other - c.steadyMs) - slackMs);
        return c.steadyMs > 0 ? diff / c.steadyMs : 0.0;
    };
    c.drift = std::max(deviation(c.rawMs), deviation(c.realtimeMs));
    c.verified = c.drift <= kMaxClockDrift;
    return c;
}

}  // namespace oskelon
