// Exact views of MpNumber values through GMP and MPFR (test oracles only).
#pragma once

#include <gmpxx.h>
#include <mpfr.h>

#include <algorithm>
#include <cstdint>
#include <random>

#include "mp/mp_number.h"

namespace oskelon::test {

inline mpz_class radixPower(int radix, long k) {
    mpz_class p;
    mpz_ui_pow_ui(p.get_mpz_t(), static_cast<unsigned long>(radix), static_cast<unsigned long>(k));
    return p;
}

// The signed integer formed by the words: value = mantissa * radix^(exponent - (count - 1)).
inline mpz_class mantissa(const MpNumber& x, int count, int radix) {
    mpz_class m = 0;
    for (int i = 0; i < count; ++i) {
        m *= radix;
        m += x.words()[i];
    }
    if (x.sign < 0) m = -m;
    if (x.sign == 0) m = 0;
    return m;
}

// A value mantissa * radix^scale held exactly.
struct ExactValue {
    mpz_class mant;
    long scale;
};

inline ExactValue exactOf(const MpNumber& x, int count, int radix) {
    return {mantissa(x, count, radix), static_cast<long>(x.exponent) - (count - 1)};
}

inline ExactValue exactProduct(const ExactValue& a, const ExactValue& b) {
    return {a.mant * b.mant, a.scale + b.scale};
}

// (a - b) in units of radix^unitScale, as a double (rounded toward zero).
inline double unitsBetween(const ExactValue& a, const ExactValue& b, long unitScale, int radix) {
    const long low = std::min({a.scale, b.scale, unitScale});
    const mpz_class diff =
        a.mant * radixPower(radix, a.scale - low) - b.mant * radixPower(radix, b.scale - low);
    const mpz_class units = diff / radixPower(radix, unitScale - low);  // truncates toward zero
    return units.get_d();
}

// x - ref in units of x's last word (count words); ref is an MPFR value.
inline double unitsOff(const MpNumber& x, int count, int radix, mpfr_srcptr ref) {
    const long scale = static_cast<long>(x.exponent) - (count - 1);
    mpfr_t scaled;
    mpfr_init2(scaled, mpfr_get_prec(ref) + 64);
    if (scale <= 0) {
        mpfr_mul_z(scaled, ref, radixPower(radix, -scale).get_mpz_t(), MPFR_RNDN);
    } else {
        mpfr_div_z(scaled, ref, radixPower(radix, scale).get_mpz_t(), MPFR_RNDN);
    }
    mpfr_t m;
    mpfr_init2(m, mpfr_get_prec(scaled));
    mpfr_set_z(m, mantissa(x, count, radix).get_mpz_t(), MPFR_RNDN);
    mpfr_sub(m, m, scaled, MPFR_RNDN);
    const double units = mpfr_get_d(m, MPFR_RNDN);
    mpfr_clear(m);
    mpfr_clear(scaled);
    return units;
}

// The exact value of x as an MPFR number of precision `bits` (rounded when scale < 0).
inline void toMpfr(mpfr_ptr out, const MpNumber& x, int count, int radix) {
    const ExactValue v = exactOf(x, count, radix);
    mpfr_set_z(out, v.mant.get_mpz_t(), MPFR_RNDN);
    if (v.scale >= 0) {
        mpfr_mul_z(out, out, radixPower(radix, v.scale).get_mpz_t(), MPFR_RNDN);
    } else {
        mpfr_div_z(out, out, radixPower(radix, -v.scale).get_mpz_t(), MPFR_RNDN);
    }
}

// Random words in 0 .. radix-1 for words [from, to), in one of several styles: uniform, runs of
// radix-1 and 0 (border cases for carries and borrows), or all radix-1.
enum class WordStyle { Uniform, Runs, AllMax };

inline void fillRandomWords(std::mt19937_64& rng, int radix, WordStyle style, std::int16_t* words,
                            int from, int to) {
    std::uniform_int_distribution<int> digit(0, radix - 1);
    std::uniform_int_distribution<int> runLength(1, 40);
    int run = 0;
    int runWord = 0;
    for (int i = from; i < to; ++i) {
        switch (style) {
            case WordStyle::Uniform:
                words[i] = static_cast<std::int16_t>(digit(rng));
                break;
            case WordStyle::AllMax:
                words[i] = static_cast<std::int16_t>(radix - 1);
                break;
            case WordStyle::Runs:
                if (run == 0) {
                    run = runLength(rng);
                    const int pick = digit(rng) % 3;
                    runWord = pick == 0 ? 0 : pick == 1 ? radix - 1 : digit(rng);
                }
                words[i] = static_cast<std::int16_t>(runWord);
                --run;
                break;
        }
    }
}

// A random normal-form number of `count` words whose first `used` words are filled.
inline void randomNumber(std::mt19937_64& rng, int count, int radix, int used, WordStyle style,
                         int sign, int exponent, MpNumber& x) {
    x.sign = sign;
    x.exponent = exponent;
    fillRandomWords(rng, radix, style, x.words(), 0, used);
    for (int i = used; i < count; ++i) x.words()[i] = 0;
    if (x.words()[0] == 0) x.words()[0] = static_cast<std::int16_t>(1 + rng() % (radix - 1));
}

}  // namespace oskelon::test
