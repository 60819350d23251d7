// The exact release chain in vector lanes: sixteen chains side by side, each over its own segment
// of the coefficients, joined afterwards by exact carry passes.
//
// The chain of engine.cpp writes, from coefficient top down, word k-1 = t mod R and passes the
// carry floor(t / R) on, where t = floor(H c[k] + 0.5) + carry. Its speed is set by one division
// per step, and a scalar chain can only overlap two of them. Here the coefficients top - 16 S + 1
// .. top are cut into 16 segments of S (a multiple of 8); lane j runs segment j (segment 0 the
// lowest words, entering with the caller's carry, the others with 0), eight steps at a time on
// two vectors of eight lanes. The segments are then joined from segment 0 upwards by
// addCarryToWords, as the blocks of the spread release are: every word and the carry out are the
// digits of the same exact integers as the serial chain's.
//
// Every value is an integer held exactly in a double: |floor(H c + 0.5)| < limit <= 2^47 and the
// carries stay below limit / (R - 1), so |t| < 2^48. The quotient floor(t / R) is the nearest
// integer to z = t (1/R) + (1/(2R) - 1/2): t / R is an integer or at least 1/R away from one, the
// two roundings in z err by less than 2^-4 / R, so z lies strictly between floor(t / R) - 1/2 and
// floor(t / R) + 1/2 - 1/(2R) + 2^-4 / R. The rounding of each coefficient is the scalar chain's
// own (roundedOf), lane by lane.
#pragma once

#include <cstdint>
#include <cstring>

#include "mp/lane_transpose.h"
#include "mp/word_blocks.h"

namespace oskelon::detail {

inline constexpr int kReleaseLanes = 16;
inline constexpr int kReleaseLaneSteps = 8;  // steps per round; S is a multiple of it

// The coefficients the lanes take of a chain of `total`: 16 S, S the largest multiple of 8 with
// 16 S <= total.
inline int releaseLanesCover(int total) {
    return total / (kReleaseLanes * kReleaseLaneSteps) * (kReleaseLanes * kReleaseLaneSteps);
}

template <std::uint64_t R>
struct ReleaseLanes {
    using V = Lanes8;
    using M = long long __attribute__((vector_size(64)));
    using W32 = int __attribute__((vector_size(32)));
    using W16 = short __attribute__((vector_size(16)));

    // x := floor(H x + 0.5) lane by lane, as roundedOf; lanes whose |H x| is not below limit (or
    // NaN) are marked in bad. (Vectors pass by reference: by value they would change the ABI of
    // the copies compiled without AVX-512.)
    [[gnu::always_inline]] static void round(V& x, double H, double limit, M& bad) {
        constexpr double kShift = 6755399441055744.0;  // 1.5 * 2^52
        const V v = H * x;
        const V magnitude = v < 0.0 ? -v : v;
        bad |= ~(magnitude < limit);
        const V t = v + 0.5;
        const V nearest = (t + kShift) - kShift;
        x = nearest + __builtin_convertvector(nearest > t, V);  // true is -1
    }

    // One step of eight chains: t = r + q; r := t mod R, q := floor(t / R). The quotient is the
    // nearest integer to t (1/R) + 1/(2R) - 1/2 (see above); r is then exact and in [0, R).
    [[gnu::always_inline]] static void step(V& r, V& q) {
        constexpr double kShift = 6755399441055744.0;  // 1.5 * 2^52
        constexpr double kR = static_cast<double>(R);
        constexpr double kBias = 0.5 / kR - 0.5;
        const V t = r + q;
        q = ((t * (1.0 / kR) + kBias) + kShift) - kShift;
        r = t - q * kR;
    }

    // Runs the lanes over coefficients top - releaseLanesCover(total) + 1 .. top (total the length
    // of the whole chain) and returns the carry out of the lowest of them; clears *inRange for a
    // coefficient beyond limit, whose words are then meaningless.
    [[gnu::always_inline]] static std::int64_t run(double H, const double* c, std::int16_t* word,
                                                   int top, int total, std::int64_t carry,
                                                   double limit, bool* inRange) {
        const int S = releaseLanesCover(total) / kReleaseLanes;
        constexpr int kVectors = kReleaseLanes / 8;
        V q[kVectors] = {};
        q[0][0] = static_cast<double>(carry);
        M bad = {};
        for (int s = 0; s < S; s += kReleaseLaneSteps) {
            // Lane j reads and writes its 8 coefficients from low(j) up.
            const auto low = [&](int j) { return top - j * S - s - (kReleaseLaneSteps - 1); };
            V x[kVectors][8];  // lane j's row in x[j / 8][j % 8]
            for (int j = 0; j < kReleaseLanes; ++j) {
                V& row = x[j / 8][j % 8];
                std::memcpy(&row, c + low(j), sizeof row);
                // The segments run downwards through memory, which the prefetcher does not follow.
                __builtin_prefetch(c + low(j) - 128);
                round(row, H, limit, bad);
            }
            // Columns: x[v][i] is element i of the rows of lanes 8v .. 8v+7, one per lane.
            for (auto& group : x) transposeLanes(group);
            for (int i = 7; i >= 0; --i) {
                for (int v = 0; v < kVectors; ++v) step(x[v][i], q[v]);
            }
            for (auto& group : x) transposeLanes(group);
            for (int j = 0; j < kReleaseLanes; ++j) {
                const W16 digits =
                    __builtin_convertvector(__builtin_convertvector(x[j / 8][j % 8], W32), W16);
                std::memcpy(word + low(j) - 1, &digits, sizeof digits);
            }
        }
        bool ok = true;
        for (int i = 0; i < 8; ++i) ok &= bad[i] == 0;
        if (!ok) *inRange = false;
        // Segment j holds words top - (j + 1) S .. top - j S - 1.
        std::int64_t out = static_cast<std::int64_t>(q[0][0]);
        for (int j = 1; j < kReleaseLanes; ++j) {
            const std::int64_t own = static_cast<std::int64_t>(q[j / 8][j % 8]);
            out = own +
                  addCarryToWords(out, static_cast<int>(R), word, top - (j + 1) * S, top - j * S);
        }
        return out;
    }
};

}  // namespace oskelon::detail
