// Cache-blocked bit reversal in 8-lane vectors (four points each), for the avx512 path.
//
// Included by stages_avx512.cpp only; internal linkage throughout, like the stage template.
//
// With N = 2^L points, a point index p is split as (a, b, c): a the top 4 bits, c the bottom 4
// bits and b the L - 8 bits between them. The reversal maps (a, b, c) to (rev c, rev b, rev a),
// so the tile of all points with middle part b (16 rows a of 16 consecutive points c) goes as a
// whole onto the tile rev b: point (r, s) of the target is point (rev s, rev r) of the source.
//
// A tile row is four vectors of four points. Group (J, C) of a source tile is vector C of its rows
// rev(4J + j), j < 4; transposed as a 4 x 4 matrix of points, its vector l is vector J of the
// target's row rev(4C + l). So group (J, C) of tile b fills exactly the places that group (C, J)
// of tile rev b empties, and the two are loaded, transposed and stored back crosswise in one step:
// the swap is in place, needs no buffer, and each 64 bytes of the array are read once and written
// right after, whatever the stride between the rows (which puts all rows of a tile into the same
// few cache sets at large lengths).
//
// Moving points changes no bit of them; the conjugating form flips the sign of the imaginary part
// of every point, as the scalar unary minus does.
//
// Measured against the buffered tiles of bit_reverse_blocked.cpp (BM_Transform/avx512, one pinned
// CPU, alternating runs): 2^10 points 2.50 -> 2.24 us, 2^12 11.4 -> 10.7, 2^16 233 -> 219, 2^18
// 1048 -> 1001, 2^22 33.1 -> 30.0 ms. With two points per vector (avx2) the same swap was slower
// than the buffered tiles at 2^12 to 2^18 points, and with one (sse2) from 2^12 up, so those paths
// keep them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fft/complex_fft.h"
#include "fft/split_complex.h"

namespace oskelon::tiles {
namespace {

using split::V8;

constexpr int kTileBits = 4;
constexpr int kTileSide = 1 << kTileBits;  // points per row, rows per tile

constexpr int reverseTile(int x) {
    int r = 0;
    for (int i = 0; i < kTileBits; ++i) r |= ((x >> i) & 1) << (kTileBits - 1 - i);
    return r;
}

// Every imaginary part negated.
inline V8 conjugated(V8 v) {
    return __builtin_shufflevector(v, -v, 0, 9, 2, 11, 4, 13, 6, 15);
}

// x[j] holds points (j, 0 .. 3) of a 4 x 4 matrix; on exit x[l] holds points (0 .. 3, l).
inline void transposePoints(V8* x) {
    const V8 t0 = __builtin_shufflevector(x[0], x[1], 0, 1, 8, 9, 4, 5, 12, 13);
    const V8 t1 = __builtin_shufflevector(x[0], x[1], 2, 3, 10, 11, 6, 7, 14, 15);
    const V8 t2 = __builtin_shufflevector(x[2], x[3], 0, 1, 8, 9, 4, 5, 12, 13);
    const V8 t3 = __builtin_shufflevector(x[2], x[3], 2, 3, 10, 11, 6, 7, 14, 15);
    x[0] = __builtin_shufflevector(t0, t2, 0, 1, 2, 3, 8, 9, 10, 11);
    x[1] = __builtin_shufflevector(t1, t3, 0, 1, 2, 3, 8, 9, 10, 11);
    x[2] = __builtin_shufflevector(t0, t2, 4, 5, 6, 7, 12, 13, 14, 15);
    x[3] = __builtin_shufflevector(t1, t3, 4, 5, 6, 7, 12, 13, 14, 15);
}

inline V8 load(const double* p) {
    V8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store(double* p, V8 v) {
    std::memcpy(p, &v, sizeof v);
}

// Tiles b (rows at a) and rev b (rows at z) swapped and transposed as above; a == z for a tile
// that is its own partner. rowStride: doubles from one row of a tile to the next.
template <bool Conj>
inline void swapTiles(double* a, double* z, std::size_t rowStride) {
    constexpr int G = kTileSide / 4;
    // ra[r], rz[r]: row rev r of each tile.
    double* ra[kTileSide];
    double* rz[kTileSide];
    for (int r = 0; r < kTileSide; ++r) {
        const std::size_t offset = static_cast<std::size_t>(reverseTile(r)) * rowStride;
        ra[r] = a + offset;
        rz[r] = z + offset;
    }
    const bool same = a == z;
#pragma GCC unroll 4
    for (int J = 0; J < G; ++J) {
#pragma GCC unroll 4
        for (int C = same ? J : 0; C < G; ++C) {
            // Group (J, C) of a into x, group (C, J) of z into y (none when they are the same).
            const bool pair = !same || C != J;
            V8 x[4], y[4];
            for (int j = 0; j < 4; ++j) x[j] = load(ra[4 * J + j] + 8 * C);
            if (pair) {
                for (int j = 0; j < 4; ++j) y[j] = load(rz[4 * C + j] + 8 * J);
            }
            transposePoints(x);
            if (pair) transposePoints(y);
            for (int l = 0; l < 4; ++l) {
                store(rz[4 * C + l] + 8 * J, Conj ? conjugated(x[l]) : x[l]);
                if (pair) store(ra[4 * J + l] + 8 * C, Conj ? conjugated(y[l]) : y[l]);
            }
        }
    }
}

// log2 of the point count N = n/2.
inline int pointBits(int n) {
    int L = 0;
    while ((2 << L) < n) ++L;
    return L;
}

// The tile pairs (b, rev b) with b in [first, end) and b <= rev b; every pair belongs to exactly
// one b, so ranges of b may be done in any order. L >= 2 * kTileBits.
template <bool Conj>
void tilePairs(int L, double* d, std::uint32_t first, std::uint32_t end) {
    const int midBits = L - 2 * kTileBits;
    const std::size_t rowStride = std::size_t{2} << (L - kTileBits);
    for (std::uint32_t b = first; b < end; ++b) {
        std::uint32_t rb = 0;
        for (int i = 0; i < midBits; ++i) rb |= ((b >> i) & 1u) << (midBits - 1 - i);
        if (rb < b) continue;
        swapTiles<Conj>(d + (std::size_t{b} << (kTileBits + 1)),
                        d + (std::size_t{rb} << (kTileBits + 1)), rowStride);
    }
}

// The whole permutation; below the smallest tiled length (256 points), the scalar one.
template <bool Conj>
void bitReverseTiled(int n, double* d) {
    const int L = pointBits(n);
    if (L < 2 * kTileBits) {
        (Conj ? bitReverseConj : bitReverse)(n, d);
        return;
    }
    tilePairs<Conj>(L, d, 0, std::uint32_t{1} << (L - 2 * kTileBits));
}

// Part `part` of `parts`: equal ranges of b. The pairs are denser among the low b (b < rev b
// mostly when the top bit of b is 0), so the parts handed out first are the larger ones and the
// last ones small.
template <bool Conj>
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
    tilePairs<Conj>(L, d, bound(part), bound(part + 1));
}

// The four entries of the path's table.
void bitReverseW(int n, double* d) {
    bitReverseTiled<false>(n, d);
}
void bitReverseConjW(int n, double* d) {
    bitReverseTiled<true>(n, d);
}
void bitReversePartW(int n, double* d, int part, int parts) {
    bitReverseTiledPart<false>(n, d, part, parts);
}
void bitReverseConjPartW(int n, double* d, int part, int parts) {
    bitReverseTiledPart<true>(n, d, part, parts);
}

}  // namespace
}  // namespace oskelon::tiles
