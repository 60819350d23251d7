// Word-array addition and subtraction with alignment: the helpers of mpAdd and mpSub.
//
// Both routines work on wordCount words in 0 .. radix-1, word 0 the most significant. y is moved
// `shift` words toward the end before it takes part; the shift is limited to wordCount, and y's
// words that fall beyond the last word are dropped, not rounded. x, y and out may be the same
// array: the carries are resolved block by block from the last word toward word 0, and a block
// reads its positions j and j - shift (<= j) before it writes any of its positions, so no
// position is read after it was written.
#include <algorithm>
#include <cstdint>

#include "mp/carry_blocks.h"
#include "mp/elementary.h"

namespace oskelon {
namespace {

// x[j] + y[j - shift] (or x[j] alone where y has no word) with a carry of 0 or 1: a sum of radix
// or more generates a carry, a sum of radix-1 propagates one.
template <bool WithY>
struct SumRule {
    const std::int16_t* x;
    const std::int16_t* y;
    int shift;
    std::int16_t* out;
    int radix;
    int value(int j) const { return WithY ? x[j] + y[j - shift] : x[j]; }
    bool generates(int t) const { return t >= radix; }
    bool propagates(int t) const { return t == radix - 1; }
    void put(int j, int t, int c) const {
        const int u = t + c;  // no branch: random words would mispredict
        out[j] = static_cast<std::int16_t>(u - (radix & -static_cast<int>(u >= radix)));
    }
};

// x[j] - y[j - shift] (or x[j] alone) with a borrow of 0 or 1: a negative difference generates a
// borrow, a zero one propagates it.
template <bool WithY>
struct DifferenceRule {
    const std::int16_t* x;
    const std::int16_t* y;
    int shift;
    std::int16_t* out;
    int radix;
    int value(int j) const { return WithY ? x[j] - y[j - shift] : x[j]; }
    bool generates(int t) const { return t < 0; }
    bool propagates(int t) const { return t == 0; }
    void put(int j, int t, int c) const {
        const int u = t - c;
        out[j] = static_cast<std::int16_t>(u + (radix & -static_cast<int>(u < 0)));
    }
};

struct AddWords {
    [[gnu::always_inline]] static int run(int wordCount, int radix, int shift,
                                          const std::int16_t* x, const std::int16_t* y,
                                          std::int16_t* out) {
        const int s = std::min(shift, wordCount);
        int carry = detail::resolveCarries(s, wordCount, 0, SumRule<true>{x, y, s, out, radix});
        carry = detail::resolveCarries(0, s, carry, SumRule<false>{x, y, s, out, radix});
        if (carry == 0) return 0;

        // The sum reached radix^wordCount: it gains a leading 1 and loses its last word.
        for (int j = wordCount - 1; j >= 1; --j) out[j] = out[j - 1];
        out[0] = 1;
        return 1;
    }
};

struct SubWords {
    [[gnu::always_inline]] static int run(int wordCount, int radix, int shift,
                                          const std::int16_t* x, const std::int16_t* y,
                                          std::int16_t* out) {
        const int s = std::min(shift, wordCount);
        const int borrow =
            detail::resolveCarries(s, wordCount, 0, DifferenceRule<true>{x, y, s, out, radix});
        detail::resolveCarries(0, s, borrow, DifferenceRule<false>{x, y, s, out, radix});
        // x >= the moved y, so no borrow leaves word 0.

        int z = 0;
        while (z < wordCount && out[z] == 0) ++z;
        if (z > 0 && z < wordCount) {
            // Ascending: position j + z is read before any write reaches it.
            for (int j = 0; j + z < wordCount; ++j) out[j] = out[j + z];
            std::fill(out + (wordCount - z), out + wordCount, std::int16_t{0});
        }
        return z;
    }
};

}  // namespace

int addWords(int wordCount, int radix, int shift, const std::int16_t* x, const std::int16_t* y,
             std::int16_t* out) {
    return detail::runCarryLoop<AddWords>(wordCount, radix, shift, x, y, out);
}

int subWords(int wordCount, int radix, int shift, const std::int16_t* x, const std::int16_t* y,
             std::int16_t* out) {
    return detail::runCarryLoop<SubWords>(wordCount, radix, shift, x, y, out);
}

namespace detail {

CarryLevel carryLevel() {
    static const CarryLevel level = [] {
        // The features of OSKELON_CARRY_V3_FEATURES and OSKELON_CARRY_V4_FEATURES, one by one.
        __builtin_cpu_init();
        const bool v3 = __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("sse3") &&
                        __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1") &&
                        __builtin_cpu_supports("sse4.2") && __builtin_cpu_supports("avx") &&
                        __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                        __builtin_cpu_supports("bmi2");
        const bool v4 = v3 && __builtin_cpu_supports("avx512f") &&
                        __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512cd") &&
                        __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
        if (v4) return CarryLevel::V4;
        if (v3) return CarryLevel::V3;
        return CarryLevel::Baseline;
    }();
    return level;
}

}  // namespace detail

}  // namespace oskelon
