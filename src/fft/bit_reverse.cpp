// Bit-reversal permutations of the complex transform.
//
// Indices below are double indices x = 2p of point p. The point index is split into a low part
// (double values below s), a middle part (s, and 2s when log2 N is even) and a high part (2s or
// 4s upwards); the low and high parts have the same number of bits. A counter over the low part
// is paired with a "reversed counter" over the high part that counts with its bits reversed, so
// that k = rev(j) is maintained without a per-index bit loop. Each pair of points is exchanged
// exactly once; points that map to themselves are not moved.
#include <cmath>

#include "fft/complex_fft.h"

namespace oskelon {
namespace {

// Adds one to a double index counted from its top bit nh down, carrying towards the low bits.
inline int reversedIncrement(int x, int nh) {
    x ^= nh;
    for (int h = nh; x < h;) {
        h >>= 1;
        x ^= h;
    }
    return x;
}

// Exchanges the points at double indices i and j; with Conj both are stored conjugated.
template <bool Conj>
inline void exchange(double* d, int i, int j) {
    const double re = d[i], im = d[i + 1];
    d[i] = d[j];
    d[j] = re;
    if constexpr (Conj) {
        d[i + 1] = -d[j + 1];
        d[j + 1] = -im;
    } else {
        d[i + 1] = d[j + 1];
        d[j + 1] = im;
    }
}

// Conjugates a point that the permutation leaves in place (Conj only).
template <bool Conj>
inline void keep(double* d, int i) {
    if constexpr (Conj) d[i + 1] = -d[i + 1];
}

// The outer counter j = 2c runs over c in [0, s/2); step c exchanges the pairs whose low part is
// below j against those whose low part is j, and touches no point of another step, so the steps
// may be done in any order and in parts. This does the steps c in [first, end).
template <bool Conj>
void permuteSteps(int n, double* d, int first, int end) {
    const int nh = n >> 1;
    int s = 2, t = n >> 2;
    while (s < t) {
        t >>= 1;
        s <<= 1;
    }
    // rev(j) in the high part at j = 2 first: the reversed counter after `first` increments.
    int bits = 0;
    while ((2 << bits) < n) ++bits;  // N = 2^bits points
    int k = 0;
    for (int b = 0; b < bits; ++b) k |= ((first >> b) & 1) << (bits - b);
    // s*t = n/2; s = t when log2 N is even, s = 2t when it is odd.
    if (s == t) {
        // Middle part: two bits, s and 2s, which the reversal exchanges.
        for (int j = 2 * first; j < 2 * end; j += 2) {
            if (j > 0) {
                // Low part a < j in p, with high part rev(j); u has low part j and high rev(a).
                int u = j, p = k;
                for (int i = 0; i < j; i += 2) {
                    exchange<Conj>(d, p, u);
                    exchange<Conj>(d, p + s, u + 2 * s);
                    exchange<Conj>(d, p + 2 * s, u + s);
                    exchange<Conj>(d, p + 3 * s, u + 3 * s);
                    u = reversedIncrement(u, nh);
                    p += 2;
                }
            }
            exchange<Conj>(d, j + k + s, j + k + 2 * s);
            keep<Conj>(d, j + k);
            keep<Conj>(d, j + k + 3 * s);
            k = reversedIncrement(k, nh);
        }
    } else {
        // Middle part: the single bit s, which the reversal keeps.
        for (int j = 2 * first; j < 2 * end; j += 2) {
            if (j > 0) {
                int u = j, p = k;
                for (int i = 0; i < j; i += 2) {
                    exchange<Conj>(d, p, u);
                    exchange<Conj>(d, p + s, u + s);
                    u = reversedIncrement(u, nh);
                    p += 2;
                }
            }
            keep<Conj>(d, j + k);
            keep<Conj>(d, j + k + s);
            k = reversedIncrement(k, nh);
        }
    }
}

// The number of steps c (s/2).
int permuteStepCount(int n) {
    int s = 2, t = n >> 2;
    while (s < t) {
        t >>= 1;
        s <<= 1;
    }
    return s >> 1;
}

// Step c costs about c exchanges, so equal parts of the work end at c = steps * sqrt(i/parts).
template <bool Conj>
void permutePart(int n, double* d, int part, int parts) {
    const int steps = permuteStepCount(n);
    auto bound = [steps, parts](int i) {
        if (i >= parts) return steps;
        return static_cast<int>(steps * std::sqrt(static_cast<double>(i) / parts));
    };
    const int first = bound(part), end = bound(part + 1);
    if (first < end) permuteSteps<Conj>(n, d, first, end);
}

}  // namespace

void bitReverse(int n, double* data) {
    permuteSteps<false>(n, data, 0, permuteStepCount(n));
}

void bitReverseConj(int n, double* data) {
    permuteSteps<true>(n, data, 0, permuteStepCount(n));
}

void bitReversePart(int n, double* data, int part, int parts) {
    permutePart<false>(n, data, part, parts);
}

void bitReverseConjPart(int n, double* data, int part, int parts) {
    permutePart<true>(n, data, part, parts);
}

namespace {

inline void swapPoints(double* d, int i, int j) {
    exchange<false>(d, 2 * i, 2 * j);
}

// out[P0] = in[P1], out[P1] = in[P2], ..., out[Plast] = in[P0] (point indices).
template <int First, int... Rest>
inline void cyclePoints(double* d) {
    const double re = d[2 * First], im = d[2 * First + 1];
    int to = First;
    ((d[2 * to] = d[2 * Rest], d[2 * to + 1] = d[2 * Rest + 1], to = Rest), ...);
    d[2 * to] = re;
    d[2 * to + 1] = im;
}

}  // namespace

void bitReverse16(double* d) {
    swapPoints(d, 1, 8);
    swapPoints(d, 2, 4);
    swapPoints(d, 3, 12);
    swapPoints(d, 5, 10);
    swapPoints(d, 7, 14);
    swapPoints(d, 11, 13);
}

// Sources 0, 15, 7, 11, 3, 13, 5, 9, 1, 14, 6, 10, 2, 12, 4, 8 for points 0 .. 15.
void bitReverseNegate16(double* d) {
    cyclePoints<1, 15, 8>(d);
    cyclePoints<2, 7, 9, 14, 4, 3, 11, 10, 6, 5, 13, 12>(d);
}

void bitReverse8(double* d) {
    swapPoints(d, 1, 4);
    swapPoints(d, 3, 6);
}

// Sources 0, 7, 3, 5, 1, 6, 2, 4 for points 0 .. 7.
void bitReverseNegate8(double* d) {
    cyclePoints<1, 7, 4>(d);
    cyclePoints<2, 3, 5, 6>(d);
}

}  // namespace oskelon
