// The three first stages written once over a lane count W, for the vector paths.
//
// Included by one translation unit per instruction set (stages_sse2.cpp, stages_avx2.cpp,
// stages_avx512.cpp), each compiled with its own target flags; everything here has internal
// linkage so that no code compiled for a wider instruction set can be shared with another unit.
//
// Equivalence with the scalar reference (stage_kernels.cpp), bit for bit:
// - The twiddle factors come from the same scalar recurrences, seeds and triple-angle formula in
//   the same order; they are only written to a small table per seed block (at most 64 points)
//   instead of being used at once.
// - Each point's butterfly is the reference butterfly: the same additions, subtractions and
//   products in the same order, with W points side by side in the lanes of a vector. Points do
//   not share inputs or outputs, so the order in which they are visited does not matter.
// - Negation flips the sign bit (as the scalar code's unary minus does). No fused multiply-add is
//   formed: the build uses -ffp-contract=off.
// - W complex points are held as a vector of real parts and one of imaginary parts; loading
//   permutes the points within the vector (unpack within 128-bit lanes) and storing undoes the
//   same permutation. Inputs and factors are loaded alike, so every lane sees one point's data.
#pragma once

#include <cmath>
#include <cstring>

#include "fft/fft_arith.h"

namespace oskelon::simd {
namespace {

using detail::kHalfPi;
using detail::kNegSqrtHalf;
using detail::kSqrtHalf;

// ---------------------------------------------------------------------------------------------
// W complex points as split real and imaginary parts.

typedef double V2 __attribute__((vector_size(16)));
typedef double V4 __attribute__((vector_size(32)));
typedef double V8 __attribute__((vector_size(64)));
typedef long long M2 __attribute__((vector_size(16)));
typedef long long M4 __attribute__((vector_size(32)));
typedef long long M8 __attribute__((vector_size(64)));

template <int W>
struct VecType;
template <>
struct VecType<2> {
    using V = V2;
    using M = M2;
};
template <>
struct VecType<4> {
    using V = V4;
    using M = M4;
};
template <>
struct VecType<8> {
    using V = V8;
    using M = M8;
};

template <int W>
struct Pack {
    using V = typename VecType<W>::V;
    using M = typename VecType<W>::M;

    // lo: real parts (or, storing, the first W doubles); hi: imaginary parts (the next W).
    static constexpr M lo() {
        if constexpr (W == 2) {
            return M{0, 2};
        } else if constexpr (W == 4) {
            return M{0, 4, 2, 6};
        } else {
            return M{0, 8, 2, 10, 4, 12, 6, 14};
        }
    }
    static constexpr M hi() {
        if constexpr (W == 2) {
            return M{1, 3};
        } else if constexpr (W == 4) {
            return M{1, 5, 3, 7};
        } else {
            return M{1, 9, 3, 11, 5, 13, 7, 15};
        }
    }

    static void load(const double* p, V& re, V& im) {
        V a, b;
        std::memcpy(&a, p, sizeof a);
        std::memcpy(&b, p + W, sizeof b);
        re = __builtin_shuffle(a, b, lo());
        im = __builtin_shuffle(a, b, hi());
    }
    static void store(double* p, V re, V im) {
        const V a = __builtin_shuffle(re, im, lo());
        const V b = __builtin_shuffle(re, im, hi());
        std::memcpy(p, &a, sizeof a);
        std::memcpy(p + W, &b, sizeof b);
    }
};

template <>
struct Pack<1> {
    using V = double;
    static void load(const double* p, V& re, V& im) {
        re = p[0];
        im = p[1];
    }
    static void store(double* p, V re, V im) {
        p[0] = re;
        p[1] = im;
    }
};

template <class V>
struct C {
    V re, im;
};

template <int W>
inline C<typename Pack<W>::V> ld(const double* p) {
    C<typename Pack<W>::V> v;
    Pack<W>::load(p, v.re, v.im);
    return v;
}
template <int W, class V>
inline void st(double* p, C<V> v) {
    Pack<W>::store(p, v.re, v.im);
}

template <int W, bool Conj>
inline C<typename Pack<W>::V> ldIn(const double* p) {
    C<typename Pack<W>::V> v = ld<W>(p);
    if constexpr (Conj) v.im = -v.im;
    return v;
}

// The reference helpers of fft_arith.h, over any value type.
template <class V>
inline C<V> add(C<V> a, C<V> b) {
    return {a.re + b.re, a.im + b.im};
}
template <class V>
inline C<V> sub(C<V> a, C<V> b) {
    return {a.re - b.re, a.im - b.im};
}
template <class V>
inline C<V> plusI(C<V> a, C<V> b) {
    return {a.re - b.im, a.im + b.re};
}
template <class V>
inline C<V> minusI(C<V> a, C<V> b) {
    return {a.re + b.im, a.im - b.re};
}
template <class V>
inline C<V> mul(C<V> f, C<V> z) {
    return {f.re * z.re - f.im * z.im, f.im * z.re + f.re * z.im};
}

// ---------------------------------------------------------------------------------------------
// Scalar factor arithmetic, as in stage_kernels.cpp.

using Cs = C<double>;

inline void leap(Cs& older, Cs newer, double sigma) {
    older.re = older.re - sigma * newer.im;
    older.im = older.im + sigma * newer.re;
}

inline Cs tripleConj(Cs w) {
    const double t = 4.0 * w.im * w.re;
    return {w.re - t * w.im, w.im - t * w.re};
}

struct StepAngle {
    double delta;
    double c1, s1;
    double ss;
    Cs step3;
    double ss3;

    explicit StepAngle(int divisor) {
        delta = kHalfPi / static_cast<double>(divisor);
        const double theta = delta + delta;
        c1 = std::cos(theta);
        s1 = std::sin(theta);
        ss = s1 + s1;
        step3 = tripleConj({c1, s1});
        ss3 = step3.im + step3.im;
    }

    void seed(int K, Cs& even, Cs& odd) const {
        const double phi = static_cast<double>(2 * K) * delta;
        even = {std::cos(phi), std::sin(phi)};
        odd = {c1 * even.re - s1 * even.im, s1 * even.re + c1 * even.im};
    }
};

constexpr int kSeedInterval = 64;

inline void put(double* t, int i, Cs v) {
    t[2 * i] = v.re;
    t[2 * i + 1] = v.im;
}

// ---------------------------------------------------------------------------------------------
// Plain stage

// W points at p (quarter stride q doubles) with factor tables f1, f3 (interleaved, one pair per
// point): the reference plainPoint.
template <int W, bool Conj>
inline void plainPoints(double* p, int q, const double* f1, const double* f3) {
    using V = typename Pack<W>::V;
    const C<V> a = ldIn<W, Conj>(p), b = ldIn<W, Conj>(p + q);
    const C<V> c = ldIn<W, Conj>(p + 2 * q), d = ldIn<W, Conj>(p + 3 * q);
    const C<V> g = add(a, c), h = add(b, d), e = sub(a, c), f = sub(b, d);
    st<W>(p, add(g, h));
    st<W>(p + q, sub(g, h));
    st<W>(p + 2 * q, mul(ld<W>(f1), plusI(e, f)));
    st<W>(p + 3 * q, mul(ld<W>(f3), minusI(e, f)));
}

template <int W, bool Conj>
inline void plainRun(double* p, int q, const double* f1, const double* f3, int count) {
    int i = 0;
    for (; i + W <= count; i += W) plainPoints<W, Conj>(p + 2 * i, q, f1 + 2 * i, f3 + 2 * i);
    for (; i < count; ++i) plainPoints<1, Conj>(p + 2 * i, q, f1 + 2 * i, f3 + 2 * i);
}

template <int W, bool Conj>
void plainStage(int n, double* z) {
    const int m = n >> 3;
    const int q = n >> 2;
    const int half = m >> 1;
    const StepAngle a(n >> 2);

    {
        const Cs pa = ldIn<1, Conj>(z), pb = ldIn<1, Conj>(z + q);
        const Cs pc = ldIn<1, Conj>(z + 2 * q), pd = ldIn<1, Conj>(z + 3 * q);
        const Cs g = add(pa, pc), h = add(pb, pd), e = sub(pa, pc), f = sub(pb, pd);
        st<1>(z, add(g, h));
        st<1>(z + q, sub(g, h));
        st<1>(z + 2 * q, plusI(e, f));
        st<1>(z + 3 * q, minusI(e, f));
    }

    // Factor tables of one seed block: front points K+1 .. end and mirror points m-end .. m-K-1,
    // in ascending point order.
    alignas(64) double front1[2 * kSeedInterval], front3[2 * kSeedInterval];
    alignas(64) double mirror1[2 * kSeedInterval], mirror3[2 * kSeedInterval];

    Cs wEven{1.0, 0.0}, wOdd{a.c1, a.s1};
    Cs uEven{1.0, 0.0}, uOdd = a.step3;
    const int lastFront = half - 2;
    for (int K = 0; K < lastFront; K += kSeedInterval) {
        if (K > 0) {
            a.seed(K, wEven, wOdd);
            uEven = tripleConj(wEven);
            uOdd = tripleConj(wOdd);
        }
        const int end = K + kSeedInterval < lastFront ? K + kSeedInterval : lastFront;
        for (int k = K + 1; k < end; k += 2) {
            leap(wEven, wOdd, a.ss);
            leap(uEven, uOdd, a.ss3);
            const int f = k - (K + 1);  // front index of point k
            const int r = end - k;      // mirror index of point m-k
            put(front1, f, wOdd);
            put(front3, f, {uOdd.re, -uOdd.im});
            put(front1, f + 1, wEven);
            put(front3, f + 1, {uEven.re, -uEven.im});
            put(mirror1, r, {wOdd.im, wOdd.re});
            put(mirror3, r, {uOdd.im, -uOdd.re});
            put(mirror1, r - 1, {wEven.im, wEven.re});
            put(mirror3, r - 1, {uEven.im, -uEven.re});
            leap(wOdd, wEven, a.ss);
            leap(uOdd, uEven, a.ss3);
        }
        const int count = end - K;
        plainRun<W, Conj>(z + 2 * (K + 1), q, front1, front3, count);
        plainRun<W, Conj>(z + 2 * (m - end), q, mirror1, mirror3, count);
    }

    // Middle points: m/2-1 with the odd members, m/2+1 with their mirror forms.
    {
        double f1[2], f3[2];
        put(f1, 0, wOdd);
        put(f3, 0, {uOdd.re, -uOdd.im});
        plainPoints<1, Conj>(z + 2 * (half - 1), q, f1, f3);
        put(f1, 0, {wOdd.im, wOdd.re});
        put(f3, 0, {uOdd.im, -uOdd.re});
        plainPoints<1, Conj>(z + 2 * (half + 1), q, f1, f3);
    }

    // Centre m/2, as in the reference.
    {
        const double r = wEven.re - a.ss * wOdd.im;
        double* p = z + 2 * half;
        const Cs pa = ldIn<1, Conj>(p), pb = ldIn<1, Conj>(p + q);
        const Cs pc = ldIn<1, Conj>(p + 2 * q), pd = ldIn<1, Conj>(p + 3 * q);
        const Cs g = add(pa, pc), h = add(pb, pd), e = sub(pa, pc), f = sub(pb, pd);
        const Cs x = plusI(e, f), y = minusI(e, f);
        st<1>(p, add(g, h));
        st<1>(p + q, sub(g, h));
        st<1>(p + 2 * q, Cs{r * (x.re - x.im), r * (x.re + x.im)});
        st<1>(p + 3 * q, Cs{-r * (y.re + y.im), r * (y.re - y.im)});
    }
}

// ---------------------------------------------------------------------------------------------
// Twisted stage

struct TwistedFactors {
    Cs v1, v2, v3, v4;

    static TwistedFactors derive(Cs v1) {
        const Cs v3 = tripleConj(v1);
        return {v1,
                {kSqrtHalf * (v1.re - v1.im), kSqrtHalf * (v1.im + v1.re)},
                v3,
                {kNegSqrtHalf * (v3.re - v3.im), kNegSqrtHalf * (v3.im + v3.re)}};
    }
};

inline void leap(TwistedFactors& older, const TwistedFactors& newer, double ss, double ss3) {
    leap(older.v1, newer.v1, ss);
    leap(older.v2, newer.v2, ss);
    leap(older.v3, newer.v3, ss3);
    leap(older.v4, newer.v4, ss3);
}

// The reference twistedPoint on W points with factor tables t[0..3] (one pair per point each).
template <int W>
inline void twistedPoints(double* p, int q, const double* t1, const double* t2, const double* t3,
                          const double* t4) {
    using V = typename Pack<W>::V;
    const C<V> a = ld<W>(p), b = ld<W>(p + q), c = ld<W>(p + 2 * q), d = ld<W>(p + 3 * q);
    const C<V> u = mul(ld<W>(t1), plusI(a, c)), v = mul(ld<W>(t2), plusI(b, d));
    const C<V> x = mul(ld<W>(t3), minusI(a, c)), y = mul(ld<W>(t4), minusI(b, d));
    st<W>(p, add(u, v));
    st<W>(p + q, sub(u, v));
    st<W>(p + 2 * q, add(x, y));
    st<W>(p + 3 * q, sub(x, y));
}

struct TwistedTable {
    alignas(64) double t[4][2 * kSeedInterval];

    void front(int i, const TwistedFactors& f) {
        put(t[0], i, f.v1);
        put(t[1], i, f.v2);
        put(t[2], i, {f.v3.re, -f.v3.im});
        put(t[3], i, {f.v4.re, -f.v4.im});
    }
    void mirror(int i, const TwistedFactors& f) {
        put(t[0], i, {f.v2.im, f.v2.re});
        put(t[1], i, {f.v1.im, f.v1.re});
        put(t[2], i, {f.v4.im, -f.v4.re});
        put(t[3], i, {f.v3.im, -f.v3.re});
    }
};

template <int W>
inline void twistedRun(double* p, int q, const TwistedTable& tb, int count) {
    int i = 0;
    for (; i + W <= count; i += W) {
        twistedPoints<W>(p + 2 * i, q, tb.t[0] + 2 * i, tb.t[1] + 2 * i, tb.t[2] + 2 * i,
                         tb.t[3] + 2 * i);
    }
    for (; i < count; ++i) {
        twistedPoints<1>(p + 2 * i, q, tb.t[0] + 2 * i, tb.t[1] + 2 * i, tb.t[2] + 2 * i,
                         tb.t[3] + 2 * i);
    }
}

template <int W>
void twistedStage(int n, double* z) {
    const int m = n >> 3;
    const int q = n >> 2;
    const int half = m >> 1;
    const StepAngle a(n >> 1);

    // Point 0: factors 1, eps, 1, eps^3 (the reference's twisted4 without factors).
    {
        const Cs pa = ld<1>(z), pb = ld<1>(z + q), pc = ld<1>(z + 2 * q), pd = ld<1>(z + 3 * q);
        const Cs s = plusI(pa, pc), t = plusI(pb, pd);
        const Cs u = s, v{kSqrtHalf * (t.re - t.im), kSqrtHalf * (t.re + t.im)};
        const Cs x = minusI(pa, pc), w = minusI(pb, pd);
        const Cs y{kNegSqrtHalf * (w.re + w.im), kSqrtHalf * (w.re - w.im)};
        st<1>(z, add(u, v));
        st<1>(z + q, sub(u, v));
        st<1>(z + 2 * q, add(x, y));
        st<1>(z + 3 * q, sub(x, y));
    }

    TwistedTable frontT, mirrorT;
    TwistedFactors even = TwistedFactors::derive({1.0, 0.0});
    TwistedFactors odd = TwistedFactors::derive({a.c1, a.s1});
    const int lastFront = half - 2;
    for (int K = 0; K < lastFront; K += kSeedInterval) {
        if (K > 0) {
            Cs e, o;
            a.seed(K, e, o);
            even = TwistedFactors::derive(e);
            odd = TwistedFactors::derive(o);
        }
        const int end = K + kSeedInterval < lastFront ? K + kSeedInterval : lastFront;
        for (int k = K + 1; k < end; k += 2) {
            leap(even, odd, a.ss, a.ss3);
            const int f = k - (K + 1);
            const int r = end - k;
            frontT.front(f, odd);
            frontT.front(f + 1, even);
            mirrorT.mirror(r, odd);
            mirrorT.mirror(r - 1, even);
            leap(odd, even, a.ss, a.ss3);
        }
        const int count = end - K;
        twistedRun<W>(z + 2 * (K + 1), q, frontT, count);
        twistedRun<W>(z + 2 * (m - end), q, mirrorT, count);
    }

    {
        TwistedTable one;
        one.front(0, odd);
        twistedRun<1>(z + 2 * (half - 1), q, one, 1);
        one.mirror(0, odd);
        twistedRun<1>(z + 2 * (half + 1), q, one, 1);
    }

    // Centre m/2: one more step of v1 gives (r1, r2) ~ e^(i pi/8).
    {
        const Cs r{even.v1.re - a.ss * odd.v1.im, even.v1.im + a.ss * odd.v1.re};
        const Cs rs{r.im, r.re};
        const Cs rn{-r.re, -r.im};
        double t1[2], t2[2], t3[2], t4[2];
        put(t1, 0, r);
        put(t2, 0, rs);
        put(t3, 0, rs);
        put(t4, 0, rn);
        twistedPoints<1>(z + 2 * half, q, t1, t2, t3, t4);
    }
}

template <int W>
void quarterStageW(int n, double* block) {
    plainStage<W, false>(n, block);
}
template <int W>
void quarterStageConjW(int n, double* block) {
    plainStage<W, true>(n, block);
}

}  // namespace
}  // namespace oskelon::simd
