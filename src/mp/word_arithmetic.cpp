// Word-array addition and subtraction with alignment: the helpers of mpAdd and mpSub.
//
// Both routines work on wordCount words in 0 .. radix-1, word 0 the most significant. y is moved
// `shift` words toward the end before it takes part; the shift is limited to wordCount, and y's
// words that fall beyond the last word are dropped, not rounded. x, y and out may be the same
// array: both loops run from the last word toward word 0 and read position j and position
// j - shift (<= j) before they write position j, so no position is read after it was written.
#include <algorithm>
#include <cstdint>

#include "mp/elementary.h"

namespace oskelon {

int addWords(int wordCount, int radix, int shift, const std::int16_t* x, const std::int16_t* y,
             std::int16_t* out) {
    const int s = std::min(shift, wordCount);
    int carry = 0;  // 0 or 1
    for (int j = wordCount - 1; j >= s; --j) {
        const int t = x[j] + y[j - s] + carry;  // 0 .. 2*radix - 1
        carry = t >= radix ? 1 : 0;
        out[j] = static_cast<std::int16_t>(t - carry * radix);
    }
    for (int j = s - 1; j >= 0; --j) {
        const int t = x[j] + carry;
        carry = t >= radix ? 1 : 0;
        out[j] = static_cast<std::int16_t>(t - carry * radix);
    }
    if (carry == 0) return 0;

    // The sum reached radix^wordCount: it gains a leading 1 and loses its last word.
    for (int j = wordCount - 1; j >= 1; --j) out[j] = out[j - 1];
    out[0] = 1;
    return 1;
}

int subWords(int wordCount, int radix, int shift, const std::int16_t* x, const std::int16_t* y,
             std::int16_t* out) {
    const int s = std::min(shift, wordCount);
    int borrow = 0;  // 0 or 1
    for (int j = wordCount - 1; j >= s; --j) {
        const int t = x[j] - y[j - s] - borrow;  // -radix .. radix - 1
        borrow = t < 0 ? 1 : 0;
        out[j] = static_cast<std::int16_t>(t + borrow * radix);
    }
    for (int j = s - 1; j >= 0; --j) {
        const int t = x[j] - borrow;
        borrow = t < 0 ? 1 : 0;
        out[j] = static_cast<std::int16_t>(t + borrow * radix);
    }
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

}  // namespace oskelon
