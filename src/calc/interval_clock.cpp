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

std::chrono::steady_clock::time_point steadyNow() {
    return std::chrono::steady_clock::now();
}

// The three clocks at one moment: see kClockReadWindow.
struct Reading {
    std::chrono::steady_clock::time_point steadyFirst;
    std::chrono::steady_clock::time_point steadyLast;
    double rawMs = 0;
    double realtimeMs = 0;
};

Reading readTogether(const ClockSources& clocks) {
    Reading r;
    for (int attempt = 0; attempt < kClockReadAttempts; ++attempt) {
        r.steadyFirst = clocks.steadyNow();
        r.rawMs = clocks.rawNowMs();
        r.realtimeMs = clocks.realtimeNowMs();
        r.steadyLast = clocks.steadyNow();
        if (r.steadyLast - r.steadyFirst <= kClockReadWindow) break;
    }
    return r;
}

}  // namespace

ClockSources systemClocks() {
    return {steadyNow, rawNowMs, realtimeNowMs};
}

void IntervalClock::restart() {
    const Reading r = readTogether(sources_);
    rawStartMs_ = r.rawMs;
    realtimeStartMs_ = r.realtimeMs;
    steadyStart_ = r.steadyLast;  // the interval starts after the reads
}

double IntervalClock::elapsedMs() const {
    return std::chrono::duration<double, std::milli>(sources_.steadyNow() - steadyStart_).count();
}

ClockCheck IntervalClock::check() const {
    const Reading r = readTogether(sources_);
    ClockCheck c;
    c.steadyMs = std::chrono::duration<double, std::milli>(r.steadyFirst - steadyStart_).count();
    c.rawMs = r.rawMs - rawStartMs_;
    c.realtimeMs = r.realtimeMs - realtimeStartMs_;
    // Even uninterrupted reads follow each other by up to kClockReadWindow; a difference of that
    // order is not drift, so intervals are compared with that much slack.
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
