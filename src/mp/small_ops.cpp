// Multiplication and division of an MpNumber by a machine integer, and halving.
//
// The word loops of mpMulSmall and mpDivSmall run in double precision and form each quotient by
// multiplying with a reciprocal. Every dividend is an integer plus 0.5, so its true quotient
// lies at least 0.5/divisor away from an integer: >= 2^-15 for the radix, >= 2^-32 for |d|. The
// error of the reciprocal product is a few units of 2^-53 relative: below 2^-20 on a quotient
// below 2^31 (mpMulSmall), below 2^-38 on a quotient below radix (mpDivSmall). Truncation thus
// gives the exact quotient, and the remainder t - q * divisor, formed exactly, truncates to the
// exact remainder. All intermediate values are multiples of 0.5 below 10000 * 2^31 + 2^31 < 2^53.
//
// Each routine reads its operand's header before writing the result's, and writes a word only
// after reading every operand word at or before that position, so out may be a.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "mp/elementary.h"
#include "mp/word_blocks.h"

namespace oskelon {
namespace {

// Long word loops are spread over the active pool (from the sizes in word_blocks.h on) in blocks
// of at least kSmallOpsBlock words; the block sizes depend on wordCount alone.
constexpr int kSmallOpsBlock = 8192;

// Words hi-1 down to lo of a * |m| with an incoming carry c; returns the carry out of word lo.
inline std::int32_t mulSmallWords(const std::int16_t* aw, std::int16_t* ow, int lo, int hi,
                                  double absM, double dRadix, double invRadix, std::int32_t c) {
    for (int j = hi - 1; j >= lo; --j) {
        const double t = aw[j] * absM + c + 0.5;
        c = static_cast<std::int32_t>(t * invRadix);
        ow[j] = static_cast<std::int16_t>(t - c * dRadix);
    }
    return c;
}

// The loop of mpMulSmall in blocks, each with carry 0, joined by addCarryToWords (word_blocks.h):
// every word and carry of the loop is an exact integer (above), so the block's words are the
// digits of its part of a * |m| and the fix-up gives the words and the final carry of the serial
// loop. The final carry is below |m|, as there.
std::int32_t mulSmallSpread(int wordCount, int radix, const std::int16_t* aw, std::int16_t* ow,
                            double absM, double dRadix, double invRadix) {
    const detail::BlockSplit split = detail::splitIntoBlocks(0, wordCount, kSmallOpsBlock, 64);
    std::int32_t carries[detail::kMaxWordBlocks];
    forEachPart(split.count, [&](int b) {
        carries[b] = mulSmallWords(aw, ow, split.begin(b), split.end(b), absM, dRadix, invRadix, 0);
    });
    std::int64_t carry = 0;
    for (int b = split.count - 1; b >= 0; --b) {
        carry =
            carries[b] + detail::addCarryToWords(carry, radix, ow, split.begin(b), split.end(b));
    }
    return static_cast<std::int32_t>(carry);
}

// The loop of mpMulSmall as four chains side by side, each over a quarter of the words from carry
// 0, joined as in mulSmallSpread: the chains do not wait for each other, so the latency of a
// word's reciprocal step is paid once for four words. Gives the serial loop's words and carry.
constexpr int kMulSmallChainsFrom = 1024;

std::int32_t mulSmallFourChains(int wordCount, int radix, const std::int16_t* aw, std::int16_t* ow,
                                double absM, double dRadix, double invRadix) {
    const int s = wordCount / 4;  // blocks 0, 1 and 2 of s words; block 3 the rest
    std::int32_t c[4] = {0, 0, 0, 0};
    c[3] = mulSmallWords(aw, ow, 4 * s, wordCount, absM, dRadix, invRadix, 0);
    for (int i = s - 1; i >= 0; --i) {
        for (int b = 0; b < 4; ++b) {
            const int j = b * s + i;
            const double t = aw[j] * absM + c[b] + 0.5;
            c[b] = static_cast<std::int32_t>(t * invRadix);
            ow[j] = static_cast<std::int16_t>(t - c[b] * dRadix);
        }
    }
    std::int64_t carry = 0;
    for (int b = 3; b >= 0; --b) {
        const int end = b == 3 ? wordCount : (b + 1) * s;
        carry = c[b] + detail::addCarryToWords(carry, radix, ow, b * s, end);
    }
    return static_cast<std::int32_t>(carry);
}

// Words lo .. hi-1 of a / 2 with an even radix: word m is (w + carry * radix) / 2, w the word that
// lands there (a's word m, or m + 1 when the leading 1 moved down) and carry the lowest bit of
// the word before it. `carry` is the carry into word lo and `last` the word landing on hi - 1, both
// read by the caller before any block writes (out may be a, and a neighbour block writes those
// positions).
//
// The words go through a copy in chunks, the word before the chunk first: a chunk is read before
// any of its words is written, and the loop over the copy carries nothing from one word to the
// next, so it runs in vector lanes.
inline void halveWords(const std::int16_t* aw, std::int16_t* ow, int lo, int hi, int lead,
                       int radix, int carry, int last) {
    // A word plus radix stays below 2^15, so the sums are formed in 16-bit lanes.
    constexpr int kChunk = 64;
    const auto r = static_cast<std::uint16_t>(radix);
    std::uint16_t w[kChunk + 1];
    w[0] = static_cast<std::uint16_t>(carry);
    int m = lo;
    for (; m + kChunk < hi; m += kChunk) {  // never the word at hi - 1
        std::memcpy(w + 1, aw + m + lead, sizeof w - sizeof w[0]);
        for (int i = 0; i < kChunk; ++i) {
            const auto sum = static_cast<std::uint16_t>(w[i + 1] + ((w[i] & 1) != 0 ? r : 0));
            ow[m + i] = static_cast<std::int16_t>(sum >> 1);
        }
        w[0] = w[kChunk];
    }
    carry = w[0] & 1;
    for (; m < hi; ++m) {
        const int v = m + 1 == hi ? last : aw[m + lead];
        ow[m] = static_cast<std::int16_t>((v + carry * radix) / 2);
        carry = v & 1;
    }
}

void halveSpread(int wordCount, int radix, const std::int16_t* aw, std::int16_t* ow, int lead) {
    // lead = 1: words 0 .. wordCount-2 take a's words 1 .. wordCount-1 (the last word is the
    // caller's); lead = 0: words 0 .. wordCount-1 take a's own.
    const int end = wordCount - lead;
    const detail::BlockSplit split = detail::splitIntoBlocks(0, end, kSmallOpsBlock, 64);
    std::int16_t carryIn[detail::kMaxWordBlocks];
    std::int16_t last[detail::kMaxWordBlocks];
    for (int b = 0; b < split.count; ++b) {
        const int lo = split.begin(b);
        carryIn[b] = static_cast<std::int16_t>(lo == 0 ? lead : aw[lo + lead - 1] & 1);
        last[b] = aw[split.end(b) - 1 + lead];
    }
    forEachPart(split.count, [&](int b) {
        halveWords(aw, ow, split.begin(b), split.end(b), lead, radix, carryIn[b], last[b]);
    });
}

}  // namespace

void mpMulSmall(int wordCount, int radix, const MpNumber& a, std::int32_t m, MpNumber& out) {
    const int sign = m > 0 ? a.sign : (m < 0 ? -a.sign : 0);
    const int aExponent = a.exponent;
    const double absM = std::fabs(static_cast<double>(m));  // up to 2^31
    const double dRadix = radix;
    const double invRadix = 1.0 / dRadix;
    const std::int16_t* aw = a.words();
    std::int16_t* ow = out.words();

    // c < |m| throughout, so it fits a signed 32-bit integer even for m = -2^31.
    std::int32_t c;
    if (detail::spreadWorthIt(wordCount, detail::kSpreadMulSmallFrom))
        c = mulSmallSpread(wordCount, radix, aw, ow, absM, dRadix, invRadix);
    else if (wordCount >= kMulSmallChainsFrom)
        c = mulSmallFourChains(wordCount, radix, aw, ow, absM, dRadix, invRadix);
    else
        c = mulSmallWords(aw, ow, 0, wordCount, absM, dRadix, invRadix, 0);

    // k = number of radix words the final carry occupies (0 for c = 0, 1 for 1 <= c < radix, ...).
    int k = 0;
    for (double v = c + 0.5; v > 1.0; v /= dRadix) ++k;
    int exponent = aExponent + k;

    if (k > 0) {
        if (k > wordCount) {
            // Only the carry survives, and it is rounded (half up, word by word) to wordCount
            // words; all words of the loop fall off the end.
            for (int i = 0; i < k - wordCount; ++i) {
                c = static_cast<std::int32_t>(std::trunc(c / dRadix + 0.5));
            }
            k = wordCount;
        }
        for (int j = wordCount - 1; j >= k; --j) ow[j] = ow[j - k];
        for (int j = k - 1; j >= 0; --j) {
            const double t = c + 0.5;
            const double q = std::trunc(t / dRadix);
            ow[j] = static_cast<std::int16_t>(t - q * dRadix);
            c = static_cast<std::int32_t>(q);
        }
        if (c != 0) {
            // The rounding above carried into one more word: the carry was just below
            // radix^wordCount and became exactly radix^wordCount, so every word is now 0.
            ow[0] = 1;
            ++exponent;
        }
    }

    out.sign = sign;
    out.exponent = sign == 0 ? 0 : exponent;
}

int mpDivSmall(int wordCount, int radix, const MpNumber& a, std::int32_t d, MpNumber& out) {
    if (d == 0) return -1;
    const int sign = d > 0 ? a.sign : -a.sign;
    if (a.sign == 0) {
        mpSetZero(wordCount, radix, out);
        return 0;
    }
    const int aExponent = a.exponent;
    const double absD = std::fabs(static_cast<double>(d));  // up to 2^31
    const double invD = 1.0 / absD;
    const double dRadix = radix;
    const std::int16_t* aw = a.words();
    std::int16_t* ow = out.words();

    // Smallest count i of leading words (zero words taken beyond the last) whose value s reaches
    // |d|; words[0] != 0 makes this end, with i <= 11. Then |d| <= s < |d| * radix.
    double s = 0.0;
    int i = 0;
    do {
        ++i;
        s *= dRadix;
        if (i <= wordCount) s += aw[i - 1];
    } while (s < absD - 0.5);

    double q = std::trunc((s + 0.5) * invD);  // 1 .. radix - 1
    double r = std::trunc((s + 0.5) - q * absD);
    ow[0] = static_cast<std::int16_t>(q);

    // Word k of a is read before out[k - i + 1] (at or before position k) is written.
    int next = 1;
    for (int k = i; k < wordCount; ++k) {
        const double t = r * dRadix + aw[k] + 0.5;
        q = std::trunc(t * invD);
        r = std::trunc(t - q * absD);
        ow[next++] = static_cast<std::int16_t>(q);
    }
    for (; next < wordCount; ++next) {
        const double t = r * dRadix + 0.5;
        q = std::trunc(t * invD);
        r = std::trunc(t - q * absD);
        ow[next] = static_cast<std::int16_t>(q);
    }

    out.sign = sign;
    out.exponent = aExponent - (i - 1);
    return 0;
}

void mpHalve(int wordCount, int radix, const MpNumber& a, MpNumber& out) {
    const int sign = a.sign;
    const int aExponent = a.exponent;
    const std::int16_t* aw = a.words();
    std::int16_t* ow = out.words();

    // With an even radix the remainder a word passes down is just its own lowest bit, so no
    // carry runs through the loop; each word is read before its slot is written (out may be a).
    if (radix % 2 == 0) {
        const int lead = aw[0] == 1 ? 1 : 0;
        const int carry = aw[wordCount - 1] & 1;  // read before any word is written
        if (detail::spreadWorthIt(wordCount, detail::kSpreadHalveFrom))
            halveSpread(wordCount, radix, aw, ow, lead);
        else
            halveWords(aw, ow, 0, wordCount - lead, lead, radix, lead, aw[wordCount - 1]);
        if (lead == 1) ow[wordCount - 1] = static_cast<std::int16_t>(carry * (radix / 2));
        out.exponent = aExponent - lead;
        out.sign = sign;
        return;
    }
    // An odd radix passes down the remainder of the whole dividend.
    if (aw[0] == 1) {
        // The leading 1 moves into the next word as a carry of radix; the result starts one
        // word lower and its extra last word takes the final half, so nothing is lost.
        int carry = 1;
        for (int m = 0; m + 1 < wordCount; ++m) {
            const int w = aw[m + 1];
            const int t = w + carry * radix;
            ow[m] = static_cast<std::int16_t>(t / 2);
            carry = t & 1;
        }
        ow[wordCount - 1] = static_cast<std::int16_t>(carry * (radix / 2));
        out.exponent = aExponent - 1;
    } else {
        // Zero falls here too. A final odd remainder is dropped.
        int carry = 0;
        for (int m = 0; m < wordCount; ++m) {
            const int w = aw[m];
            const int t = w + carry * radix;
            ow[m] = static_cast<std::int16_t>(t / 2);
            carry = t & 1;
        }
        out.exponent = aExponent;
    }
    out.sign = sign;
}

}  // namespace oskelon
