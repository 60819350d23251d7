// Decimal text in and out, against exact rational values (GMP) of the texts and the records.
#include "mp/decimal.h"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "mp/elementary.h"
#include "support/number_record.h"
#include "support/test_number.h"

namespace oskelon {
namespace {

using test::cut;
using test::NumberRecord;
using test::OwnedNumber;
using test::recordOf;
using test::valueOf;
const auto scaled = test::scaledByPower;

int radixOf(int digitsPerWord) {
    return digitsPerWord == 1 ? 10 : 10 * radixOf(digitsPerWord - 1);
}

// Value of "[-]d.ddd...e<int>".
mpq_class parseScientific(const std::string& text) {
    const std::size_t e = text.find('e');
    std::string digits;
    for (char c : text.substr(0, e)) {
        if (c >= '0' && c <= '9') digits += c;
    }
    const mpq_class mantissa(mpz_class(digits), 1);
    const long exponent = std::strtol(text.c_str() + e + 1, nullptr, 10);
    return (text[0] == '-' ? -1 : 1) *
           scaled(mantissa, 10, exponent - static_cast<long>(digits.size()) + 1);
}

// ---- mpFromText ----

TEST(DecimalFromText, ListedConstants) {
    for (int dpw = 1; dpw <= 4; ++dpw) {
        OwnedNumber x(3);
        mpFromText(3, dpw, "1", *x);
        EXPECT_EQ(recordOf(x), (NumberRecord{1, 0, {1, 0, 0}})) << dpw;
    }
    struct Case {
        int dpw;
        const char* text;
        NumberRecord record;  // sign, exponent, 3 words
    };
    const Case cases[] = {
        {4, "0.625", {1, -1, {6250, 0, 0}}},
        {2, "0.625", {1, -1, {62, 50, 0}}},
        {1, "0.625", {1, -1, {6, 2, 5}}},
        {4, "100", {1, 0, {100, 0, 0}}},
        {4, "12345", {1, 1, {1, 2345, 0}}},
        {4, "1e5", {1, 1, {10, 0, 0}}},
        {4, "  -  00 3.5", {-1, 0, {3, 5000, 0}}},
        {4, ".0625", {1, -1, {625, 0, 0}}},
        {4, "123.45", {1, 0, {123, 4500, 0}}},
        {3, "+7.25D-4", {1, -2, {725, 0, 0}}},
        {2, "31.4159965", {1, 0, {31, 41, 59}}},  // surplus digits dropped, not rounded
        {1, "9.9999", {1, 0, {9, 9, 9}}},
        {4, "5E", {1, 0, {5, 0, 0}}},
        {4, "2ex", {1, 0, {2, 0, 0}}},
        {4, "1 000 000", {1, 1, {100, 0, 0}}},
        {4, "12,5", {1, 0, {12, 0, 0}}},
    };
    for (const Case& c : cases) {
        OwnedNumber x(3);
        mpFromText(3, c.dpw, c.text, *x);
        EXPECT_EQ(recordOf(x), c.record) << '"' << c.text << "\" at " << c.dpw;
        EXPECT_TRUE(x.guardIntact());
    }
}

TEST(DecimalFromText, TextsWithoutSignificantDigitsGiveZero) {
    for (int dpw = 1; dpw <= 4; ++dpw) {
        for (const char* text : {"", "0", "-0", "0.000", " + 0 0. 0 0e7", "-.e3", "x5", "0..05"}) {
            OwnedNumber x(4, 1, 5, {1, 2, 3, 4});
            mpFromText(4, dpw, text, *x);
            // "0..05" reads 0.05 wherever word 0 takes more than the one zero digit.
            const NumberRecord got = recordOf(x);
            if (std::string(text) == "0..05" && got.sign != 0) {
                EXPECT_EQ(valueOf(x, 4, radixOf(dpw)).get_str(), "1/20");
                continue;
            }
            EXPECT_EQ(got, (NumberRecord{0, 0, {0, 0, 0, 0}})) << '"' << text << '"';
        }
    }
}

// Random texts with signs, spaces, leading zeros, points, exponent markers and more digits than
// the words hold: the record is the text's exact value cut to wordCount words.
TEST(DecimalFromText, MatchesTheTextsExactValue) {
    std::mt19937 rng(2024);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto spaces = [&](int most) { return std::string(uniform(0, most), ' '); };
    for (int dpw = 1; dpw <= 4; ++dpw) {
        for (int wc : {1, 2, 5}) {
            for (int iter = 0; iter < 500; ++iter) {
                const int n = uniform(1, wc * dpw + 6);
                std::string digits(1, static_cast<char>('0' + uniform(1, 9)));
                while (static_cast<int>(digits.size()) < n) {
                    const int kind = uniform(0, 3);  // runs of 0 and 9 as well
                    digits += static_cast<char>(kind == 0   ? '0'
                                                : kind == 1 ? '9'
                                                            : '0' + uniform(0, 9));
                }
                const int before = uniform(0, n);  // digits before the point
                const int fracZeros = before == 0 ? uniform(0, 5) : 0;
                const int sign = uniform(0, 1) ? -1 : 1;
                const bool marked = uniform(0, 1);
                const int exponent = marked ? uniform(-15, 15) : 0;

                std::string text = spaces(2) + (sign < 0 ? "-" : uniform(0, 1) ? "+" : "");
                for (int z = uniform(0, 3); z > 0; --z) text.append(spaces(1)).push_back('0');
                for (int i = 0; i < n; ++i) {
                    if (i == before) text.append(1, '.').append(fracZeros, '0');
                    if (uniform(0, 4) == 0) text += ' ';
                    text += digits[i];
                }
                if (before == n && uniform(0, 1)) text += ".";
                if (marked) {
                    text += "eEdD"[uniform(0, 3)];
                    if (exponent >= 0 && uniform(0, 1)) text += '+';
                    text += std::to_string(exponent);
                }
                text += uniform(0, 1) ? "" : (uniform(0, 1) ? " ,7" : "\t3");  // ends the mantissa

                const mpq_class value = sign * scaled(mpq_class(mpz_class(digits), 1), 10,
                                                      exponent - (n - before) - fracZeros);
                OwnedNumber x(wc);
                mpFromText(wc, dpw, text.c_str(), *x);
                ASSERT_EQ(recordOf(x), cut(value, radixOf(dpw), wc))
                    << '"' << text << "\" dpw " << dpw << " wc " << wc;
                ASSERT_TRUE(x.guardIntact());
            }
        }
    }
}

// ---- mpToText ----

std::string toText(const OwnedNumber& x, int count, int dpw) {
    const std::size_t bytes = mpTextBytes(count, dpw);
    std::vector<char> buffer(bytes + 16, '\x7f');
    mpToText(count, dpw, *x, buffer.data());
    for (std::size_t i = bytes; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], '\x7f') << i;
    return std::string(buffer.data());
}

TEST(DecimalToText, ListedNumbers) {
    OwnedNumber half(1, -1, -1, {5000});
    EXPECT_EQ(toText(half, 1, 4), "-5.000e-1");
    OwnedNumber small(3, 1, -2, {62, 50, 0});
    EXPECT_EQ(toText(small, 3, 2), "6.25000e-3");
    OwnedNumber zero(3);
    EXPECT_EQ(toText(zero, 3, 4), "0.00000000e0");
    EXPECT_EQ(toText(zero, 2, 1), "0.0e0");
    OwnedNumber three(3, 1, 0, {3});
    EXPECT_EQ(toText(three, 1, 4), "3.e0");

    const int wc = 8;
    OwnedNumber pi(wc);
    mpFromText(wc, 4, "3.14159265358979323846264338327950288", *pi);
    EXPECT_EQ(toText(pi, wc - 1, 4), "3.141592653589793238462643e0");
}

// -10^(dpw-1) * radix^e with a word 0 of one significant digit and the extreme exponents: the
// longest texts, which must fit mpTextBytes (toText checks the bytes after it).
TEST(DecimalToText, ExtremeExponentsFitTheBuffer) {
    for (int dpw = 1; dpw <= 4; ++dpw) {
        const int radix = radixOf(dpw);
        for (std::int32_t e :
             {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()}) {
            OwnedNumber x(3, -1, e, {radix / 10 > 0 ? radix / 10 : 1, radix - 1, 0});
            const long long firstDigitExponent = static_cast<long long>(dpw) * e + dpw - 1;
            std::string expected = "-1.";
            expected.append(dpw - 1, '0').append(dpw, '9').append(dpw, '0');
            expected.append(1, 'e').append(std::to_string(firstDigitExponent));
            const std::string text = toText(x, 3, dpw);
            EXPECT_EQ(text, expected);
            if (e < 0) {
                EXPECT_EQ(text.size() + 1, mpTextBytes(3, dpw));
            }
        }
    }
}

// Random records at every digitsPerWord: the text has the record's exact value (of the words
// written), a single non-zero digit before the point, and reads back to the same record.
TEST(DecimalToText, RoundTripsAtEveryDigitsPerWord) {
    std::mt19937 rng(7);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int dpw = 1; dpw <= 4; ++dpw) {
        const int radix = radixOf(dpw);
        for (int wc : {1, 2, 3, 9}) {
            for (int iter = 0; iter < 300; ++iter) {
                OwnedNumber x(wc);
                for (int i = 0; i < wc; ++i) {
                    const int kind = uniform(0, 2);
                    x[i] = static_cast<std::int16_t>(kind == 0   ? 0
                                                     : kind == 1 ? radix - 1
                                                                 : uniform(0, radix - 1));
                }
                if (x[0] == 0) x[0] = static_cast<std::int16_t>(uniform(1, radix - 1));
                x->sign = uniform(0, 1) ? 1 : -1;
                x->exponent = uniform(-60, 60);
                if (iter % 25 == 0) mpSetZero(wc, radix, *x);
                const int count = uniform(1, wc);

                const std::string text = toText(x, count, dpw);
                SCOPED_TRACE(text);
                ASSERT_EQ(parseScientific(text).get_str(), valueOf(x, count, radix).get_str());
                const std::size_t lead = x->sign < 0 ? 1 : 0;
                ASSERT_EQ(text.find('.'), lead + 1);
                ASSERT_TRUE(x->sign == 0 || text[lead] != '0');
                ASSERT_EQ(text.find_first_not_of("-.0123456789"), text.find('e'));

                OwnedNumber back(wc);
                mpFromText(wc, dpw, text.c_str(), *back);
                ASSERT_EQ(recordOf(back), cut(valueOf(x, count, radix), radix, wc));
                ASSERT_EQ(toText(back, count, dpw), text);
            }
        }
    }
}

}  // namespace
}  // namespace oskelon
