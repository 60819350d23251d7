// Setting, rounding, comparison, addition and subtraction of MpNumber.
//
// mpAdd and mpSub read every header field of their operands before they write the result's, and
// the word helpers tolerate x, y and out being one array, so out may be a, b or both.
#include <algorithm>
#include <cstdint>

#include "mp/elementary.h"
#include "mp/word_blocks.h"

namespace oskelon {

void mpSetZero(int wordCount, int /*radix*/, MpNumber& out) {
    out.sign = 0;
    out.exponent = 0;
    detail::fillSpread(out.words(), out.words() + wordCount, std::int16_t{0});
}

void mpSetOne(int wordCount, int radix, MpNumber& out) {
    mpSetZero(wordCount, radix, out);
    out.sign = 1;
    out.words()[0] = 1;
}

// keepWords >= 0. With keepWords = 0 the whole number is word 0's rounding: it becomes
// radix^(exponent + 1) when 2 * words[0] >= radix, else its words are all 0 (sign and exponent
// stay, which no caller relies on).
void mpRound(int wordCount, int radix, int keepWords, MpNumber& x) {
    if (keepWords >= wordCount) return;
    std::int16_t* w = x.words();
    const int dropped = w[keepWords];
    detail::fillSpread(w + keepWords, w + wordCount, std::int16_t{0});
    if (2 * dropped < radix) return;

    for (int j = keepWords - 1; j >= 0; --j) {
        if (w[j] + 1 < radix) {
            ++w[j];
            return;
        }
        w[j] = 0;
    }
    // The carry left word 0: every kept word was radix - 1 (now 0), or nothing was kept.
    w[0] = 1;
    ++x.exponent;
}

int mpCompareMagnitude(int wordCount, const MpNumber& a, const MpNumber& b) {
    if (a.exponent != b.exponent) return a.exponent < b.exponent ? -1 : 1;
    const std::int16_t* aw = a.words();
    const std::int16_t* bw = b.words();
    // Equal leading words are passed over in chunks by a loop without an exit, which runs in
    // vector lanes; the operands of a subtraction often agree in half their words.
    constexpr int kChunk = 64;
    int i = 0;
    for (; i + kChunk <= wordCount; i += kChunk) {
        int differ = 0;
        for (int k = 0; k < kChunk; ++k) differ |= aw[i + k] ^ bw[i + k];
        if (differ != 0) break;
    }
    for (; i < wordCount; ++i) {
        if (aw[i] != bw[i]) return aw[i] < bw[i] ? -1 : 1;
    }
    return 0;
}

namespace {

// out = a + (|b| with the sign bSign): mpAdd passes b.sign, mpSub -b.sign. bSign is 0 exactly
// when b is zero.
void addSigned(int wordCount, int radix, const MpNumber& a, const MpNumber& b, int bSign,
               MpNumber& out) {
    const int aSign = a.sign;
    const int aExp = a.exponent;
    const int bExp = b.exponent;
    const int e = std::max(aExp, bExp);
    const int diff = aExp - bExp;

    int sign;
    int exponent;
    if (aSign * bSign == 0) {
        // At most one operand is non-zero; the zero one has exponent 0 and all words 0, so a
        // shift-0 sum copies the other.
        sign = aSign + bSign;
        exponent = aExp + bExp;
        addWords(wordCount, radix, 0, a.words(), b.words(), out.words());
    } else if (aSign == bSign) {
        sign = aSign;
        const int grew = diff >= 0
                             ? addWords(wordCount, radix, diff, a.words(), b.words(), out.words())
                             : addWords(wordCount, radix, -diff, b.words(), a.words(), out.words());
        exponent = e + grew;
    } else {
        // Normal form: the larger magnitude has the larger exponent, so the shift is >= 0.
        const int c = mpCompareMagnitude(wordCount, a, b);
        const int removed =
            c >= 0 ? subWords(wordCount, radix, diff, a.words(), b.words(), out.words())
                   : subWords(wordCount, radix, -diff, b.words(), a.words(), out.words());
        sign = aSign * c;
        exponent = e - removed;
        if (removed == wordCount) sign = 0;  // all words cancelled; c = 0 already says so
    }
    out.sign = sign;
    out.exponent = sign == 0 ? 0 : exponent;
}

}  // namespace

void mpAdd(int wordCount, int radix, const MpNumber& a, const MpNumber& b, MpNumber& out) {
    addSigned(wordCount, radix, a, b, b.sign, out);
}

void mpSub(int wordCount, int radix, const MpNumber& a, const MpNumber& b, MpNumber& out) {
    addSigned(wordCount, radix, a, b, -b.sign, out);
}

}  // namespace oskelon
