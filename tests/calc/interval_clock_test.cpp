// The clock check against scripted clocks: an interruption between the reads of the three clocks
// is read again rather than taken for drift, while a clock that really runs fast or jumps is still
// caught.
#include "calc/interval_clock.h"

#include <gtest/gtest.h>

namespace oskelon {
namespace {

// Scripted time in microseconds. Every read takes 0.1 us; reads of the raw clock can be made to
// find the thread interrupted first, for kInterruptUs.
constexpr double kInterruptUs = 400;
struct Script {
    double nowUs = 1e6;
    double rawRate = 1.0;       // raw clock microseconds per true microsecond
    double realtimeJumpUs = 0;  // added to the wall clock after the start
    int interruptRawReads = 0;  // the next this many raw reads are interrupted
    int rawReads = 0;
} script;

std::chrono::steady_clock::time_point fakeSteady() {
    script.nowUs += 0.1;
    return std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double, std::micro>(script.nowUs)));
}

double fakeRawMs() {
    ++script.rawReads;
    if (script.interruptRawReads > 0) {
        --script.interruptRawReads;
        script.nowUs += kInterruptUs;
    }
    script.nowUs += 0.1;
    return script.nowUs * script.rawRate * 1e-3;
}

double fakeRealtimeMs() {
    script.nowUs += 0.1;
    return (script.nowUs + script.realtimeJumpUs) * 1e-3;
}

constexpr ClockSources kScripted{fakeSteady, fakeRawMs, fakeRealtimeMs};

// An interval of ms milliseconds timed with the script set up, then changed by prepare after the
// start.
template <class Prepare>
ClockCheck timeInterval(Script setup, Prepare prepare, double ms = 5.0) {
    script = setup;
    IntervalClock clock(kScripted);
    prepare();
    script.nowUs += ms * 1e3;
    return clock.check();
}

TEST(ClockCheck, AnInterruptionBetweenTheReadsIsReadAgainNotTakenForDrift) {
    // Interrupted at the start, and (separately) at the check, once each.
    Script atStart;
    atStart.interruptRawReads = 1;
    ClockCheck c = timeInterval(atStart, [] {});
    EXPECT_TRUE(c.verified) << c.drift;
    EXPECT_NEAR(c.rawMs, c.steadyMs, 0.01);
    EXPECT_NEAR(c.steadyMs, 5.0, 0.01);

    c = timeInterval(Script{}, [] { script.interruptRawReads = 2; });
    EXPECT_TRUE(c.verified) << c.drift;
    EXPECT_NEAR(c.rawMs, c.steadyMs, 0.01);
    EXPECT_NEAR(c.realtimeMs, c.steadyMs, 0.01);
    EXPECT_EQ(script.rawReads, 1 + 3);  // one read at the start, three at the check
}

TEST(ClockCheck, AClockThatRunsFastOrJumpsIsStillCaught) {
    // A raw clock 0.2% fast over 100 ms: 0.2 ms off, 0.15 ms beyond the slack.
    Script fast;
    fast.rawRate = 1.002;
    ClockCheck c = timeInterval(
        fast, [] {}, 100.0);
    EXPECT_FALSE(c.verified);
    EXPECT_NEAR(c.drift, 0.0015, 1e-4);
    EXPECT_NEAR(c.steadyMs, 100.0, 0.01);

    // The wall clock set forward by 1 ms during a 5 ms run.
    c = timeInterval(Script{}, [] { script.realtimeJumpUs = 1000; });
    EXPECT_FALSE(c.verified);
    EXPECT_NEAR(c.drift, (1.0 - 0.05) / 5.0, 0.01);

    // Interrupted at every attempt: the check gives up after the set number of readings and
    // reports what it saw.
    c = timeInterval(Script{}, [] { script.interruptRawReads = 1000; });
    EXPECT_EQ(script.rawReads, 1 + kClockReadAttempts);
    EXPECT_FALSE(c.verified);
}

}  // namespace
}  // namespace oskelon
