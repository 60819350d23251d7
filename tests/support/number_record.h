// The exact value of a number's words and the cut oracle: the record (sign, exponent, words) that
// a value cut toward zero to a number of words must give, built with GMP rationals, independently
// of the code under test.
#pragma once

#include <gmpxx.h>

#include <ostream>
#include <vector>

#include "support/test_number.h"

namespace oskelon::test {

// v * radix^n.
inline mpq_class scaledByPower(const mpq_class& v, int radix, long n) {
    mpz_class p;
    mpz_ui_pow_ui(p.get_mpz_t(), static_cast<unsigned long>(radix),
                  static_cast<unsigned long>(n < 0 ? -n : n));
    return n >= 0 ? mpq_class(v * p) : mpq_class(v / p);
}

// sign * W * radix^(exponent - (count - 1)), W the integer the first count words form.
inline mpq_class valueOf(const OwnedNumber& x, int count, int radix) {
    mpz_class w = 0;
    for (int i = 0; i < count; ++i) w = w * radix + x[i];
    return scaledByPower(x->sign * mpq_class(w), radix, x->exponent - (count - 1));
}
inline mpq_class valueOf(const OwnedNumber& x, int radix) {
    return valueOf(x, x.wordCount(), radix);
}

struct NumberRecord {
    int sign;
    int exponent;
    std::vector<int> words;
    bool operator==(const NumberRecord&) const = default;
};
inline void PrintTo(const NumberRecord& r, std::ostream* os) {
    *os << "{sign " << r.sign << ", exp " << r.exponent << ", words";
    for (int w : r.words) *os << ' ' << w;
    *os << '}';
}

inline NumberRecord recordOf(const OwnedNumber& x) {
    return {x->sign, x->exponent, x.words()};
}

// The normal-form record of v cut (toward zero) to wordCount words.
inline NumberRecord cut(const mpq_class& v, int radix, int wordCount) {
    NumberRecord r{sgn(v), 0, std::vector<int>(wordCount, 0)};
    if (r.sign == 0) return r;
    const mpq_class m = abs(v);
    int e = 0;
    while (m >= scaledByPower(1, radix, e + 1)) ++e;
    while (m < scaledByPower(1, radix, e)) --e;
    const mpq_class s = scaledByPower(m, radix, wordCount - 1 - e);
    mpz_class n;
    mpz_fdiv_q(n.get_mpz_t(), s.get_num_mpz_t(), s.get_den_mpz_t());
    for (int i = wordCount - 1; i >= 0; --i, n /= radix) {
        r.words[i] = static_cast<int>(mpz_class(n % radix).get_si());
    }
    r.exponent = e;
    return r;
}

}  // namespace oskelon::test
