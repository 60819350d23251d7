// The fixed 16- and 8-point kernels of a leaves block (64 or 128 doubles after its stage) on
// 4- and 8-lane vectors, for the vector paths.
//
// Included by the translation units of the vector paths (stages_avx2.cpp, stages_avx512.cpp);
// internal linkage throughout, like the stage template, and independent of it.
//
// Equivalence with the scalar kernels (fixed_kernels.cpp), bit for bit:
// - Every lane holds one butterfly of one kernel and performs exactly the operations the scalar
//   code performs for it: the same sums and products of the same operands, in the same order.
//   Butterflies of a step do not share inputs or outputs, so they may run side by side.
// - Where lanes need different operations (no factor, eps, a full complex product; a plain or a
//   twisted butterfly), each variant is computed on the whole vector with its own exact
//   operations and the lanes are then selected. No lane is ever multiplied by 1 to make the
//   operations agree: that would change the sign of zero results.
// - Shuffles only move values; negative constants are the same doubles the scalar code uses.
//
// A vector is made of 256-bit halves, each working on its own kernels:
// - 16 points, one kernel per half. First step: lane i of a half holds the butterfly of points
//   (j, j+4, j+8, j+12) with j = 0, 2, 1, 3 for i = 0..3 (the order in which unpacking two loads
//   of consecutive points leaves them). A 4x4 transpose then gives quarter Q in lane Q, and the
//   second step runs the four-point transforms of the quarters side by side.
// - 8 points, two kernels X, Y per half. First step: lanes (X, 0), (Y, 0), (X, 1), (Y, 1) for the
//   butterflies of points (j, j+2, j+4, j+6); second step: quarters 0 and 1 in one vector pair,
//   2 and 3 in another, lanes (X, Q), (Y, Q), (X, Q+1), (Y, Q+1).
#pragma once

#include <immintrin.h>

#include <cstring>
#include <type_traits>
#include <utility>

#include "fft/contract.h"
#include "fft/fft_arith.h"
#include "fft/split_complex.h"

namespace oskelon::leaves {
namespace {

using detail::kCos16;
using detail::kCos3_16;
using detail::kCos8;
using detail::kNegSqrtHalf;
using detail::kSin16;
using detail::kSin3_16;
using detail::kSin8;
using detail::kSqrtHalf;

using split::V4;
using split::V8;

template <class V>
inline constexpr int kWidth = static_cast<int>(sizeof(V) / sizeof(double));

template <class V>
using IndexOf = split::LaneIndex<kWidth<V>>;

// Complex values as separate real and imaginary parts, one point per lane, and their helpers.
using split::add;
using split::C;
using split::Cs;
using split::minusI;
using split::mul;
using split::plusI;
using split::shuffle;
using split::sub;

// A vector whose lane i is f(i).
template <class T, class F, std::size_t... I>
constexpr T lanesOf(F f, std::index_sequence<I...>) {
    return T{f(static_cast<int>(I))...};
}
template <class T, class F>
constexpr T lanesOf(F f) {
    return lanesOf<T>(f, std::make_index_sequence<sizeof(T) / 8>{});
}

// Lane i from b where bit i of Bits is set, else from a.
template <unsigned Bits, class V>
inline V pick(V a, V b) {
    constexpr unsigned all = (1u << kWidth<V>)-1;
    if constexpr ((Bits & all) == 0) {
        return a;
    } else if constexpr ((Bits & all) == all) {
        return b;
    } else {
        constexpr IndexOf<V> index = [] {
            IndexOf<V> lane{};
            for (int i = 0; i < kWidth<V>; ++i) lane[i] = (Bits >> i & 1) ? i + kWidth<V> : i;
            return lane;
        }();
        return shuffle<index>(a, b);
    }
}
template <unsigned Bits, class V>
inline C<V> pick(C<V> a, C<V> b) {
    return {pick<Bits>(a.re, b.re), pick<Bits>(a.im, b.im)};
}

// The lanes of a vector where pred(lane within its half, half) holds.
template <class V, class P>
constexpr unsigned laneBits(P pred) {
    unsigned bits = 0;
    for (int i = 0; i < kWidth<V>; ++i) {
        if (pred(i % 4, i / 4)) bits |= 1u << i;
    }
    return bits;
}

// ---------------------------------------------------------------------------------------------
// Shuffles within each 256-bit half.

// (a0, b0, a2, b2) and (a1, b1, a3, b3).
template <class V>
inline V unpackLo(V a, V b) {
    if constexpr (kWidth<V> == 4) {
        return __builtin_shufflevector(a, b, 0, 4, 2, 6);
    } else {
        return __builtin_shufflevector(a, b, 0, 8, 2, 10, 4, 12, 6, 14);
    }
}
template <class V>
inline V unpackHi(V a, V b) {
    if constexpr (kWidth<V> == 4) {
        return __builtin_shufflevector(a, b, 1, 5, 3, 7);
    } else {
        return __builtin_shufflevector(a, b, 1, 9, 3, 11, 5, 13, 7, 15);
    }
}

// (a0, a1, b0, b1) and (a2, a3, b2, b3).
template <class V>
inline V pairLo(V a, V b) {
    if constexpr (kWidth<V> == 4) {
        return __builtin_shufflevector(a, b, 0, 1, 4, 5);
    } else {
        return __builtin_shufflevector(a, b, 0, 1, 8, 9, 4, 5, 12, 13);
    }
}
template <class V>
inline V pairHi(V a, V b) {
    if constexpr (kWidth<V> == 4) {
        return __builtin_shufflevector(a, b, 2, 3, 6, 7);
    } else {
        return __builtin_shufflevector(a, b, 2, 3, 10, 11, 6, 7, 14, 15);
    }
}

template <class V>
inline C<V> pairLo(C<V> a, C<V> b) {
    return {pairLo(a.re, b.re), pairLo(a.im, b.im)};
}
template <class V>
inline C<V> pairHi(C<V> a, C<V> b) {
    return {pairHi(a.re, b.re), pairHi(a.im, b.im)};
}

template <class V>
inline void unpackLoHi(C<V> v, V& lo, V& hi) {
    lo = unpackLo(v.re, v.im);
    hi = unpackHi(v.re, v.im);
}

// Half h of the vector from / to the four doubles at p[h] + offset.
template <class V>
inline V loadHalves(double* const* p, int offset) {
    if constexpr (kWidth<V> == 4) {
        V v;
        std::memcpy(&v, p[0] + offset, sizeof v);
        return v;
    } else {
#ifdef __AVX512F__
        // Merging broadcasts: the plain insert of g++ 12 warns about its undefined pass-through.
        const __m512d lo = _mm512_maskz_broadcast_f64x4(0x0f, _mm256_loadu_pd(p[0] + offset));
        return _mm512_mask_broadcast_f64x4(lo, 0xf0, _mm256_loadu_pd(p[1] + offset));
#endif
    }
}
template <class V>
inline void storeHalves(double* const* p, int offset, V v) {
    if constexpr (kWidth<V> == 4) {
        std::memcpy(p[0] + offset, &v, sizeof v);
    } else {
#ifdef __AVX512F__
        // Zero-masking extracts that keep every lane take no pass-through operand (the plain
        // extract's undefined one makes g++ 12 warn).
        _mm256_storeu_pd(p[0] + offset, _mm512_maskz_extractf64x4_pd(0xff, v, 0));
        _mm256_storeu_pd(p[1] + offset, _mm512_maskz_extractf64x4_pd(0xff, v, 1));
#endif
    }
}

// Points 4r .. 4r+3 of the kernel at p[h] into half h: real parts of points 0, 2, 1, 3 in
// `re`, imaginary parts in `im`.
template <class V>
inline C<V> loadRow16(double* const* p, int r) {
    if constexpr (kWidth<V> == 4) {
        const V m0 = loadHalves<V>(p, 8 * r), m1 = loadHalves<V>(p, 8 * r + 4);
        return {unpackLo(m0, m1), unpackHi(m0, m1)};
    } else {
        V mx, my;
        std::memcpy(&mx, p[0] + 8 * r, sizeof mx);
        std::memcpy(&my, p[1] + 8 * r, sizeof my);
        return {__builtin_shufflevector(mx, my, 0, 4, 2, 6, 8, 12, 10, 14),
                __builtin_shufflevector(mx, my, 1, 5, 3, 7, 9, 13, 11, 15)};
    }
}

// ---------------------------------------------------------------------------------------------
// The remaining helpers and butterflies of fft_arith.h on vectors.

template <class V>
inline C<V> mulEps(C<V> z) {
    return {kSqrtHalf * (z.re - z.im), kSqrtHalf * (z.re + z.im)};
}
template <class V>
inline C<V> mulEps3(C<V> z) {
    return {kNegSqrtHalf * (z.re + z.im), kSqrtHalf * (z.re - z.im)};
}

template <class V>
struct Quad {
    C<V> v0, v1, v2, v3;
};

template <class V>
inline Quad<V> plain4(C<V> a, C<V> b, C<V> c, C<V> d) {
    const C<V> g = add(a, c), h = add(b, d), e = sub(a, c), f = sub(b, d);
    return {add(g, h), sub(g, h), plusI(e, f), minusI(e, f)};
}

// twisted4 without factors (1, eps, 1, eps^3).
template <class V>
inline Quad<V> twisted4(C<V> a, C<V> b, C<V> c, C<V> d) {
    const C<V> u = plusI(a, c), v = mulEps(plusI(b, d));
    const C<V> x = minusI(a, c), y = mulEps3(minusI(b, d));
    return {add(u, v), sub(u, v), add(x, y), sub(x, y)};
}

// i*z: exact (an exchange and a sign flip). a + i*z and a - i*z round exactly like plusI(a, z)
// and minusI(a, z), since x - y is by definition x + (-y).
template <class V>
inline C<V> timesI(C<V> z) {
    return {-z.im, z.re};
}

// Lane by lane plain4 or twisted4 (without factors): twisted where Twisted has the lane's bit.
// Both share their shape: with c', d' = c, d (plain) or i*c, i*d (twisted), g = a+c', h = b+d',
// e = a-c', f = b-d', the outputs are g+h', g-h', e+f', e-f' with h' = h or eps*h and
// f' = i*f or eps^3*f. The operations of each lane are exactly those of its own butterfly.
template <unsigned Twisted, class V>
inline Quad<V> plainOrTwisted4(C<V> a, C<V> b, C<V> c, C<V> d) {
    constexpr unsigned all = (1u << kWidth<V>)-1;
    if constexpr ((Twisted & all) == 0) {
        return plain4(a, b, c, d);
    } else if constexpr ((Twisted & all) == all) {
        return twisted4(a, b, c, d);
    } else {
        const C<V> cc = pick<Twisted>(c, timesI(c)), dd = pick<Twisted>(d, timesI(d));
        const C<V> g = add(a, cc), h = add(b, dd), e = sub(a, cc), f = sub(b, dd);
        const C<V> hh = pick<Twisted>(h, mulEps(h)), ff = pick<Twisted>(timesI(f), mulEps3(f));
        return {add(g, hh), sub(g, hh), add(e, ff), sub(e, ff)};
    }
}

// A complex factor per lane, from the lane's position in its half and the half.
template <class V, class F>
inline C<V> factors(F f) {
    return {lanesOf<V>([f](int i) { return f(i % 4, i / 4).re; }),
            lanesOf<V>([f](int i) { return f(i % 4, i / 4).im; })};
}

constexpr Cs kOne{1.0, 0.0};  // fills lanes whose product is not used

// ---------------------------------------------------------------------------------------------
// 16-point kernels: kernel h (one per half) at z[h], twisted if bit h of Twisted is set.

constexpr int kPointOfLane16[4] = {0, 2, 1, 3};

constexpr int kTwistedExp1[4] = {0, 1, 2, 3}, kTwistedExp2[4] = {0, 5, 6, 7};
constexpr int kTwistedExp3[4] = {0, 3, 6, 9}, kTwistedExp4[4] = {0, 15, 18, 21};

// a^k with a = e^(i pi/16), for the exponents the twisted kernel uses.
constexpr Cs twiddle16(int k) {
    switch (k) {
        case 1:
            return Cs{kCos16, kSin16};
        case 2:
            return Cs{kCos8, kSin8};
        case 3:
            return Cs{kCos3_16, kSin3_16};
        case 5:
            return Cs{kSin3_16, kCos3_16};
        case 6:
            return Cs{kSin8, kCos8};
        case 7:
            return Cs{kSin16, kCos16};
        case 9:
            return Cs{-kSin16, kCos16};
        case 15:
            return Cs{-kCos16, kSin16};
        case 18:
            return Cs{-kCos8, -kSin8};
        case 21:
            return Cs{-kSin3_16, -kCos3_16};
        default:
            return kOne;
    }
}

constexpr bool hasBit(unsigned bits, int k) {
    return (bits >> k & 1) != 0;
}

template <class V, unsigned Twisted>
void kernels16(double* const* kernel) {
    double* z[kWidth<V> / 4];  // local, so that the stores cannot alias it
    for (int h = 0; h < kWidth<V> / 4; ++h) z[h] = kernel[h];

    // Rows r = 0..3: points 4r .. 4r+3 (the r-th input of each first-step butterfly).
    C<V> row[4];
    for (int r = 0; r < 4; ++r) row[r] = loadRow16<V>(z, r);

    // First step. Plain kernel, point j: plain4, then w^j on s.v2 and w^(3j) on s.v3 with
    // w = e^(i pi/8), i.e. nothing for j = 0, eps and eps^3 for j = 2, full products otherwise.
    // Twisted kernel, point j: twisted4 with a^j, a^(j+4), a^(3j), a^(3j+12), a = e^(i pi/16);
    // for j = 0 its factor-free form.
    constexpr unsigned plainLanes = laneBits<V>([](int, int h) { return !hasBit(Twisted, h); });
    constexpr unsigned twistedLanes = laneBits<V>([](int, int h) { return hasBit(Twisted, h); });
    Quad<V> s{};
    if constexpr (plainLanes != 0) {
        constexpr unsigned eps = laneBits<V>([](int i, int) { return kPointOfLane16[i] == 2; });
        constexpr unsigned full = laneBits<V>([](int i, int) { return kPointOfLane16[i] & 1; });
        const C<V> w1a = factors<V>([](int i, int) {
            const int j = kPointOfLane16[i];
            return j == 1 ? Cs{kCos8, kSin8} : j == 3 ? Cs{kSin8, kCos8} : kOne;  // w^1, w^3
        });
        const C<V> w3a = factors<V>([](int i, int) {
            const int j = kPointOfLane16[i];
            return j == 1 ? Cs{kSin8, kCos8} : j == 3 ? Cs{-kCos8, -kSin8} : kOne;  // w^3, w^9
        });
        Quad<V> p = plain4(row[0], row[1], row[2], row[3]);
        p.v2 = pick<full>(pick<eps>(p.v2, mulEps(p.v2)), mul(w1a, p.v2));
        p.v3 = pick<full>(pick<eps>(p.v3, mulEps3(p.v3)), mul(w3a, p.v3));
        s = p;
    }
    if constexpr (twistedLanes != 0) {
        constexpr unsigned first = laneBits<V>([](int i, int) { return kPointOfLane16[i] == 0; });
        const C<V> f1 =
            factors<V>([](int i, int) { return twiddle16(kTwistedExp1[kPointOfLane16[i]]); });
        const C<V> f2 =
            factors<V>([](int i, int) { return twiddle16(kTwistedExp2[kPointOfLane16[i]]); });
        const C<V> f3 =
            factors<V>([](int i, int) { return twiddle16(kTwistedExp3[kPointOfLane16[i]]); });
        const C<V> f4 =
            factors<V>([](int i, int) { return twiddle16(kTwistedExp4[kPointOfLane16[i]]); });
        const C<V> pu = plusI(row[0], row[2]), pv = plusI(row[1], row[3]);
        const C<V> px = minusI(row[0], row[2]), py = minusI(row[1], row[3]);
        const C<V> u = pick<first>(mul(f1, pu), pu), v = pick<first>(mul(f2, pv), mulEps(pv));
        const C<V> x = pick<first>(mul(f3, px), px), y = pick<first>(mul(f4, py), mulEps3(py));
        const Quad<V> t{add(u, v), sub(u, v), add(x, y), sub(x, y)};
        s = {pick<twistedLanes>(s.v0, t.v0), pick<twistedLanes>(s.v1, t.v1),
             pick<twistedLanes>(s.v2, t.v2), pick<twistedLanes>(s.v3, t.v3)};
    }

    // Transpose: in[j] holds s_j.vQ in lane Q.
    C<V> in[4];
    {
        const auto transpose = [&in](V q0, V q1, V q2, V q3, V C<V>::*part) {
            const V t0 = unpackLo(q0, q1), t1 = unpackHi(q0, q1);
            const V t2 = unpackLo(q2, q3), t3 = unpackHi(q2, q3);
            in[0].*part = pairLo(t0, t2);
            in[1].*part = pairHi(t0, t2);
            in[2].*part = pairLo(t1, t3);
            in[3].*part = pairHi(t1, t3);
        };
        transpose(s.v0.re, s.v1.re, s.v2.re, s.v3.re, &C<V>::re);
        transpose(s.v0.im, s.v1.im, s.v2.im, s.v3.im, &C<V>::im);
    }

    // Second step: quarter 1 is twisted, and quarter 3 too in a twisted kernel.
    constexpr unsigned twistedQuarters =
        laneBits<V>([](int q, int h) { return q == 1 || (q == 3 && hasBit(Twisted, h)); });
    const Quad<V> r = plainOrTwisted4<twistedQuarters>(in[0], in[1], in[2], in[3]);

    // r.vk lane Q is point 4Q+k. Interleave and regroup into pairs of consecutive points.
    V lo0, hi0, lo1, hi1, lo2, hi2, lo3, hi3;
    unpackLoHi(r.v0, lo0, hi0);  // points 0, 8 | 4, 12
    unpackLoHi(r.v1, lo1, hi1);  // points 1, 9 | 5, 13
    unpackLoHi(r.v2, lo2, hi2);
    unpackLoHi(r.v3, lo3, hi3);
    storeHalves(z, 0, pairLo(lo0, lo1));
    storeHalves(z, 4, pairLo(lo2, lo3));
    storeHalves(z, 8, pairLo(hi0, hi1));
    storeHalves(z, 12, pairLo(hi2, hi3));
    storeHalves(z, 16, pairHi(lo0, lo1));
    storeHalves(z, 20, pairHi(lo2, lo3));
    storeHalves(z, 24, pairHi(hi0, hi1));
    storeHalves(z, 28, pairHi(hi2, hi3));
}

// ---------------------------------------------------------------------------------------------
// 8-point kernels: kernels X = z[2h] and Y = z[2h+1] in half h; bit k of Twisted marks z[k] as
// twisted.

// plain2 (a + b, a - b) or, in the lanes of Twisted, twisted2 (a + i*b, a - i*b; see timesI)
// into points 2Q, 2Q+1 of kernels X and Y, for the quarter pair whose first quarter Q has its
// points at offset.
template <unsigned Twisted, class V>
inline void secondStep8(double* const* x, double* const* y, int offset, C<V> a, C<V> b) {
    const C<V> bb = pick<Twisted>(b, timesI(b));
    V lf, hf, ls, hs;
    unpackLoHi(add(a, bb), lf, hf);  // X: points 2Q, 2Q+2 | Y: the same
    unpackLoHi(sub(a, bb), ls, hs);  // X: points 2Q+1, 2Q+3 | Y: the same
    storeHalves(x, offset, pairLo(lf, ls));
    storeHalves(x, offset + 4, pairHi(lf, ls));
    storeHalves(y, offset, pairLo(hf, hs));
    storeHalves(y, offset + 4, pairHi(hf, hs));
}

template <class V, unsigned Twisted>
void kernels8(double* const* kernel) {
    // Lane i of half h: kernel 2h + (i & 1), point or pair i >> 1.
    double* x[kWidth<V> / 4];
    double* y[kWidth<V> / 4];
    for (int h = 0; h < kWidth<V> / 4; ++h) {
        x[h] = kernel[2 * h];
        y[h] = kernel[2 * h + 1];
    }

    // Rows r = 0..3: points 2r, 2r+1 (the r-th input of each first-step butterfly).
    C<V> row[4];
    for (int r = 0; r < 4; ++r) {
        const V mx = loadHalves<V>(x, 4 * r), my = loadHalves<V>(y, 4 * r);
        row[r] = {unpackLo(mx, my), unpackHi(mx, my)};
    }

    // First step. Plain, point j: plain4, then eps and eps^3 on s.v2 and s.v3 for j = 1.
    // Twisted: twisted4 without factors for j = 0, with a, a^3, a^3, a^9 (a = e^(i pi/8)) for
    // j = 1.
    constexpr unsigned plainLanes =
        laneBits<V>([](int i, int h) { return !hasBit(Twisted, 2 * h + (i & 1)); });
    constexpr unsigned twistedLanes =
        laneBits<V>([](int i, int h) { return hasBit(Twisted, 2 * h + (i & 1)); });
    constexpr unsigned oddPoint = laneBits<V>([](int i, int) { return i >= 2; });
    Quad<V> s{};
    if constexpr (plainLanes != 0) {
        Quad<V> p = plain4(row[0], row[1], row[2], row[3]);
        p.v2 = pick<oddPoint>(p.v2, mulEps(p.v2));
        p.v3 = pick<oddPoint>(p.v3, mulEps3(p.v3));
        s = p;
    }
    if constexpr (twistedLanes != 0) {
        const Cs a1{kCos8, kSin8}, a3{kSin8, kCos8}, a9{-kCos8, -kSin8};
        const C<V> f1 = factors<V>([a1](int i, int) { return i >= 2 ? a1 : kOne; });
        const C<V> f23 = factors<V>([a3](int i, int) { return i >= 2 ? a3 : kOne; });
        const C<V> f4 = factors<V>([a9](int i, int) { return i >= 2 ? a9 : kOne; });
        const C<V> pu = plusI(row[0], row[2]), pv = plusI(row[1], row[3]);
        const C<V> px = minusI(row[0], row[2]), py = minusI(row[1], row[3]);
        const C<V> u = pick<oddPoint>(pu, mul(f1, pu)),
                   v = pick<oddPoint>(mulEps(pv), mul(f23, pv));
        const C<V> x3 = pick<oddPoint>(px, mul(f23, px)),
                   y9 = pick<oddPoint>(mulEps3(py), mul(f4, py));
        const Quad<V> t{add(u, v), sub(u, v), add(x3, y9), sub(x3, y9)};
        s = {pick<twistedLanes>(s.v0, t.v0), pick<twistedLanes>(s.v1, t.v1),
             pick<twistedLanes>(s.v2, t.v2), pick<twistedLanes>(s.v3, t.v3)};
    }

    // Second step, quarters 0, 1 and 2, 3: a = s_0.vQ, b = s_1.vQ. Quarter 1 is twisted, and
    // quarter 3 too in a twisted kernel.
    secondStep8<oddPoint>(x, y, 0, pairLo(s.v0, s.v1), pairHi(s.v0, s.v1));
    secondStep8<oddPoint & twistedLanes>(x, y, 8, pairLo(s.v2, s.v3), pairHi(s.v2, s.v3));
}

// ---------------------------------------------------------------------------------------------
// Leaves blocks: kernels P, T, P, P (plain block) or P, T, P, T (twisted block) of 16 points
// (n = 128) or 8 points (n = 64). Kernels of the same type share a vector where they can.

template <class V, bool TwistedBlock>
void leavesW(int n, double* block) {
    constexpr unsigned lastTwisted = TwistedBlock ? 1u : 0u;
    if (n == 128) {
        if constexpr (kWidth<V> == 8) {
            double* const pp[2] = {block, block + 64};
            double* const tx[2] = {block + 32, block + 96};
            kernels16<V, 0>(pp);
            kernels16<V, 1u | lastTwisted << 1>(tx);
        } else {
            double* const k0[1] = {block};
            double* const k1[1] = {block + 32};
            double* const k2[1] = {block + 64};
            double* const k3[1] = {block + 96};
            kernels16<V, 0>(k0);
            kernels16<V, 1>(k1);
            kernels16<V, 0>(k2);
            kernels16<V, lastTwisted>(k3);
        }
    } else {
        if constexpr (kWidth<V> == 8) {
            double* const all[4] = {block, block + 32, block + 16, block + 48};
            kernels8<V, 4u | lastTwisted << 3>(all);
        } else {
            double* const pp[2] = {block, block + 32};
            double* const tx[2] = {block + 16, block + 48};
            kernels8<V, 0>(pp);
            kernels8<V, 1u | lastTwisted << 1>(tx);
        }
    }
}

// The kernels of several leaves blocks grouped by kind, `size` points each (16 or 8): vectors of
// plain kernels only, vectors of twisted kernels only, and at most one vector with the plain and
// twisted kernels left over. A vector of one kind does that kind's butterflies alone; one of
// both kinds does both on every lane and selects (plainOrTwisted4, pick). Every kernel sees its
// own operations either way.
template <class V, int Size, unsigned Twisted>
inline void kernelsOf(double* const* kernel) {
    if constexpr (Size == 16) {
        kernels16<V, Twisted>(kernel);
    } else {
        kernels8<V, Twisted>(kernel);
    }
}

// The one vector of both kinds: its first `plains` kernels plain, the rest twisted.
template <class V, int Size>
inline void mixedKernels(double* const* kernel, int plains) {
    constexpr int per = Size == 16 ? kWidth<V> / 4 : kWidth<V> / 2;
    if constexpr (per >= 2) {
        if (plains == 1) return kernelsOf<V, Size, ((1u << per) - 1) & ~1u>(kernel);
    }
    if constexpr (per >= 4) {
        if (plains == 2) return kernelsOf<V, Size, 0b1100u>(kernel);
        if (plains == 3) return kernelsOf<V, Size, 0b1000u>(kernel);
    }
}

template <class V, int Size>
void kernelsByKind(double* const* plain, int plains, double* const* twisted, int twisteds) {
    constexpr int per = Size == 16 ? kWidth<V> / 4 : kWidth<V> / 2;  // kernels per vector
    constexpr unsigned all = (1u << per) - 1;
    int p = 0, t = 0;
    for (; p + per <= plains; p += per) kernelsOf<V, Size, 0>(plain + p);
    for (; t + per <= twisteds; t += per) kernelsOf<V, Size, all>(twisted + t);
    if (p == plains && t == twisteds) return;
    // Kernels come in whole vectors in all: the rest of one kind fills the rest of the other's.
    OSKELON_ASSERT(plains - p + twisteds - t == per);
    double* rest[per];
    int r = 0;
    while (p < plains && r < per) rest[r++] = plain[p++];
    const int restPlains = r;
    while (t < twisteds && r < per) rest[r++] = twisted[t++];
    mixedKernels<V, Size>(rest, restPlains);
}

template <class V>
void leavesPlainW(int n, double* block) {
    leavesW<V, false>(n, block);
}
template <class V>
void leavesTwistedW(int n, double* block) {
    leavesW<V, true>(n, block);
}

}  // namespace
}  // namespace oskelon::leaves
