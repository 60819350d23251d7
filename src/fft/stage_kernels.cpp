// The three first stages of the complex transform and their table-free twiddle factors.
//
// A stage on n doubles works on four quarters of m = n/8 points. It visits point 0 alone, then the
// front points k = 1 .. m/2-2 two at a time (k odd and k+1) together with their mirrors m-k and
// m-k-1, then the three middle points m/2-1, m/2, m/2+1. The factors of the front points come
// from two-step recurrences
//     v(k+2) = v(k) + i*sigma*v(k+1)
// whose even and odd members leapfrog; a fresh cos/sin seeds them at K = 0, 64, 128, ..., so no
// member runs more than 32 steps between seeds. The mirror factors are the front factors with
// their parts exchanged and signs changed, which is exact.
#include "fft/stage_kernels.h"

#include <algorithm>
#include <cmath>

#include "fft/contract.h"
#include "fft/fft_arith.h"
#include "fft/stage_factors.h"

namespace oskelon {
namespace {

using detail::conj;
using detail::Cx;
using detail::Quad;

using stage_factors::kSeedInterval;
using stage_factors::leap;
using stage_factors::tripleConj;
using StepAngle = stage_factors::StepAngle<Cx>;
using TwistedFactors = stage_factors::TwistedFactors<Cx>;

// ---------------------------------------------------------------------------------------------
// Plain stage

template <bool Conj>
inline Cx loadIn(const double* p) {
    if constexpr (Conj) {
        return {p[0], -p[1]};
    } else {
        return {p[0], p[1]};
    }
}

// Point p of the quarters (quarter stride q doubles) with plain factors w1 = w^k, w3 = w^(3k).
template <bool Conj>
inline void plainPoint(double* p, int q, Cx w1, Cx w3) {
    const Quad r = detail::plain4(loadIn<Conj>(p), loadIn<Conj>(p + q), loadIn<Conj>(p + 2 * q),
                                  loadIn<Conj>(p + 3 * q));
    detail::store(p, r.v0);
    detail::store(p + q, r.v1);
    detail::store(p + 2 * q, detail::mul(w1, r.v2));
    detail::store(p + 3 * q, detail::mul(w3, r.v3));
}

// Front point with W = w^k and W3 = conj(w^(3k)).
template <bool Conj>
inline void plainFront(double* p, int q, Cx w, Cx w3c) {
    plainPoint<Conj>(p, q, w, conj(w3c));
}

// Mirror point m-k of the front point k: w^(m-k) = (W.im, W.re), w^(3(m-k)) = (W3.im, -W3.re).
template <bool Conj>
inline void plainMirror(double* p, int q, Cx w, Cx w3c) {
    plainPoint<Conj>(p, q, {w.im, w.re}, {w3c.im, -w3c.re});
}

// Sequences W = w^k (w = e^(2 pi i/(n/2))) and W3 = conj(w^(3k)); even members at the even
// point of the current pair, odd members at the odd one. Seed blocks [first, end) (see
// stageSeedBlocks); point 0 with the first block, the middle points after the last.
template <bool Conj>
void plainStage(int n, double* z, int first, int end, const StageAngle& angle) {
    OSKELON_ASSERT(angle.divisor == n >> 2);
    const int m = n >> 3;  // points per quarter, >= 8
    const int q = n >> 2;  // doubles per quarter
    const int half = m >> 1;
    const StepAngle a(angle);

    if (first == 0) {
        const Quad r = detail::plain4(loadIn<Conj>(z), loadIn<Conj>(z + q), loadIn<Conj>(z + 2 * q),
                                      loadIn<Conj>(z + 3 * q));
        detail::store(z, r.v0);
        detail::store(z + q, r.v1);
        detail::store(z + 2 * q, r.v2);
        detail::store(z + 3 * q, r.v3);
    }

    Cx wEven{1.0, 0.0}, wOdd{a.c1, a.s1};
    Cx uEven{1.0, 0.0}, uOdd = a.step3;
    const int lastFront = half - 2;
    const int endFront = std::min(end * kSeedInterval, lastFront);
    for (int K = first * kSeedInterval; K < endFront; K += kSeedInterval) {
        if (K > 0) {
            a.seed(K, wEven, wOdd);
            uEven = tripleConj(wEven);
            uOdd = tripleConj(wOdd);
        }
        const int blockEnd = std::min(K + kSeedInterval, endFront);
        for (int k = K + 1; k < blockEnd; k += 2) {
            leap(wEven, wOdd, a.ss);
            leap(uEven, uOdd, a.ss3);
            double* front = z + 2 * k;
            double* mirror = z + 2 * (m - k);
            plainFront<Conj>(front, q, wOdd, uOdd);
            plainFront<Conj>(front + 2, q, wEven, uEven);
            plainMirror<Conj>(mirror, q, wOdd, uOdd);
            plainMirror<Conj>(mirror - 2, q, wEven, uEven);
            leap(wOdd, wEven, a.ss);
            leap(uOdd, uEven, a.ss3);
        }
    }
    if (end < stageSeedBlocks(n)) return;

    // Middle points. The odd members now stand at m/2-1.
    plainFront<Conj>(z + 2 * (half - 1), q, wOdd, uOdd);
    plainMirror<Conj>(z + 2 * (half + 1), q, wOdd, uOdd);

    // Centre m/2: w^(m/2) = e^(i pi/4) = (r, r) and w^(3m/2) = (-r, r), with r the real part of
    // one more recurrence step (within an ulp or so of sqrt(1/2)).
    {
        const double r = wEven.re - a.ss * wOdd.im;
        double* p = z + 2 * half;
        const Quad v = detail::plain4(loadIn<Conj>(p), loadIn<Conj>(p + q), loadIn<Conj>(p + 2 * q),
                                      loadIn<Conj>(p + 3 * q));
        const Cx x = v.v2, y = v.v3;
        detail::store(p, v.v0);
        detail::store(p + q, v.v1);
        detail::store(p + 2 * q, {r * (x.re - x.im), r * (x.re + x.im)});
        detail::store(p + 3 * q, {-r * (y.re + y.im), r * (y.re - y.im)});
    }
}

// ---------------------------------------------------------------------------------------------
// Twisted stage

inline void twistedPoint(double* p, int q, Cx f1, Cx f2, Cx f3, Cx f4) {
    const Quad r = detail::twisted4(detail::load(p), detail::load(p + q), detail::load(p + 2 * q),
                                    detail::load(p + 3 * q), f1, f2, f3, f4);
    detail::store(p, r.v0);
    detail::store(p + q, r.v1);
    detail::store(p + 2 * q, r.v2);
    detail::store(p + 3 * q, r.v3);
}

inline void twistedFront(double* p, int q, const TwistedFactors& f) {
    twistedPoint(p, q, f.v1, f.v2, conj(f.v3), conj(f.v4));
}

// Mirror point m-k: a^(m-k) = (v2.im, v2.re), a^(2m-k) = (v1.im, v1.re),
// a^(3(m-k)) = (v4.im, -v4.re), a^(3(m-k)+3m) = (v3.im, -v3.re).
inline void twistedMirror(double* p, int q, const TwistedFactors& f) {
    twistedPoint(p, q, {f.v2.im, f.v2.re}, {f.v1.im, f.v1.re}, {f.v4.im, -f.v4.re},
                 {f.v3.im, -f.v3.re});
}

// alpha = e^(i pi/(n/2)); step theta = pi/(n/2). Seed blocks [first, end) as in plainStage.
void twistedStage(int n, double* z, int first, int end, const StageAngle& angle) {
    OSKELON_ASSERT(angle.divisor == n >> 1);
    const int m = n >> 3;
    const int q = n >> 2;
    const int half = m >> 1;
    const StepAngle a(angle);

    if (first == 0) {
        const Quad r = detail::twisted4(detail::load(z), detail::load(z + q),
                                        detail::load(z + 2 * q), detail::load(z + 3 * q));
        detail::store(z, r.v0);
        detail::store(z + q, r.v1);
        detail::store(z + 2 * q, r.v2);
        detail::store(z + 3 * q, r.v3);
    }

    TwistedFactors even = TwistedFactors::derive({1.0, 0.0});
    TwistedFactors odd = TwistedFactors::derive({a.c1, a.s1});
    const int lastFront = half - 2;
    const int endFront = std::min(end * kSeedInterval, lastFront);
    for (int K = first * kSeedInterval; K < endFront; K += kSeedInterval) {
        if (K > 0) {
            Cx e, o;
            a.seed(K, e, o);
            even = TwistedFactors::derive(e);
            odd = TwistedFactors::derive(o);
        }
        const int blockEnd = std::min(K + kSeedInterval, endFront);
        for (int k = K + 1; k < blockEnd; k += 2) {
            leap(even, odd, a.ss, a.ss3);
            double* front = z + 2 * k;
            double* mirror = z + 2 * (m - k);
            twistedFront(front, q, odd);
            twistedFront(front + 2, q, even);
            twistedMirror(mirror, q, odd);
            twistedMirror(mirror - 2, q, even);
            leap(odd, even, a.ss, a.ss3);
        }
    }
    if (end < stageSeedBlocks(n)) return;

    twistedFront(z + 2 * (half - 1), q, odd);
    twistedMirror(z + 2 * (half + 1), q, odd);

    // Centre m/2: one more step of v1 gives (r1, r2) ~ e^(i pi/8) = a^(m/2); then
    // a^(3m/2) = (r2, r1) and a^(9m/2) = -(r1, r2).
    {
        const Cx r{even.v1.re - a.ss * odd.v1.im, even.v1.im + a.ss * odd.v1.re};
        const Cx rs{r.im, r.re};
        twistedPoint(z + 2 * half, q, r, rs, rs, {-r.re, -r.im});
    }
}

}  // namespace

StageAngle stageAngle(int divisor) {
    StageAngle a;
    a.divisor = divisor;
    a.delta = detail::kHalfPi / static_cast<double>(divisor);
    const SinCos t = roundedSinCos(a.delta + a.delta);
    a.c1 = t.cos;
    a.s1 = t.sin;
    a.ss = a.s1 + a.s1;
    const Cx step3 = tripleConj(Cx{a.c1, a.s1});
    a.c3 = step3.re;
    a.s3 = step3.im;
    a.ss3 = a.s3 + a.s3;
    return a;
}

void quarterStage(int n, double* block) {
    plainStage<false>(n, block, 0, stageSeedBlocks(n), plainStageAngle(n));
}

void quarterStageConj(int n, double* block) {
    plainStage<true>(n, block, 0, stageSeedBlocks(n), plainStageAngle(n));
}

void twistedQuarterStage(int n, double* block) {
    twistedStage(n, block, 0, stageSeedBlocks(n), twistedStageAngle(n));
}

void quarterStagePart(int n, double* block, int first, int end, const StageAngle& angle) {
    OSKELON_ASSERT(0 <= first && first < end && end <= stageSeedBlocks(n));
    plainStage<false>(n, block, first, end, angle);
}

void quarterStageConjPart(int n, double* block, int first, int end, const StageAngle& angle) {
    OSKELON_ASSERT(0 <= first && first < end && end <= stageSeedBlocks(n));
    plainStage<true>(n, block, first, end, angle);
}

void twistedQuarterStagePart(int n, double* block, int first, int end, const StageAngle& angle) {
    OSKELON_ASSERT(0 <= first && first < end && end <= stageSeedBlocks(n));
    twistedStage(n, block, first, end, angle);
}

}  // namespace oskelon
