// The three first stages written once over a lane count W, for the vector paths.
//
// Included by one translation unit per instruction set (stages_sse2.cpp, stages_avx2.cpp,
// stages_avx512.cpp), each compiled with its own target flags; everything here has internal
// linkage so that no code compiled for a wider instruction set can be shared with another unit.
//
// Equivalence with the scalar reference (stage_kernels.cpp), bit for bit:
// - The twiddle factors come from the same recurrences, seeds and triple-angle formula in the
//   same order. The seeds are computed with the reference's scalar code. The leapfrog steps run
//   in the lanes of a vector, one lane per part of one factor, each lane doing the reference's
//   product and sum on the same operands (see FactorChain).
// - Each point's butterfly is the reference butterfly: the same additions, subtractions and
//   products in the same order, with W points side by side in the lanes of a vector. Points do
//   not share inputs or outputs, so the order in which they are visited does not matter.
// - Negation flips the sign bit (as the scalar code's unary minus does), and a - b is the same
//   operation as a + (-b). No fused multiply-add is formed: the build uses -ffp-contract=off.
// - W complex points are held as a vector of real parts and one of imaginary parts; loading
//   permutes the points within the vector (unpack within 128-bit lanes) and storing undoes the
//   same permutation. The factors are transposed into the same lane order, so every lane sees
//   one point's data and that point's factors.
//
// No table of factors exists, not even per call: the factors of W consecutive front points are
// produced in registers right before their butterflies (and those of the W mirror points, which
// are the same values exchanged, negated and in reverse lane order). Producing the factors is a
// chain of dependent products and sums, one product and one sum per point; interleaving it with
// the butterflies lets the processor overlap the two, and where registers allow, two seed blocks
// are stepped side by side in one chain so that two independent chains are in flight.
#pragma once

#include <cmath>
#include <cstring>
#include <type_traits>

#include "fft/contract.h"
#include "fft/fft_arith.h"
#include "fft/split_complex.h"
#include "fft/stage_factors.h"

namespace oskelon::simd {
namespace {

using detail::kNegSqrtHalf;
using detail::kSqrtHalf;

// ---------------------------------------------------------------------------------------------
// W complex points as split real and imaginary parts.

using split::V2;
using split::V4;
using split::V8;

template <int W>
struct VecType;
template <>
struct VecType<2> {
    using V = V2;
};
template <>
struct VecType<4> {
    using V = V4;
};
template <>
struct VecType<8> {
    using V = V8;
};

template <int W>
struct Pack {
    using V = typename VecType<W>::V;
    using M = split::LaneIndex<W>;

    // lo: real parts (or, storing, the first W doubles); hi: imaginary parts (the next W).
    // Lane i holds point P_W[i] of the W: P_2 = (0 1), P_4 = (0 2 1 3), P_8 = (0 4 1 5 2 6 3 7).
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
        re = split::shuffle<lo()>(a, b);
        im = split::shuffle<hi()>(a, b);
    }
    static void store(double* p, V re, V im) {
        const V a = split::shuffle<lo()>(re, im);
        const V b = split::shuffle<hi()>(re, im);
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

using split::add;
using split::C;
using split::Cs;
using split::minusI;
using split::mul;
using split::plusI;
using split::sub;

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

// ---------------------------------------------------------------------------------------------
// Scalar factor arithmetic, the reference's own (stage_factors.h).

using stage_factors::kSeedInterval;
using stage_factors::leap;
using stage_factors::tripleConj;
using StepAngle = stage_factors::StepAngle<Cs>;
using TwistedFactors = stage_factors::TwistedFactors<Cs>;

// ---------------------------------------------------------------------------------------------
// Factor recurrences in vector lanes.

template <class X>
inline constexpr int kLanes = static_cast<int>(sizeof(X) / sizeof(double));

// Two leapfrogging members of P/2 factor sequences, each member a set of P doubles
// (re0, im0, re1, im1, ...) held in N vectors X. The reference step of one factor,
//     older.re = older.re - sigma * newer.im,   older.im = older.im + sigma * newer.re,
// is done lane by lane as older = older + (-sigma, sigma) * (newer.im, newer.re): the product
// (-sigma)*x is -(sigma*x) exactly and a + (-b) is a - b, so every lane gets the reference's
// bits. With Exchanged, the member with its parts exchanged, (im0, re0, im1, re1, ...), is kept
// alongside and stepped the same way with (sigma, -sigma), so that no shuffle lengthens the
// dependency chain: one step is a product and a sum, as in the scalar code. Without it (where
// registers are few) the exchanged member is shuffled from the other at each step.
template <class X, int P, bool Exchanged>
struct FactorChain {
    using Vec = X;
    static constexpr int N = P / kLanes<X>;
    X even[N], evenX[N], odd[N], oddX[N];
    X sigma[N], sigmaX[N];

    // sig[f]: the sigma of sequence f.
    [[gnu::always_inline]] explicit FactorChain(const double* sig) {
        for (int i = 0; i < N; ++i) {
            sigma[i] = lanes(i, [sig](int p) { return p % 2 ? sig[p / 2] : -sig[p / 2]; });
            sigmaX[i] = lanes(i, [sig](int p) { return p % 2 ? -sig[p / 2] : sig[p / 2]; });
        }
    }

    // Both members from their factors e[f], o[f], f < P/2.
    [[gnu::always_inline]] void set(const Cs* e, const Cs* o) {
        for (int i = 0; i < N; ++i) {
            even[i] = lanes(i, [e](int p) { return p % 2 ? e[p / 2].im : e[p / 2].re; });
            odd[i] = lanes(i, [o](int p) { return p % 2 ? o[p / 2].im : o[p / 2].re; });
            if constexpr (Exchanged) {
                evenX[i] = lanes(i, [e](int p) { return p % 2 ? e[p / 2].re : e[p / 2].im; });
                oddX[i] = lanes(i, [o](int p) { return p % 2 ? o[p / 2].re : o[p / 2].im; });
            }
        }
    }

    // Factor f of the even or the odd member.
    [[gnu::always_inline]] Cs factor(bool ofOdd, int f) const {
        const int i = 2 * f / kLanes<X>, l = 2 * f % kLanes<X>;
        if (ofOdd) return {odd[i][l], odd[i][l + 1]};
        return {even[i][l], even[i][l + 1]};
    }

    // Vector i with lane l set to part(i * lanes + l).
    template <class F>
    [[gnu::always_inline]] static X lanes(int i, F part) {
        if constexpr (kLanes<X> == 2) {
            return X{part(2 * i), part(2 * i + 1)};
        } else if constexpr (kLanes<X> == 4) {
            return X{part(4 * i), part(4 * i + 1), part(4 * i + 2), part(4 * i + 3)};
        } else {
            return X{part(8 * i),     part(8 * i + 1), part(8 * i + 2), part(8 * i + 3),
                     part(8 * i + 4), part(8 * i + 5), part(8 * i + 6), part(8 * i + 7)};
        }
    }

    static X exchanged(X v) {
        if constexpr (kLanes<X> == 2) {
            return __builtin_shufflevector(v, v, 1, 0);
        } else if constexpr (kLanes<X> == 4) {
            return __builtin_shufflevector(v, v, 1, 0, 3, 2);
        } else {
            return __builtin_shufflevector(v, v, 1, 0, 3, 2, 5, 4, 7, 6);
        }
    }

    void leapEven() {
        for (int i = 0; i < N; ++i) {
            if constexpr (Exchanged) {
                even[i] = even[i] + sigma[i] * oddX[i];
                evenX[i] = evenX[i] + sigmaX[i] * odd[i];
            } else {
                even[i] = even[i] + sigma[i] * exchanged(odd[i]);
            }
        }
    }
    void leapOdd() {
        for (int i = 0; i < N; ++i) {
            if constexpr (Exchanged) {
                odd[i] = odd[i] + sigma[i] * evenX[i];
                oddX[i] = oddX[i] + sigmaX[i] * even[i];
            } else {
                odd[i] = odd[i] + sigma[i] * exchanged(even[i]);
            }
        }
    }
};

// The factor chains on a path of W lanes, with 4 or 8 doubles per member. On two lanes (16
// registers of two doubles) the exchanged members do not pay for the registers they take.
template <int W>
struct Chains {
    using X4 = V4;
    using X8 = V8;
    static constexpr bool kExchanged = true;
};
template <>
struct Chains<4> {
    using X4 = V4;
    using X8 = V4;
    static constexpr bool kExchanged = true;
};
template <>
struct Chains<2> {
    using X4 = V2;
    using X8 = V2;
    static constexpr bool kExchanged = false;
};
template <int W, int P>
using ChainOf =
    FactorChain<std::conditional_t<P == 4, typename Chains<W>::X4, typename Chains<W>::X8>, P,
                Chains<W>::kExchanged>;

// The members of W consecutive points (4 doubles each, s[j] for point j) as 4 vectors of W
// lanes, out[c] holding part c of every point in the lane order of Pack<W>.
template <int W>
inline void transposeFactors(const V4* s, typename Pack<W>::V* out) {
    if constexpr (W == 2) {
        out[0] = __builtin_shufflevector(s[0], s[1], 0, 4);
        out[1] = __builtin_shufflevector(s[0], s[1], 1, 5);
        out[2] = __builtin_shufflevector(s[0], s[1], 2, 6);
        out[3] = __builtin_shufflevector(s[0], s[1], 3, 7);
    } else if constexpr (W == 4) {
        // Lane order (0 2 1 3).
        const V4 a = __builtin_shufflevector(s[0], s[2], 0, 4, 2, 6);
        const V4 b = __builtin_shufflevector(s[0], s[2], 1, 5, 3, 7);
        const V4 c = __builtin_shufflevector(s[1], s[3], 0, 4, 2, 6);
        const V4 d = __builtin_shufflevector(s[1], s[3], 1, 5, 3, 7);
        out[0] = __builtin_shufflevector(a, c, 0, 1, 4, 5);
        out[1] = __builtin_shufflevector(b, d, 0, 1, 4, 5);
        out[2] = __builtin_shufflevector(a, c, 2, 3, 6, 7);
        out[3] = __builtin_shufflevector(b, d, 2, 3, 6, 7);
    } else {
        // Lane order (0 4 1 5 2 6 3 7).
        const V8 z0 = __builtin_shufflevector(s[0], s[1], 0, 1, 2, 3, 4, 5, 6, 7);
        const V8 z1 = __builtin_shufflevector(s[4], s[5], 0, 1, 2, 3, 4, 5, 6, 7);
        const V8 z2 = __builtin_shufflevector(s[2], s[3], 0, 1, 2, 3, 4, 5, 6, 7);
        const V8 z3 = __builtin_shufflevector(s[6], s[7], 0, 1, 2, 3, 4, 5, 6, 7);
        const V8 a = __builtin_shufflevector(z0, z1, 0, 8, 2, 10, 4, 12, 6, 14);
        const V8 b = __builtin_shufflevector(z0, z1, 1, 9, 3, 11, 5, 13, 7, 15);
        const V8 c = __builtin_shufflevector(z2, z3, 0, 8, 2, 10, 4, 12, 6, 14);
        const V8 d = __builtin_shufflevector(z2, z3, 1, 9, 3, 11, 5, 13, 7, 15);
        out[0] = __builtin_shufflevector(a, c, 0, 1, 4, 5, 8, 9, 12, 13);
        out[1] = __builtin_shufflevector(b, d, 0, 1, 4, 5, 8, 9, 12, 13);
        out[2] = __builtin_shufflevector(a, c, 2, 3, 6, 7, 10, 11, 14, 15);
        out[3] = __builtin_shufflevector(b, d, 2, 3, 6, 7, 10, 11, 14, 15);
    }
}

// The same for 8 points of 8 doubles each, in lane order (0 4 1 5 2 6 3 7).
inline void transposeFactors8x8(const V8* s, V8* out) {
    V8 lo[4], hi[4];  // points (j, j+4) side by side within each 128-bit lane
    for (int j = 0; j < 4; ++j) {
        lo[j] = __builtin_shufflevector(s[j], s[j + 4], 0, 8, 2, 10, 4, 12, 6, 14);
        hi[j] = __builtin_shufflevector(s[j], s[j + 4], 1, 9, 3, 11, 5, 13, 7, 15);
    }
    for (int h = 0; h < 2; ++h) {
        const V8* u = h == 0 ? lo : hi;  // 128-bit lanes: parts h, h+2, h+4, h+6
        const V8 x0 = __builtin_shufflevector(u[0], u[1], 0, 1, 4, 5, 8, 9, 12, 13);
        const V8 x1 = __builtin_shufflevector(u[0], u[1], 2, 3, 6, 7, 10, 11, 14, 15);
        const V8 y0 = __builtin_shufflevector(u[2], u[3], 0, 1, 4, 5, 8, 9, 12, 13);
        const V8 y1 = __builtin_shufflevector(u[2], u[3], 2, 3, 6, 7, 10, 11, 14, 15);
        out[h] = __builtin_shufflevector(x0, y0, 0, 1, 4, 5, 8, 9, 12, 13);
        out[h + 4] = __builtin_shufflevector(x0, y0, 2, 3, 6, 7, 10, 11, 14, 15);
        out[h + 2] = __builtin_shufflevector(x1, y1, 0, 1, 4, 5, 8, 9, 12, 13);
        out[h + 6] = __builtin_shufflevector(x1, y1, 2, 3, 6, 7, 10, 11, 14, 15);
    }
}

// The members of W consecutive points, N vectors X each (s[j*N + i]: vector i of point j), as
// N * kLanes<X> vectors of W lanes: out[c] holds part c of every point, in the lane order of
// Pack<W>.
template <int W, class X, int N>
inline void transposeParts(const X* s, typename Pack<W>::V* out) {
    if constexpr (kLanes<X> == 2) {
        static_assert(W == 2);
        for (int i = 0; i < N; ++i) {
            out[2 * i] = __builtin_shufflevector(s[i], s[N + i], 0, 2);
            out[2 * i + 1] = __builtin_shufflevector(s[i], s[N + i], 1, 3);
        }
    } else if constexpr (kLanes<X> == 4) {
        for (int i = 0; i < N; ++i) {
            V4 t[W];
            for (int j = 0; j < W; ++j) t[j] = s[j * N + i];
            transposeFactors<W>(t, out + 4 * i);
        }
    } else {
        for (int i = 0; i < N; ++i) {
            if constexpr (W == 8) {
                V8 t[8];
                for (int j = 0; j < 8; ++j) t[j] = s[j * N + i];
                transposeFactors8x8(t, out + 8 * i);
            } else {
                V4 lo[W], hi[W];
                for (int j = 0; j < W; ++j) {
                    lo[j] = __builtin_shufflevector(s[j * N + i], s[j * N + i], 0, 1, 2, 3);
                    hi[j] = __builtin_shufflevector(s[j * N + i], s[j * N + i], 4, 5, 6, 7);
                }
                transposeFactors<W>(lo, out + 8 * i);
                transposeFactors<W>(hi, out + 8 * i + 4);
            }
        }
    }
}

// The factors of the next W points (the chain's odd member at the first of them on entry, at
// the one after the last on exit), transposed.
template <int W, class Chain>
inline void nextFactors(Chain& ch, typename Pack<W>::V* t) {
    using X = typename Chain::Vec;
    constexpr int N = Chain::N;
    X s[W * N];
    for (int j = 0; j < W; j += 2) {
        ch.leapEven();
        for (int i = 0; i < N; ++i) {
            s[j * N + i] = ch.odd[i];
            s[(j + 1) * N + i] = ch.even[i];
        }
        ch.leapOdd();
    }
    transposeParts<W, X, N>(s, t);
}

// The lanes in reverse order. In the lane order of Pack<W> the point of lane W-1-i is W-1 minus
// the point of lane i, so this turns the factors of front points k .. k+W-1 into those of the
// mirror run m-k-W+1 .. m-k.
template <class V>
inline V reversed(V v) {
    if constexpr (sizeof(V) == 16) {
        return __builtin_shufflevector(v, v, 1, 0);
    } else if constexpr (sizeof(V) == 32) {
        return __builtin_shufflevector(v, v, 3, 2, 1, 0);
    } else {
        return __builtin_shufflevector(v, v, 7, 6, 5, 4, 3, 2, 1, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Plain stage

// W points at p (quarter stride q doubles) with factors f1 = w^k, f3 = w^(3k): the reference
// plainPoint.
template <int W, bool Conj, class V>
inline void plainPoints(double* p, int q, C<V> f1, C<V> f3) {
    const C<V> a = ldIn<W, Conj>(p), b = ldIn<W, Conj>(p + q);
    const C<V> c = ldIn<W, Conj>(p + 2 * q), d = ldIn<W, Conj>(p + 3 * q);
    const C<V> g = add(a, c), h = add(b, d), e = sub(a, c), f = sub(b, d);
    st<W>(p, add(g, h));
    st<W>(p + q, sub(g, h));
    st<W>(p + 2 * q, mul(f1, plusI(e, f)));
    st<W>(p + 3 * q, mul(f3, minusI(e, f)));
}

// Front points k .. k+W-1 and their mirrors m-k-W+1 .. m-k with the factors t = (w.re, w.im,
// u.re, u.im) of w = w^k, u = conj(w^(3k)).
template <int W, bool Conj, class V>
inline void plainFrontAndMirror(double* z, int q, int m, int k, const V* t) {
    // Front: w and conj(u); mirror m-k: (w.im, w.re) and (u.im, -u.re).
    plainPoints<W, Conj>(z + 2 * k, q, C<V>{t[0], t[1]}, C<V>{t[2], -t[3]});
    const V wr = reversed(t[0]), wi = reversed(t[1]), ur = reversed(t[2]), ui = reversed(t[3]);
    plainPoints<W, Conj>(z + 2 * (m - k - W + 1), q, C<V>{wi, wr}, C<V>{ui, -ur});
}

// The chain carries the sequences (w, u) of B seed blocks, block b at front points 64 b further
// on; runs of W points from k up to end (of the first block), then one run of each narrower
// width that fits. The butterflies are done for the first `used` blocks. Every seed block
// holds an even number of front points (64, or half - 2 - K with half - 2 even).
template <int W, bool Conj, class Chain>
inline int plainRuns(double* z, int q, int m, int k, int end, int used, Chain& ch) {
    using V = typename Pack<W>::V;
    constexpr int blocks = Chain::N * kLanes<typename Chain::Vec> / 4;
    for (; k + W - 1 <= end; k += W) {
        V t[4 * blocks];
        nextFactors<W>(ch, t);
        for (int b = 0; b < blocks; ++b) {
            if (b < used) plainFrontAndMirror<W, Conj>(z, q, m, k + kSeedInterval * b, t + 4 * b);
        }
    }
    if constexpr (W > 2) k = plainRuns<W / 2, Conj>(z, q, m, k, end, used, ch);
    return k;
}

// The two smallest stages (n = 64 and 128, m = 8 and 16 points per quarter) on 4 or 8 lanes: the
// points of each quarter in M / W vectors. Their factors come first, from the reference's leaps
// (v(k) = v(k-2) leapt with v(k-1) for k = 2 .. m/2 - 1, the values the reference's loop reaches,
// and the centre's from one more step). Every lane does the general butterfly and products; point
// 0 (no product, or the products by powers of eps written out) and, in the plain stage, the
// centre (the product by (r, r) written out) take results computed for all lanes with their own
// operations and selected. Vector v holds the points W v + P_W, the lane order of Pack<W>, so
// points 0 and m/2 are lane 0 of their vectors (on 8 lanes and m = 8, lanes 0 and 1 of one).
//
// The plain stage's two factors per point are leapt in scalars and placed lane by lane. The
// twisted stage's four are leapt as two rows of 4 doubles per point, (v1, v2) and (v3, v4), each
// lane doing the reference's product and sum as in FactorChain; the mirror points' and the
// centre's rows are the same values exchanged and negated, and the rows of W points are
// transposed into the lanes. (Rows for the plain stage were slower: 5.5 -> 6.4 us below.)
//
// One call does the stage on `count` blocks of the same length and kind with the same factors, as
// the end of the recursion does for the quarters of its blocks (finish_simd.h).
//
// Per call this replaces a dozen scalar and two-lane pieces. BM_Stage per 2^15 doubles at 64 and
// 128 doubles: avx512 plain 13.8 -> 5.5 and 9.5 -> 6.3 us, twisted 16.7 -> 11.0 -> 10.1 (rows)
// and 14.2 -> 11.0 -> 9.9 us; avx2 plain 11.6 -> 8.0 and 9.6 -> 8.1 us, twisted 19.0 -> 13.5 ->
// 12.5 and 15.5 -> 14.0 -> 11.1 us.

// The factors f[p] of points p = W v .. W v + W - 1 in the lanes of vector v.
template <int W, class Z>
inline C<typename Pack<W>::V> factorLanes(const Z* f) {
    if constexpr (W == 8) {
        return {V8{f[0].re, f[4].re, f[1].re, f[5].re, f[2].re, f[6].re, f[3].re, f[7].re},
                V8{f[0].im, f[4].im, f[1].im, f[5].im, f[2].im, f[6].im, f[3].im, f[7].im}};
    } else {
        static_assert(W == 4);
        return {V4{f[0].re, f[2].re, f[1].re, f[3].re}, V4{f[0].im, f[2].im, f[1].im, f[3].im}};
    }
}

// Lane 0 from zero, lane 1 from centre, the others from rest (8 lanes).
template <class V>
inline V pick01(V zero, V centre, V rest) {
    const V t = __builtin_shufflevector(zero, centre, 0, 9, 2, 3, 4, 5, 6, 7);
    return __builtin_shufflevector(t, rest, 0, 1, 10, 11, 12, 13, 14, 15);
}
// Lane 0 from first, the others from rest.
template <class V>
inline V pick0(V first, V rest) {
    if constexpr (sizeof(V) == sizeof(V8)) {
        return __builtin_shufflevector(first, rest, 0, 9, 10, 11, 12, 13, 14, 15);
    } else {
        return __builtin_shufflevector(first, rest, 0, 5, 6, 7);
    }
}
template <class V>
inline C<V> pick0(C<V> first, C<V> rest) {
    return {pick0(first.re, rest.re), pick0(first.im, rest.im)};
}

// The reference leap on the two complex values of a row: older + (-s0, s0, -s1, s1) * (newer.im,
// newer.re, ...), lane by lane the reference's product and sum (see FactorChain).
template <class X>
inline X leapRow(X older, X newer, X sigma) {
    return older + sigma * FactorChain<X, 4, false>::exchanged(newer);
}
template <class X>
inline X sigmaRow(double s0, double s1) {
    return X{-s0, s0, -s1, s1};  // FactorChain's sigma lanes
}

template <int W, int M, bool Conj>
inline void plainStageSmall(double* const* blocks, int count, const StepAngle& a) {
    static_assert((M == 8 || M == 16) && (W == 4 || W == 8));
    using V = typename Pack<W>::V;
    constexpr int half = M / 2, q = 2 * M;
    Cs w[half], u[half];
    w[0] = {1.0, 0.0}, w[1] = {a.c1, a.s1};
    u[0] = {1.0, 0.0}, u[1] = a.step3;
#pragma GCC unroll 8
    for (int k = 2; k < half; ++k) {
        w[k] = w[k - 2], u[k] = u[k - 2];
        leap(w[k], w[k - 1], a.ss);
        leap(u[k], u[k - 1], a.ss3);
    }
    const V r = V{} + (w[half - 2].re - a.ss * w[half - 1].im), nr = -r;
    // Front point k: w^k and conj(u^k); mirror M - k: (w.im, w.re) and (u.im, -u.re). Points 0
    // and M/2 are replaced below.
    Cs f1[M], f3[M];
    f1[0] = f3[0] = f1[half] = f3[half] = {1.0, 0.0};
#pragma GCC unroll 8
    for (int k = 1; k < half; ++k) {
        f1[k] = w[k], f1[M - k] = {w[k].im, w[k].re};
        f3[k] = {u[k].re, -u[k].im}, f3[M - k] = {u[k].im, -u[k].re};
    }
    C<V> f1v[M / W], f3v[M / W];
#pragma GCC unroll 4
    for (int v = 0; v < M / W; ++v) {
        f1v[v] = factorLanes<W>(f1 + W * v);
        f3v[v] = factorLanes<W>(f3 + W * v);
    }
    for (int b = 0; b < count; ++b) {
#pragma GCC unroll 4
        for (int v = 0; v < M / W; ++v) {
            double* p = blocks[b] + 2 * W * v;
            const C<V> pa = ldIn<W, Conj>(p), pb = ldIn<W, Conj>(p + q);
            const C<V> pc = ldIn<W, Conj>(p + 2 * q), pd = ldIn<W, Conj>(p + 3 * q);
            const C<V> g = add(pa, pc), h = add(pb, pd), e = sub(pa, pc), f = sub(pb, pd);
            const C<V> x = plusI(e, f), y = minusI(e, f);
            const C<V> x1 = mul(f1v[v], x);
            const C<V> y3 = mul(f3v[v], y);
            const C<V> xc{r * (x.re - x.im), r * (x.re + x.im)};
            const C<V> yc{nr * (y.re + y.im), r * (y.re - y.im)};
            C<V> zx, zy;  // the results of the third and fourth quarters
            if constexpr (W == 8 && M == 8) {
                zx = {pick01(x.re, xc.re, x1.re), pick01(x.im, xc.im, x1.im)};
                zy = {pick01(y.re, yc.re, y3.re), pick01(y.im, yc.im, y3.im)};
            } else if (v == 0) {
                zx = pick0(x, x1), zy = pick0(y, y3);
            } else if (W * v == half) {
                zx = pick0(xc, x1), zy = pick0(yc, y3);
            } else {
                zx = x1, zy = y3;
            }
            st<W>(p, add(g, h));
            st<W>(p + q, sub(g, h));
            st<W>(p + 2 * q, zx);
            st<W>(p + 3 * q, zy);
        }
    }
}

// W points at p (quarter stride q doubles) with the twisted factors f[0] .. f[3]; with PointZero
// the first lane takes the results of the factor-free butterfly (factors 1, eps, 1, eps^3).
template <int W, bool PointZero, class V>
inline void twistedWindow(double* p, int q, const C<V>* f) {
    const C<V> pa = ld<W>(p), pb = ld<W>(p + q), pc = ld<W>(p + 2 * q), pd = ld<W>(p + 3 * q);
    const C<V> ac = plusI(pa, pc), bd = plusI(pb, pd);
    const C<V> acm = minusI(pa, pc), bdm = minusI(pb, pd);
    C<V> u = mul(f[0], ac), w = mul(f[1], bd), x = mul(f[2], acm), y = mul(f[3], bdm);
    if constexpr (PointZero) {
        const V sqrtHalf = V{} + kSqrtHalf, negSqrtHalf = V{} + kNegSqrtHalf;
        const C<V> w0{sqrtHalf * (bd.re - bd.im), sqrtHalf * (bd.re + bd.im)};
        const C<V> y0{negSqrtHalf * (bdm.re + bdm.im), sqrtHalf * (bdm.re - bdm.im)};
        u = pick0(ac, u), w = pick0(w0, w), x = pick0(acm, x), y = pick0(y0, y);
    }
    st<W>(p, add(u, w));
    st<W>(p + q, sub(u, w));
    st<W>(p + 2 * q, add(x, y));
    st<W>(p + 3 * q, sub(x, y));
}

template <int W, int M>
inline void twistedStageSmall(double* const* blocks, int count, const StepAngle& a) {
    static_assert((M == 8 || M == 16) && (W == 4 || W == 8));
    using V = typename Pack<W>::V;
    constexpr int half = M / 2, q = 2 * M;
    // lo[k] = (v1, v2) and hi[k] = (v3, v4) of point k.
    V4 lo[half + 1], hi[half + 1];
    for (int k = 0; k < 2; ++k) {
        const TwistedFactors d = TwistedFactors::derive(k == 0 ? Cs{1.0, 0.0} : Cs{a.c1, a.s1});
        lo[k] = V4{d.v1.re, d.v1.im, d.v2.re, d.v2.im};
        hi[k] = V4{d.v3.re, d.v3.im, d.v4.re, d.v4.im};
    }
    const V4 sigmaLo = sigmaRow<V4>(a.ss, a.ss), sigmaHi = sigmaRow<V4>(a.ss3, a.ss3);
#pragma GCC unroll 8
    for (int k = 2; k < half; ++k) {
        lo[k] = leapRow(lo[k - 2], lo[k - 1], sigmaLo);
        hi[k] = leapRow(hi[k - 2], hi[k - 1], sigmaHi);
    }
    // The centre: one more step of v1 gives r = alpha^(m/2).
    lo[half] = leapRow(lo[half - 2], lo[half - 1], sigmaLo);
    // Rows of the points, (f1, f2) then (f3, f4). Front point k: v1, v2, conj(v3), conj(v4);
    // mirror M - k: (v2.im, v2.re), (v1.im, v1.re), (v4.im, -v4.re), (v3.im, -v3.re); the centre:
    // r, (r.im, r.re) twice and -r. Point 0 takes any finite row and is replaced below.
    V4 rows[2 * M];
    rows[0] = lo[0], rows[1] = hi[0];
    rows[2 * half] = __builtin_shufflevector(lo[half], lo[half], 0, 1, 1, 0);
    rows[2 * half + 1] = __builtin_shufflevector(lo[half], -lo[half], 1, 0, 4, 5);
#pragma GCC unroll 8
    for (int k = 1; k < half; ++k) {
        rows[2 * k] = lo[k];
        rows[2 * k + 1] = __builtin_shufflevector(hi[k], -hi[k], 0, 5, 2, 7);
        rows[2 * (M - k)] = __builtin_shufflevector(lo[k], lo[k], 3, 2, 1, 0);
        rows[2 * (M - k) + 1] = __builtin_shufflevector(hi[k], -hi[k], 3, 6, 1, 4);
    }
    V fv[M / W][8];  // f1 .. f4, real and imaginary parts
#pragma GCC unroll 4
    for (int v = 0; v < M / W; ++v) transposeParts<W, V4, 2>(rows + 2 * W * v, fv[v]);
    for (int b = 0; b < count; ++b) {
#pragma GCC unroll 4
        for (int v = 0; v < M / W; ++v) {
            const V* f = fv[v];
            const C<V> factors[4] = {{f[0], f[1]}, {f[2], f[3]}, {f[4], f[5]}, {f[6], f[7]}};
            double* p = blocks[b] + 2 * W * v;
            if (v == 0) {
                twistedWindow<W, true>(p, q, factors);
            } else {
                twistedWindow<W, false>(p, q, factors);
            }
        }
    }
}

// Whole stages of 256 doubles or more (a power of two; m >= 32 points per quarter) on 4 or 8 lanes,
// in whole vectors, on `count` blocks of one kind with the same factors: windows of W points at
// multiples of W. The chain's runs give the factors of points W i + 1 .. W i + W (i < m / (2W)),
// re-seeded at the start of every seed block (every 64 points, a multiple of W), as the reference
// does. Front window i (points W i .. W i + W - 1) takes them shifted by one point, the last of the
// run before in its first lane, and the run's mirrors are the back window m - W i - W .. m - W i -
// 1, as in plainRuns. Point 0 (first lane of front window 0) and the centre m/2 (first lane of the
// last back window) take results computed for all lanes with their own operations and selected, as
// in plainStageSmall. The centre's r is the real part of the chain's factor at m/2: the same leap
// as the reference's r = w(m/2-2).re - ss w(m/2-1).im. The middle points m/2 - 1 and m/2 + 1 are a
// front and a mirror point of the chain like any other. So every point sees the reference's
// operations, and the scalar points and the narrower runs at the end of the last seed block are
// gone.
//
// One block alone: BM_Stage per 2^15 doubles, alternating, medians of 5 (us), 8 lanes: plain 7.2
// -> 5.6 at 256 doubles, 6.0 -> 5.3 at 512, 5.3 -> 5.1 at 1024; twisted 10.9 -> 9.2 at 256, 8.8 ->
// 8.4 at 512, and at 1024 within the noise (7.2 to 7.8 either way). From 2048 doubles one block is
// slower in windows than with two seed blocks stepped side by side (plainStage): plain 4.9 -> 5.7
// at 4096, twisted 6.5 -> 7.8. On 4 lanes one block's plain windows were slower at 512 and 1024
// doubles (7.0 -> 7.4 and 6.5 -> 7.1 us) and gained 3% at 256. Several blocks sharing the windows
// gain on both (stageBlocksW in finish_simd.h).

// The chains' members at the first two points (K and K+1) of the seed block starting at K, as
// the reference seeds them: (w, u) of the plain stage into e[0..1] and o[0..1], (v1 .. v4) of the
// twisted stage into e[0..3] and o[0..3].
[[gnu::always_inline]] inline void plainSeed(const StepAngle& a, int K, Cs* e, Cs* o) {
    if (K == 0) {
        e[0] = {1.0, 0.0};
        e[1] = {1.0, 0.0};
        o[0] = {a.c1, a.s1};
        o[1] = a.step3;
    } else {
        a.seed(K, e[0], o[0]);
        e[1] = tripleConj(e[0]);
        o[1] = tripleConj(o[0]);
    }
}

[[gnu::always_inline]] inline void twistedSeed(const StepAngle& a, int K, Cs* e, Cs* o) {
    Cs e1{1.0, 0.0}, o1{a.c1, a.s1};
    if (K > 0) a.seed(K, e1, o1);
    const TwistedFactors fe = TwistedFactors::derive(e1), fo = TwistedFactors::derive(o1);
    e[0] = fe.v1, e[1] = fe.v2, e[2] = fe.v3, e[3] = fe.v4;
    o[0] = fo.v1, o[1] = fo.v2, o[2] = fo.v3, o[3] = fo.v4;
}

// Lane i of Pack<W> holds point i/2 + (W/2)(i % 2); this is the inverse.
template <int W>
constexpr int laneOfPoint(int t) {
    return 2 * (t % (W / 2)) + t / (W / 2);
}

// Lane for point t (of W consecutive ones) from the lane of point t - 1 in `run`, and for point 0
// from the lane of the last point in `before`: shuffle<kShiftedByOne<W>>(run, before).
template <int W>
constexpr split::LaneIndex<W> kShiftedByOne = [] {
    split::LaneIndex<W> index{};
    for (int i = 0; i < W; ++i) {
        const int t = i / 2 + (W / 2) * (i % 2);
        index[i] = t > 0 ? laneOfPoint<W>(t - 1) : W + laneOfPoint<W>(W - 1);
    }
    return index;
}();

enum class FirstLane { Factor, NoFactor, Centre };

// W points at p (quarter stride q doubles) with factors f1 and f3, the first lane replaced by the
// point 0 results (no products) or the centre's (products by (r, r) written out).
template <int W, bool Conj, FirstLane First, class V>
inline void plainWindow(double* p, int q, C<V> f1, C<V> f3, V r) {
    const C<V> pa = ldIn<W, Conj>(p), pb = ldIn<W, Conj>(p + q);
    const C<V> pc = ldIn<W, Conj>(p + 2 * q), pd = ldIn<W, Conj>(p + 3 * q);
    const C<V> g = add(pa, pc), h = add(pb, pd), e = sub(pa, pc), f = sub(pb, pd);
    const C<V> x = plusI(e, f), y = minusI(e, f);
    C<V> zx = mul(f1, x), zy = mul(f3, y);
    if constexpr (First == FirstLane::NoFactor) {
        zx = pick0(x, zx), zy = pick0(y, zy);
    } else if constexpr (First == FirstLane::Centre) {
        const V nr = -r;
        zx = pick0(C<V>{r * (x.re - x.im), r * (x.re + x.im)}, zx);
        zy = pick0(C<V>{nr * (y.re + y.im), r * (y.re - y.im)}, zy);
    }
    st<W>(p, add(g, h));
    st<W>(p + q, sub(g, h));
    st<W>(p + 2 * q, zx);
    st<W>(p + 3 * q, zy);
}

template <int W, bool Conj>
inline void plainStageWindows(int n, double* const* blocks, int count, const StepAngle& a) {
    using V = typename Pack<W>::V;
    const int m = n >> 3, q = n >> 2, runs = m / (2 * W);
    const double sig[2] = {a.ss, a.ss3};
    ChainOf<W, 4> ch(sig);
    {
        // The first seed block before the loop, not in it: seeded only inside, the chain looks
        // possibly unset to g++ 12 (-Wmaybe-uninitialized).
        Cs e[2], o[2];
        plainSeed(a, 0, e, o);
        ch.set(e, o);
    }
    V before[4] = {};  // the run before (none for the first window, whose first lane is point 0)
    for (int i = 0; i < runs; ++i) {
        if (const int K = W * i; K > 0 && K % kSeedInterval == 0) {
            Cs e[2], o[2];  // the seed block at K
            plainSeed(a, K, e, o);
            ch.set(e, o);
        }
        V t[4];  // w.re, w.im, u.re, u.im of points W i + 1 .. W i + W
        nextFactors<W>(ch, t);
        V f[4];
        for (int c = 0; c < 4; ++c) f[c] = split::shuffle<kShiftedByOne<W>>(t[c], before[c]);
        // Front: w and conj(u); mirror: (w.im, w.re) and (u.im, -u.re).
        const C<V> f1{f[0], f[1]}, f3{f[2], -f[3]};
        const V wr = reversed(t[0]), wi = reversed(t[1]), ur = reversed(t[2]), ui = reversed(t[3]);
        const C<V> m1{wi, wr}, m3{ui, -ur};
        const V r = V{} + t[0][W - 1];  // the centre's, in the last run
        for (int b = 0; b < count; ++b) {
            double* const front = blocks[b] + 2 * W * i;
            if (i == 0) {
                plainWindow<W, Conj, FirstLane::NoFactor>(front, q, f1, f3, V{});
            } else {
                plainWindow<W, Conj, FirstLane::Factor>(front, q, f1, f3, V{});
            }
            double* const back = blocks[b] + 2 * (m - W * i - W);
            if (i == runs - 1) {
                plainWindow<W, Conj, FirstLane::Centre>(back, q, m1, m3, r);
            } else {
                plainWindow<W, Conj, FirstLane::Factor>(back, q, m1, m3, V{});
            }
        }
        for (int c = 0; c < 4; ++c) before[c] = t[c];
    }
}

// Seed blocks [firstBlock, endBlock) (stageSeedBlocks); point 0 with the first block, the middle
// points after the last. Which blocks share a chain does not change a bit: each block's lanes step
// from its own seed.
template <int W, bool Conj>
void plainStage(int n, double* z, int firstBlock, int endBlock, const StageAngle& angle) {
    OSKELON_ASSERT(angle.divisor == n >> 2);
    const int m = n >> 3;
    const int q = n >> 2;
    const int half = m >> 1;
    const StepAngle a(angle);
    if constexpr (W >= 4) {
        if (n == 64) return plainStageSmall<W, 8, Conj>(&z, 1, a);
        if (n == 128) return plainStageSmall<W, 16, Conj>(&z, 1, a);
    }
    if constexpr (W == 8) {
        if (n == 256 || n == 512 || n == 1024) return plainStageWindows<W, Conj>(n, &z, 1, a);
    }

    if (firstBlock == 0) {
        const Cs pa = ldIn<1, Conj>(z), pb = ldIn<1, Conj>(z + q);
        const Cs pc = ldIn<1, Conj>(z + 2 * q), pd = ldIn<1, Conj>(z + 3 * q);
        const Cs g = add(pa, pc), h = add(pb, pd), e = sub(pa, pc), f = sub(pb, pd);
        st<1>(z, add(g, h));
        st<1>(z + q, sub(g, h));
        st<1>(z + 2 * q, plusI(e, f));
        st<1>(z + 3 * q, minusI(e, f));
    }

    // The members of the last seed block when its points are done: the middle points and the
    // centre continue from them.
    Cs wOdd{}, uOdd{}, wEven{};
    const int lastFront = half - 2;
    const int endFront =
        endBlock * kSeedInterval < lastFront ? endBlock * kSeedInterval : lastFront;
    int K = firstBlock * kSeedInterval;

    // The smallest stage (n = 64) has the front points 1 and 2 only: two scalar leaps as in
    // the reference, and one 2-point run for the front, one for the mirrors.
    if (lastFront == 2) {
        Cs wE{1.0, 0.0}, wO{a.c1, a.s1}, uE{1.0, 0.0}, uO = a.step3;
        leap(wE, wO, a.ss);
        leap(uE, uO, a.ss3);
        plainPoints<2, Conj>(z + 2, q, C<V2>{V2{wO.re, wE.re}, V2{wO.im, wE.im}},
                             C<V2>{V2{uO.re, uE.re}, V2{-uO.im, -uE.im}});
        plainPoints<2, Conj>(z + 2 * (m - 2), q, C<V2>{V2{wE.im, wO.im}, V2{wE.re, wO.re}},
                             C<V2>{V2{uE.im, uO.im}, V2{-uE.re, -uO.re}});
        leap(wO, wE, a.ss);
        leap(uO, uE, a.ss3);
        wOdd = wO;
        uOdd = uO;
        wEven = wE;
        K = lastFront;
    }

    // Two seed blocks at a time, their recurrences side by side in one chain, so that two
    // dependency chains overlap; only the second block can be the last, shorter one. (On two
    // lanes the butterflies dominate and pairing gains nothing.)
    if constexpr (W >= 4) {
        for (; K + kSeedInterval < endFront; K += 2 * kSeedInterval) {
            const double sig[4] = {a.ss, a.ss3, a.ss, a.ss3};
            ChainOf<W, 8> ch(sig);
            Cs e[4], o[4];
            plainSeed(a, K, e, o);
            plainSeed(a, K + kSeedInterval, e + 2, o + 2);
            ch.set(e, o);
            const int end = K + kSeedInterval;
            const int endSecond = end + kSeedInterval < endFront ? end + kSeedInterval : endFront;
            const int k = plainRuns<W, Conj>(z, q, m, K + 1, endSecond - kSeedInterval, 2, ch);
            wOdd = ch.factor(true, 2);
            uOdd = ch.factor(true, 3);
            wEven = ch.factor(false, 2);
            plainRuns<W, Conj>(z, q, m, k, end, 1, ch);
        }
    }
    for (; K < endFront; K += kSeedInterval) {
        const double sig[2] = {a.ss, a.ss3};
        ChainOf<W, 4> ch(sig);
        Cs e[2], o[2];
        plainSeed(a, K, e, o);
        ch.set(e, o);
        const int end = K + kSeedInterval < endFront ? K + kSeedInterval : endFront;
        plainRuns<W, Conj>(z, q, m, K + 1, end, 1, ch);
        wOdd = ch.factor(true, 0);
        uOdd = ch.factor(true, 1);
        wEven = ch.factor(false, 0);
    }
    if (endBlock < stageSeedBlocks(n)) return;

    // Middle points: m/2-1 with the odd members, m/2+1 with their mirror forms.
    plainPoints<1, Conj>(z + 2 * (half - 1), q, wOdd, Cs{uOdd.re, -uOdd.im});
    plainPoints<1, Conj>(z + 2 * (half + 1), q, Cs{wOdd.im, wOdd.re}, Cs{uOdd.im, -uOdd.re});

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

// The reference twistedPoint on W points with factors f1 .. f4.
template <int W, class V>
inline void twistedPoints(double* p, int q, C<V> f1, C<V> f2, C<V> f3, C<V> f4) {
    const C<V> a = ld<W>(p), b = ld<W>(p + q), c = ld<W>(p + 2 * q), d = ld<W>(p + 3 * q);
    const C<V> u = mul(f1, plusI(a, c)), v = mul(f2, plusI(b, d));
    const C<V> x = mul(f3, minusI(a, c)), y = mul(f4, minusI(b, d));
    st<W>(p, add(u, v));
    st<W>(p + q, sub(u, v));
    st<W>(p + 2 * q, add(x, y));
    st<W>(p + 3 * q, sub(x, y));
}

// Front points k .. k+W-1 and their mirrors m-k-W+1 .. m-k with the factors t = (v1.re, v1.im,
// v2.re, v2.im, v3.re, v3.im, v4.re, v4.im).
template <int W, class V>
inline void twistedFrontAndMirror(double* z, int q, int m, int k, const V* t) {
    // Front: v1, v2, conj(v3), conj(v4).
    twistedPoints<W>(z + 2 * k, q, C<V>{t[0], t[1]}, C<V>{t[2], t[3]}, C<V>{t[4], -t[5]},
                     C<V>{t[6], -t[7]});
    // Mirror m-k: (v2.im, v2.re), (v1.im, v1.re), (v4.im, -v4.re), (v3.im, -v3.re).
    V r[8];
    for (int i = 0; i < 8; ++i) r[i] = reversed(t[i]);
    twistedPoints<W>(z + 2 * (m - k - W + 1), q, C<V>{r[3], r[2]}, C<V>{r[1], r[0]},
                     C<V>{r[7], -r[6]}, C<V>{r[5], -r[4]});
}

// As plainRuns, for the twisted factors.
template <int W, class Chain>
inline int twistedRuns(double* z, int q, int m, int k, int end, int used, Chain& ch) {
    using V = typename Pack<W>::V;
    constexpr int blocks = Chain::N * kLanes<typename Chain::Vec> / 8;
    for (; k + W - 1 <= end; k += W) {
        V t[8 * blocks];
        nextFactors<W>(ch, t);
        for (int b = 0; b < blocks; ++b) {
            if (b < used) twistedFrontAndMirror<W>(z, q, m, k + kSeedInterval * b, t + 8 * b);
        }
    }
    if constexpr (W > 2) k = twistedRuns<W / 2>(z, q, m, k, end, used, ch);
    return k;
}

// Whole twisted stages in windows, as plainStageWindows. Point 0 takes the results of the
// factor-free butterfly (twistedWindow). The centre's factors (r, (r.im, r.re) twice and -r, with
// r = v1 at m/2, one more leap of the chain) replace the mirror factors in the first lane of the
// last back window, so that it does the reference's products.
template <int W>
inline void twistedStageWindows(int n, double* const* blocks, int count, const StepAngle& a) {
    using V = typename Pack<W>::V;
    const int m = n >> 3, q = n >> 2, runs = m / (2 * W);
    const double sig[4] = {a.ss, a.ss, a.ss3, a.ss3};
    ChainOf<W, 8> ch(sig);
    {
        Cs e[4], o[4];  // the first seed block before the loop, as in plainStageWindows
        twistedSeed(a, 0, e, o);
        ch.set(e, o);
    }
    V before[8] = {};
    for (int i = 0; i < runs; ++i) {
        if (const int K = W * i; K > 0 && K % kSeedInterval == 0) {
            Cs e[4], o[4];  // the seed block at K
            twistedSeed(a, K, e, o);
            ch.set(e, o);
        }
        V t[8];  // v1 .. v4, real and imaginary parts, of points W i + 1 .. W i + W
        nextFactors<W>(ch, t);
        V s[8];
        for (int c = 0; c < 8; ++c) s[c] = split::shuffle<kShiftedByOne<W>>(t[c], before[c]);
        // Front: v1, v2, conj(v3), conj(v4).
        const C<V> front[4] = {{s[0], s[1]}, {s[2], s[3]}, {s[4], -s[5]}, {s[6], -s[7]}};
        // Mirror: (v2.im, v2.re), (v1.im, v1.re), (v4.im, -v4.re), (v3.im, -v3.re).
        V r[8];
        for (int c = 0; c < 8; ++c) r[c] = reversed(t[c]);
        C<V> mirror[4] = {{r[3], r[2]}, {r[1], r[0]}, {r[7], -r[6]}, {r[5], -r[4]}};
        if (i == runs - 1) {
            const V cr = V{} + t[0][W - 1], ci = V{} + t[1][W - 1];
            const C<V> centre[4] = {{cr, ci}, {ci, cr}, {ci, cr}, {-cr, -ci}};
            for (int c = 0; c < 4; ++c) mirror[c] = pick0(centre[c], mirror[c]);
        }
        for (int b = 0; b < count; ++b) {
            if (i == 0) {
                twistedWindow<W, true>(blocks[b], q, front);
            } else {
                twistedWindow<W, false>(blocks[b] + 2 * W * i, q, front);
            }
            twistedWindow<W, false>(blocks[b] + 2 * (m - W * i - W), q, mirror);
        }
        for (int c = 0; c < 8; ++c) before[c] = t[c];
    }
}

// Seed blocks [firstBlock, endBlock), as in plainStage.
template <int W>
void twistedStage(int n, double* z, int firstBlock, int endBlock, const StageAngle& angle) {
    OSKELON_ASSERT(angle.divisor == n >> 1);
    const int m = n >> 3;
    const int q = n >> 2;
    const int half = m >> 1;
    const StepAngle a(angle);
    if constexpr (W >= 4) {
        if (n == 64) return twistedStageSmall<W, 8>(&z, 1, a);
        if (n == 128) return twistedStageSmall<W, 16>(&z, 1, a);
    }
    if constexpr (W == 8) {
        if (n == 256 || n == 512 || n == 1024) return twistedStageWindows<W>(n, &z, 1, a);
    }

    // Point 0: factors 1, eps, 1, eps^3 (the reference's twisted4 without factors).
    if (firstBlock == 0) {
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

    // The members of the last seed block when its points are done.
    Cs last[4]{}, lastEven1{};
    const int lastFront = half - 2;
    const int endFront =
        endBlock * kSeedInterval < lastFront ? endBlock * kSeedInterval : lastFront;
    int K = firstBlock * kSeedInterval;

    // n = 64, as in the plain stage.
    if (lastFront == 2) {
        TwistedFactors e = TwistedFactors::derive({1.0, 0.0});
        TwistedFactors o = TwistedFactors::derive({a.c1, a.s1});
        leap(e.v1, o.v1, a.ss);
        leap(e.v2, o.v2, a.ss);
        leap(e.v3, o.v3, a.ss3);
        leap(e.v4, o.v4, a.ss3);
        twistedPoints<2>(z + 2, q, C<V2>{V2{o.v1.re, e.v1.re}, V2{o.v1.im, e.v1.im}},
                         C<V2>{V2{o.v2.re, e.v2.re}, V2{o.v2.im, e.v2.im}},
                         C<V2>{V2{o.v3.re, e.v3.re}, V2{-o.v3.im, -e.v3.im}},
                         C<V2>{V2{o.v4.re, e.v4.re}, V2{-o.v4.im, -e.v4.im}});
        twistedPoints<2>(z + 2 * (m - 2), q, C<V2>{V2{e.v2.im, o.v2.im}, V2{e.v2.re, o.v2.re}},
                         C<V2>{V2{e.v1.im, o.v1.im}, V2{e.v1.re, o.v1.re}},
                         C<V2>{V2{e.v4.im, o.v4.im}, V2{-e.v4.re, -o.v4.re}},
                         C<V2>{V2{e.v3.im, o.v3.im}, V2{-e.v3.re, -o.v3.re}});
        leap(o.v1, e.v1, a.ss);
        leap(o.v2, e.v2, a.ss);
        leap(o.v3, e.v3, a.ss3);
        leap(o.v4, e.v4, a.ss3);
        last[0] = o.v1;
        last[1] = o.v2;
        last[2] = o.v3;
        last[3] = o.v4;
        lastEven1 = e.v1;
        K = lastFront;
    }

    // Two seed blocks side by side as in the plain stage; with 8 doubles per member that pays
    // only where 8-lane vectors (and their 32 registers) are at hand.
    if constexpr (W == 8) {
        for (; K + kSeedInterval < endFront; K += 2 * kSeedInterval) {
            const double sig[8] = {a.ss, a.ss, a.ss3, a.ss3, a.ss, a.ss, a.ss3, a.ss3};
            ChainOf<W, 16> ch(sig);
            Cs e[8], o[8];
            twistedSeed(a, K, e, o);
            twistedSeed(a, K + kSeedInterval, e + 4, o + 4);
            ch.set(e, o);
            const int end = K + kSeedInterval;
            const int endSecond = end + kSeedInterval < endFront ? end + kSeedInterval : endFront;
            const int k = twistedRuns<W>(z, q, m, K + 1, endSecond - kSeedInterval, 2, ch);
            for (int f = 0; f < 4; ++f) last[f] = ch.factor(true, 4 + f);
            lastEven1 = ch.factor(false, 4);
            twistedRuns<W>(z, q, m, k, end, 1, ch);
        }
    }
    for (; K < endFront; K += kSeedInterval) {
        const double sig[4] = {a.ss, a.ss, a.ss3, a.ss3};
        ChainOf<W, 8> ch(sig);
        Cs e[4], o[4];
        twistedSeed(a, K, e, o);
        ch.set(e, o);
        const int end = K + kSeedInterval < endFront ? K + kSeedInterval : endFront;
        twistedRuns<W>(z, q, m, K + 1, end, 1, ch);
        for (int f = 0; f < 4; ++f) last[f] = ch.factor(true, f);
        lastEven1 = ch.factor(false, 0);
    }
    if (endBlock < stageSeedBlocks(n)) return;

    // Middle points m/2-1 and m/2+1 with the odd members.
    {
        const Cs v1 = last[0], v2 = last[1], v3 = last[2], v4 = last[3];
        twistedPoints<1>(z + 2 * (half - 1), q, v1, v2, Cs{v3.re, -v3.im}, Cs{v4.re, -v4.im});
        twistedPoints<1>(z + 2 * (half + 1), q, Cs{v2.im, v2.re}, Cs{v1.im, v1.re},
                         Cs{v4.im, -v4.re}, Cs{v3.im, -v3.re});
    }

    // Centre m/2: one more step of v1 gives (r1, r2) ~ e^(i pi/8).
    {
        const Cs e1 = lastEven1, o1 = last[0];
        const Cs r{e1.re - a.ss * o1.im, e1.im + a.ss * o1.re};
        const Cs rs{r.im, r.re};
        const Cs rn{-r.re, -r.im};
        twistedPoints<1>(z + 2 * half, q, r, rs, rs, rn);
    }
}

template <int W>
void quarterStageW(int n, double* block) {
    plainStage<W, false>(n, block, 0, stageSeedBlocks(n), plainStageAngle(n));
}
template <int W>
void quarterStageConjW(int n, double* block) {
    plainStage<W, true>(n, block, 0, stageSeedBlocks(n), plainStageAngle(n));
}
template <int W>
void twistedStageW(int n, double* block) {
    twistedStage<W>(n, block, 0, stageSeedBlocks(n), twistedStageAngle(n));
}
template <int W>
void quarterStagePartW(int n, double* block, int first, int end, const StageAngle& angle) {
    OSKELON_ASSERT(0 <= first && first < end && end <= stageSeedBlocks(n));
    plainStage<W, false>(n, block, first, end, angle);
}
template <int W>
void quarterStageConjPartW(int n, double* block, int first, int end, const StageAngle& angle) {
    OSKELON_ASSERT(0 <= first && first < end && end <= stageSeedBlocks(n));
    plainStage<W, true>(n, block, first, end, angle);
}
template <int W>
void twistedStagePartW(int n, double* block, int first, int end, const StageAngle& angle) {
    OSKELON_ASSERT(0 <= first && first < end && end <= stageSeedBlocks(n));
    twistedStage<W>(n, block, first, end, angle);
}

}  // namespace
}  // namespace oskelon::simd
