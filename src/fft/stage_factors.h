// The scalar factor arithmetic of the quarter stages, shared by the reference (stage_kernels.cpp)
// and the vector paths (stage_simd.h), over any complex type with fields re and im.
//
// Everything has internal linkage: the header is compiled into translation units with different
// instruction sets, and no function compiled for a wider one may be shared with another unit.
#pragma once

#include "fft/fft_arith.h"
#include "fft/rounded_sincos.h"
#include "fft/stage_kernels.h"

namespace oskelon::stage_factors {
namespace {

constexpr int kSeedInterval = kStageSeedInterval;  // points of a quarter between two seeds

// One double step of a leapfrogging member: `older` holds v(k) on entry and v(k+2) on exit,
// `newer` is v(k+1).
template <class Z>
inline void leap(Z& older, Z newer, double sigma) {
    older.re = older.re - sigma * newer.im;
    older.im = older.im + sigma * newer.re;
}

// (cos 3phi, -sin 3phi) from (cos phi, sin phi): with t = 4 sin phi cos phi,
// cos 3phi = cos phi (1 - 4 sin^2 phi) and -sin 3phi = sin phi (1 - 4 cos^2 phi).
template <class Z>
inline Z tripleConj(Z w) {
    const double t = 4.0 * w.im * w.re;
    return {w.re - t * w.im, w.im - t * w.re};
}

// The four factor sequences of the twisted stage at one point, alpha = e^(pi i/(n/2)),
// eps = alpha^m = e^(i pi/4):
// v1 = alpha^k, v2 = alpha^(k+m) = eps*v1, v3 = conj(alpha^(3k)), v4 = conj(alpha^(3k+3m)) =
// conj(eps^3)*v3.
template <class Z>
struct TwistedFactors {
    Z v1, v2, v3, v4;

    static TwistedFactors derive(Z v1) {
        const Z v3 = tripleConj(v1);
        return {v1,
                {detail::kSqrtHalf * (v1.re - v1.im), detail::kSqrtHalf * (v1.im + v1.re)},
                v3,
                {detail::kNegSqrtHalf * (v3.re - v3.im), detail::kNegSqrtHalf * (v3.im + v3.re)}};
    }
};

// One double step of all four sequences (leap on each): sigma ss for v1, v2 and ss3 for v3, v4.
template <class Z>
inline void leap(TwistedFactors<Z>& older, const TwistedFactors<Z>& newer, double ss, double ss3) {
    leap(older.v1, newer.v1, ss);
    leap(older.v2, newer.v2, ss);
    leap(older.v3, newer.v3, ss3);
    leap(older.v4, newer.v4, ss3);
}

// A stage's step angle (StageAngle) with its triple-angle step as a complex value Z: only the
// doubles the stages read, in a flat struct that the compiler keeps in registers. Deriving it from
// StageAngle instead (with the divisor and the separate c3, s3) took it out of them and made the
// stages of 64 doubles twice as slow (BM_Stage/avx512, plain 5.5 -> 10.9 us per 2^15 doubles).
template <class Z>
struct StepAngle {
    double delta;
    double c1, s1;  // cos theta, sin theta
    double ss;      // 2 sin theta, sigma of the single-angle sequences
    Z step3;        // (cos 3theta, -sin 3theta)
    double ss3;     // -2 sin 3theta, sigma of the conjugated triple-angle sequences

    explicit StepAngle(const StageAngle& a)
        : delta(a.delta), c1(a.c1), s1(a.s1), ss(a.ss), step3{a.c3, a.s3}, ss3(a.ss3) {}

    // The base sequence at K (even member) and K+1 (odd member), K > 0.
    void seed(int K, Z& even, Z& odd) const {
        const double phi = static_cast<double>(2 * K) * delta;
        const SinCos p = roundedSinCos(phi);
        even = {p.cos, p.sin};
        odd = {c1 * even.re - s1 * even.im, s1 * even.re + c1 * even.im};
    }
};

}  // namespace
}  // namespace oskelon::stage_factors
