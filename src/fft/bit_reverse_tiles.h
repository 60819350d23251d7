// Cache-blocked bit reversal: the walk over the tile pairs, shared by every path, and the swap of
// a pair in place in vectors, for the avx2 and avx512 paths (bit_reverse_blocked.cpp has the
// buffered swap of the others).
//
// Included by bit_reverse_blocked.cpp, stages_avx2.cpp and stages_avx512.cpp; internal linkage
// throughout, like the stage template.
//
// With N = 2^L points, a point index p is split as (a, b, c): a the top 4 bits, c the bottom 4
// bits and b the L - 8 bits between them. The reversal maps (a, b, c) to (rev c, rev b, rev a),
// so the tile of all points with middle part b (16 rows a of 16 consecutive points c) goes as a
// whole onto the tile rev b: point (r, s) of the target is point (rev s, rev r) of the source.
//
// A tile row is four lines of four points (64 bytes each). Group (J, C) of a source tile is line C
// of its rows rev(4J + j), j < 4; transposed as a 4 x 4 matrix of points, its line l is line J of
// the target's row rev(4C + l). So group (J, C) of tile b fills exactly the places that group
// (C, J) of tile rev b empties, and the two are loaded, transposed and stored back crosswise in
// one step: the swap is in place, needs no buffer, and each line of the array is read once and
// written right after, whatever the stride between the rows (which puts all rows of a tile into
// the same few cache sets at large lengths).
//
// Moving points changes no bit of them; the conjugating form flips the sign of the imaginary part
// of every point, as the scalar unary minus does.
//
// Measured against the buffered tiles of bit_reverse_blocked.cpp, BM_Transform on one pinned CPU,
// alternating runs: avx512 2^10 points 2.50 -> 2.24 us, 2^12 11.4 -> 10.7, 2^16 233 -> 219, 2^18
// 1048 -> 1001, 2^22 33.1 -> 30.0 ms; avx2 2^10 2.90 -> 2.65 us, 2^12 13.4 -> 12.9, 2^16 287 ->
// 270, 2^18 1310 -> 1250, 2^22 39.2 -> 37.2 ms. With one point per vector (sse2) the same swap
// measured slower than the buffered tiles from 2^12 points up, so that path keeps them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fft/complex_fft.h"
#include "fft/split_complex.h"

namespace oskelon::tiles {
namespace {

using split::V4;
using split::V8;

constexpr int kTileBits = 4;
constexpr int kTileSide = 1 << kTileBits;  // points per row, rows per tile

// rev r of the 4-bit row and column indices of a tile.
constexpr std::array<int, kTileSide> kTileReverse = [] {
    std::array<int, kTileSide> rev{};
    for (int x = 0; x < kTileSide; ++x) {
        for (int i = 0; i < kTileBits; ++i) rev[x] |= ((x >> i) & 1) << (kTileBits - 1 - i);
    }
    return rev;
}();

// Every imaginary part negated.
template <class V>
inline V conjugated(V v) {
    if constexpr (sizeof(V) == sizeof(V8)) {
        return __builtin_shufflevector(v, -v, 0, 9, 2, 11, 4, 13, 6, 15);
    } else {
        return __builtin_shufflevector(v, -v, 0, 5, 2, 7);
    }
}

template <class V>
inline V load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class V>
inline void store(double* p, V v) {
    std::memcpy(p, &v, sizeof v);
}

// Four points of each of four rows, a 4 x 4 matrix of points, in vectors V of four points (avx512)
// or two (avx2): line j from src[j], and line l of the transpose to dst[l], conjugated with Conj.
template <class V>
struct Group {
    static constexpr int kDoubles = static_cast<int>(sizeof(V) / sizeof(double));
    static constexpr int kPerLine = 8 / kDoubles;
    V x[4][kPerLine];

    void load(double* const* src) {
        for (int j = 0; j < 4; ++j) {
            for (int h = 0; h < kPerLine; ++h) x[j][h] = tiles::load<V>(src[j] + h * kDoubles);
        }
    }

    template <bool Conj>
    void store(double* const* dst) const {
        if constexpr (kPerLine == 1) {
            const V t0 = __builtin_shufflevector(x[0][0], x[1][0], 0, 1, 8, 9, 4, 5, 12, 13);
            const V t1 = __builtin_shufflevector(x[0][0], x[1][0], 2, 3, 10, 11, 6, 7, 14, 15);
            const V t2 = __builtin_shufflevector(x[2][0], x[3][0], 0, 1, 8, 9, 4, 5, 12, 13);
            const V t3 = __builtin_shufflevector(x[2][0], x[3][0], 2, 3, 10, 11, 6, 7, 14, 15);
            const V y[4] = {__builtin_shufflevector(t0, t2, 0, 1, 2, 3, 8, 9, 10, 11),
                            __builtin_shufflevector(t1, t3, 0, 1, 2, 3, 8, 9, 10, 11),
                            __builtin_shufflevector(t0, t2, 4, 5, 6, 7, 12, 13, 14, 15),
                            __builtin_shufflevector(t1, t3, 4, 5, 6, 7, 12, 13, 14, 15)};
            for (int l = 0; l < 4; ++l) tiles::store(dst[l], Conj ? conjugated(y[l]) : y[l]);
        } else {
            // Line l of the transpose: points l of lines 0, 1 and of lines 2, 3, each pair from
            // the vectors h = l / 2 of two lines.
            for (int l = 0; l < 4; ++l) {
                const int h = l / 2;
                V a, b;
                if (l % 2 == 0) {
                    a = __builtin_shufflevector(x[0][h], x[1][h], 0, 1, 4, 5);
                    b = __builtin_shufflevector(x[2][h], x[3][h], 0, 1, 4, 5);
                } else {
                    a = __builtin_shufflevector(x[0][h], x[1][h], 2, 3, 6, 7);
                    b = __builtin_shufflevector(x[2][h], x[3][h], 2, 3, 6, 7);
                }
                tiles::store(dst[l], Conj ? conjugated(a) : a);
                tiles::store(dst[l] + 4, Conj ? conjugated(b) : b);
            }
        }
    }
};

// Tiles b (rows at a) and rev b (rows at z) swapped and transposed as above; a == z for a tile
// that is its own partner. rowStride: doubles from one row of a tile to the next. Every swap of
// the walk below has this form.
template <class V>
struct InPlaceSwap {
    template <bool Conj>
    static void swap(double* a, double* z, std::size_t rowStride) {
        constexpr int G = kTileSide / 4;
        // ra[r], rz[r]: row rev r of each tile.
        double* ra[kTileSide];
        double* rz[kTileSide];
        for (int r = 0; r < kTileSide; ++r) {
            const std::size_t offset = static_cast<std::size_t>(kTileReverse[r]) * rowStride;
            ra[r] = a + offset;
            rz[r] = z + offset;
        }
        const bool same = a == z;
#pragma GCC unroll 4
        for (int J = 0; J < G; ++J) {
#pragma GCC unroll 4
            for (int C = same ? J : 0; C < G; ++C) {
                // Group (J, C) of a, and group (C, J) of z (the same one when C == J in one tile).
                double* const xa[4] = {ra[4 * J] + 8 * C, ra[4 * J + 1] + 8 * C,
                                       ra[4 * J + 2] + 8 * C, ra[4 * J + 3] + 8 * C};
                double* const yz[4] = {rz[4 * C] + 8 * J, rz[4 * C + 1] + 8 * J,
                                       rz[4 * C + 2] + 8 * J, rz[4 * C + 3] + 8 * J};
                Group<V> x, y;
                x.load(xa);
                if (same && C == J) {
                    x.template store<Conj>(yz);
                    continue;
                }
                y.load(yz);
                x.template store<Conj>(yz);
                y.template store<Conj>(xa);
            }
        }
    }
};

// log2 of the point count N = n/2.
inline int pointBits(int n) {
    int L = 0;
    while ((2 << L) < n) ++L;
    return L;
}

// The tile pairs (b, rev b) with b in [first, end) and b <= rev b; every pair belongs to exactly
// one b, so ranges of b may be done in any order. L >= 2 * kTileBits.
template <class Swap, bool Conj>
void tilePairs(int L, double* d, std::uint32_t first, std::uint32_t end) {
    const int midBits = L - 2 * kTileBits;
    const std::size_t rowStride = std::size_t{2} << (L - kTileBits);
    for (std::uint32_t b = first; b < end; ++b) {
        std::uint32_t rb = 0;
        for (int i = 0; i < midBits; ++i) rb |= ((b >> i) & 1u) << (midBits - 1 - i);
        if (rb < b) continue;
        Swap::template swap<Conj>(d + (std::size_t{b} << (kTileBits + 1)),
                                  d + (std::size_t{rb} << (kTileBits + 1)), rowStride);
    }
}

// The whole permutation; below the smallest tiled length (256 points), the scalar one.
template <class Swap, bool Conj>
void bitReverseTiled(int n, double* d) {
    const int L = pointBits(n);
    if (L < 2 * kTileBits) {
        (Conj ? bitReverseConj : bitReverse)(n, d);
        return;
    }
    tilePairs<Swap, Conj>(L, d, 0, std::uint32_t{1} << (L - 2 * kTileBits));
}

// Part `part` of `parts`: equal ranges of b. The pairs are denser among the low b (b < rev b
// mostly when the top bit of b is 0), so the parts handed out first are the larger ones and the
// last ones small.
template <class Swap, bool Conj>
void bitReverseTiledPart(int n, double* d, int part, int parts) {
    const int L = pointBits(n);
    if (L < 2 * kTileBits) {
        (Conj ? bitReverseConjPart : bitReversePart)(n, d, part, parts);
        return;
    }
    const std::uint64_t count = std::uint64_t{1} << (L - 2 * kTileBits);
    const auto bound = [count, parts](int i) {
        return static_cast<std::uint32_t>(count * static_cast<std::uint64_t>(i) /
                                          static_cast<std::uint64_t>(parts));
    };
    tilePairs<Swap, Conj>(L, d, bound(part), bound(part + 1));
}

// The four entries of a vector path's table.
template <class V>
void bitReverseW(int n, double* d) {
    bitReverseTiled<InPlaceSwap<V>, false>(n, d);
}
template <class V>
void bitReverseConjW(int n, double* d) {
    bitReverseTiled<InPlaceSwap<V>, true>(n, d);
}
template <class V>
void bitReversePartW(int n, double* d, int part, int parts) {
    bitReverseTiledPart<InPlaceSwap<V>, false>(n, d, part, parts);
}
template <class V>
void bitReverseConjPartW(int n, double* d, int part, int parts) {
    bitReverseTiledPart<InPlaceSwap<V>, true>(n, d, part, parts);
}

}  // namespace
}  // namespace oskelon::tiles
