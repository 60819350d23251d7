// Every argument the program passes to sine and cosine, computed with the same double operations
// as the code that uses them (src/fft/stage_factors.h, src/mp/engine.cpp forEachPair).
//
// Lengths: a run of size i multiplies at n = 4096 * 2^i doubles and its Newton iterations at
// every power of two from their start length up, so the engine's lengths are taken as all powers
// of two n = 2 .. 2^23. A complex transform of n doubles applies the plain stage at n, n/4,
// n/16, ... and the twisted one at n/4, n/16, ... down to 64 doubles, so over all lengths the
// plain stage sees every power of two 64 .. 2^23 and the twisted one every power of two
// 64 .. 2^21.
#pragma once

#include <algorithm>
#include <vector>

#include "calc/sizes.h"
#include "fft/fft_arith.h"

namespace oskelon::test {

inline constexpr int kLongestTransform = requestedLength(kSizeCount - 1);  // 2^23 doubles

// StepAngle(divisor) of a stage of n doubles: theta = 2 delta and the seeds (2K) delta for the
// seed blocks K = 64, 128, ... below the last front point n/16 - 2.
inline void appendStageAngles(int n, int divisor, std::vector<double>& out) {
    const double delta = detail::kHalfPi / static_cast<double>(divisor);
    out.push_back(delta + delta);
    const int lastFront = (n >> 4) - 2;
    for (int K = 64; K < lastFront; K += 64) out.push_back(static_cast<double>(2 * K) * delta);
}

// forEachPair(n): pi/n and the restart angles pi*o/n, o = n/2 - 256, n/2 - 512, ... > 2.
inline void appendEngineAngles(int n, std::vector<double>& out) {
    const int half = n / 2;
    if (half - 2 < 2) return;
    const double pi = 3.141592653589793;
    out.push_back(pi / n);
    for (int top = half;;) {
        const int o = std::max(top - 256, 2);
        if (o == 2) break;
        out.push_back(pi * o / n);
        top = o;
    }
}

inline std::vector<double> stageAngles() {
    std::vector<double> a;
    for (int n = 64; n <= kLongestTransform; n *= 2) {
        appendStageAngles(n, n >> 2, a);                                  // plain stage
        if (n <= kLongestTransform / 4) appendStageAngles(n, n >> 1, a);  // twisted stage
    }
    return a;
}

inline std::vector<double> engineAngles() {
    std::vector<double> a;
    for (int n = 2; n <= kLongestTransform; n *= 2) appendEngineAngles(n, a);
    return a;
}

// The union, sorted and without repetitions.
inline std::vector<double> programAngles() {
    std::vector<double> a = stageAngles();
    const std::vector<double> e = engineAngles();
    a.insert(a.end(), e.begin(), e.end());
    std::sort(a.begin(), a.end());
    a.erase(std::unique(a.begin(), a.end()), a.end());
    return a;
}

}  // namespace oskelon::test
