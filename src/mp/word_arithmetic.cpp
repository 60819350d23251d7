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
#include "mp/word_blocks.h"

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

// The sum reached radix^wordCount: it gains a leading 1 and loses its last word.
[[gnu::always_inline]] inline int finishSum(int carry, int wordCount, std::int16_t* out) {
    if (carry == 0) return 0;
    for (int j = wordCount - 1; j >= 1; --j) out[j] = out[j - 1];
    out[0] = 1;
    return 1;
}

// Removes the leading zero words of a difference and returns their count.
[[gnu::always_inline]] inline int finishDifference(int wordCount, std::int16_t* out) {
    int z = 0;
    while (z < wordCount && out[z] == 0) ++z;
    if (z > 0 && z < wordCount) {
        // Ascending: position j + z is read before any write reaches it.
        for (int j = 0; j + z < wordCount; ++j) out[j] = out[j + z];
        std::fill(out + (wordCount - z), out + wordCount, std::int16_t{0});
    }
    return z;
}

struct AddWords {
    [[gnu::always_inline]] static int run(int wordCount, int radix, int shift,
                                          const std::int16_t* x, const std::int16_t* y,
                                          std::int16_t* out) {
        const int s = std::min(shift, wordCount);
        int carry = detail::resolveCarries(s, wordCount, 0, SumRule<true>{x, y, s, out, radix});
        carry = detail::resolveCarries(0, s, carry, SumRule<false>{x, y, s, out, radix});
        return finishSum(carry, wordCount, out);
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
        return finishDifference(wordCount, out);
    }
};

// Positions lo .. hi-1 of a sum or difference (s = the shift, already limited to wordCount) with
// an incoming carry or borrow of 0; returns the carry or borrow out of position lo.
template <template <bool> class Rule>
struct WordsBlock {
    [[gnu::always_inline]] static int run(int lo, int hi, int radix, int s, const std::int16_t* x,
                                          const std::int16_t* y, std::int16_t* out) {
        const int mid = std::clamp(s, lo, hi);
        int carry = 0;
        if (mid < hi) carry = detail::resolveCarries(mid, hi, 0, Rule<true>{x, y, s, out, radix});
        if (lo < mid)
            carry = detail::resolveCarries(lo, mid, carry, Rule<false>{x, y, s, out, radix});
        return carry;
    }
};

// Long sums and differences (from kSpreadWordsFrom words on, word_blocks.h) are spread over the
// active pool in blocks of at least kWordBlock
// words, each with an incoming carry of 0, joined from the last block toward word 0 by
// addCarryToWords (word_blocks.h): +1 for a carry, -1 for a borrow, on the block's result words.
//
// A block reads x and y at its own positions j and at j - s, and writes out at j. When out is x,
// or y with s = 0, a block reads only positions it writes itself, so all blocks run at once. When
// out is y and s > 0, position j reads what position j - s writes: the words are then taken in
// levels [l s, (l + 1) s), from the top level down, one run of the pool per level; a level reads
// only the level below it, which is written by the next run. With more than kMaxLevels levels
// (s < wordCount / 4) the serial loop runs instead.
constexpr int kWordBlock = 8192;
constexpr int kMaxLevels = 4;

// Returns false (having written nothing) when the pass is left to the serial loop; otherwise sets
// carryOut to the carry (sign = +1) or borrow (sign = -1) out of word 0.
template <template <bool> class Rule>
bool spreadWords(int wordCount, int radix, int s, int sign, const std::int16_t* x,
                 const std::int16_t* y, std::int16_t* out, int& carryOut) {
    if (!detail::spreadWorthIt(wordCount, detail::kSpreadWordsFrom)) return false;
    const bool levelled = y == out && s > 0 && s < wordCount;
    const int levelSize = levelled ? s : wordCount;
    const int levels = (wordCount + levelSize - 1) / levelSize;
    if (levels > kMaxLevels) return false;

    detail::BlockSplit split[kMaxLevels];
    int carries[kMaxLevels][detail::kMaxWordBlocks];
    for (int l = levels - 1; l >= 0; --l) {
        const int lo = l * levelSize;
        const int hi = std::min(wordCount, lo + levelSize);
        const detail::BlockSplit blocks = detail::splitIntoBlocks(lo, hi, kWordBlock, 64);
        split[l] = blocks;
        int* levelCarries = carries[l];
        forEachPart(blocks.count, [&](int b) {
            levelCarries[b] = detail::runCarryLoop<WordsBlock<Rule>>(blocks.begin(b), blocks.end(b),
                                                                     radix, s, x, y, out);
        });
    }
    std::int64_t carry = 0;
    for (int l = levels - 1; l >= 0; --l) {
        for (int b = split[l].count - 1; b >= 0; --b) {
            carry = sign * carries[l][b] +
                    detail::addCarryToWords(carry, radix, out, split[l].begin(b), split[l].end(b));
        }
    }
    carryOut = static_cast<int>(sign * carry);
    return true;
}

}  // namespace

int addWords(int wordCount, int radix, int shift, const std::int16_t* x, const std::int16_t* y,
             std::int16_t* out) {
    int carry = 0;
    if (spreadWords<SumRule>(wordCount, radix, std::min(shift, wordCount), +1, x, y, out, carry)) {
        return finishSum(carry, wordCount, out);
    }
    return detail::runCarryLoop<AddWords>(wordCount, radix, shift, x, y, out);
}

int subWords(int wordCount, int radix, int shift, const std::int16_t* x, const std::int16_t* y,
             std::int16_t* out) {
    int borrow = 0;
    if (spreadWords<DifferenceRule>(wordCount, radix, std::min(shift, wordCount), -1, x, y, out,
                                    borrow)) {
        return finishDifference(wordCount, out);
    }
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
