// Cutting a pass over words into blocks for the active work pool, and the exact carry fix-up that
// joins blocks computed independently.
//
// A carry chain over words (word 0 the most significant) is split into blocks. Each block is first
// computed on its own with an incoming carry of 0; it then holds the base-radix digits of its own
// part of the result, W (0 <= W < radix^L for L words), and the carry that part passes on, c0.
// With the true incoming carry C the serial chain would have written the digits of W + C and
// passed on c0 + floor((W + C) / radix^L): every loop built this way forms its words as exact
// integers (floor divisions whose exactness each loop proves where it is written), and the digits
// of an integer do not depend on how the chain reached them. The fix-up adds C to W word by word
// from the block's last word, stopping once the carry is absorbed, so it writes exactly the words
// of the serial chain. Blocks are fixed up one after another from the last one toward word 0.
//
// The block sizes depend on the word count alone, never on the number of threads, and below a
// size threshold a pass is not split at all: a split costs a wake-up of the pool (some
// microseconds), which only pays on long passes.
#pragma once

#include <algorithm>
#include <cstdint>

#include "parallel/work_pool.h"

namespace oskelon::detail {

// Where each pass starts to be spread (item counts: n for the transform-array passes, words for
// the others), from bench/mp_threads_bench.cpp and whole runs on this project's 2-core machine
// (a virtual one: 1 MiB L2 per core; a pool whose second thread slept wakes it in 10 to 100
// microseconds).
//   pointwise spectrum loops  2^15  compute-bound (a split, a product and a merge per pair)
//   release (exact path)      2^15  a latency-bound integer chain: 1.7x at 2^18 words, 2x above
//   mpMulSmall                2^15  a latency-bound floating-point chain, like the release
//   conversion, sums and differences, halving
//                             2^17  bound by memory traffic: alone they gain between nothing and
//                                   1.9x at 2^18..2^23 words, but spread they keep the second
//                                   thread running between the transforms, and whole runs on two
//                                   threads gain by it (size 6: about 330 ms against 360 ms with
//                                   2^21 as the threshold, size 7: 665 against 710 ms)
//   fills                     2^17  the first write to fresh memory, where the page faults cost
//                                   more than the stores; spread, the threads share them
inline constexpr int kSpreadPairsFrom = 1 << 15;
inline constexpr int kSpreadReleaseFrom = 1 << 15;
inline constexpr int kSpreadMulSmallFrom = 1 << 15;
inline constexpr int kSpreadConversionFrom = 1 << 17;
inline constexpr int kSpreadWordsFrom = 1 << 17;
inline constexpr int kSpreadHalveFrom = 1 << 17;
inline constexpr int kSpreadFillFrom = 1 << 17;

// At most this many blocks per pass: the per-block carries live in fixed arrays on the stack.
inline constexpr int kMaxWordBlocks = 64;

// Whether a pass over `total` items is worth spreading over the active pool: one with more than
// one thread is installed and the pass reaches `threshold` items.
inline bool spreadWorthIt(int total, int threshold) {
    return total >= threshold && activeThreads() > 1;
}

// A split of [lo, hi) into `count` blocks of `size` items (the last one shorter); size is a
// multiple of `align` and at least minSize, and count <= kMaxWordBlocks.
struct BlockSplit {
    int lo, hi, size, count;
    int begin(int b) const { return lo + b * size; }
    int end(int b) const { return std::min(hi, lo + (b + 1) * size); }
};

inline BlockSplit splitIntoBlocks(int lo, int hi, int minSize, int align) {
    const int total = std::max(0, hi - lo);
    int size = std::max(minSize, (total + kMaxWordBlocks - 1) / kMaxWordBlocks);
    size = (size + align - 1) / align * align;
    const int count = total == 0 ? 0 : (total + size - 1) / size;
    return {lo, hi, size, count};
}

// Adds the signed carry `carry` to the base-radix integer held in words[begin .. end-1] (last word
// least significant, every word in 0 .. radix-1) and returns what leaves word `begin`:
// floor((W + carry) / radix^(end-begin)). Stops as soon as the carry is absorbed.
inline std::int64_t addCarryToWords(std::int64_t carry, int radix, std::int16_t* words, int begin,
                                    int end) {
    for (int j = end - 1; j >= begin && carry != 0; --j) {
        const std::int64_t t = words[j] + carry;
        std::int64_t q = t / radix;
        if (t - q * radix < 0) q -= 1;  // floor division for negative t
        words[j] = static_cast<std::int16_t>(t - q * radix);
        carry = q;
    }
    return carry;
}

// The smallest block of a spread fill, in items.
inline constexpr int kFillBlock = 1 << 14;

// Sets every item of [first, last) to value; from kSpreadFillFrom items on in blocks of at least
// kFillBlock items on the active pool.
template <typename T>
inline void fillSpread(T* first, T* last, T value) {
    const int total = static_cast<int>(last - first);
    if (!spreadWorthIt(total, kSpreadFillFrom)) {
        std::fill(first, last, value);
        return;
    }
    const BlockSplit split = splitIntoBlocks(0, total, kFillBlock, 8);
    forEachPart(split.count,
                [&](int b) { std::fill(first + split.begin(b), first + split.end(b), value); });
}

}  // namespace oskelon::detail
