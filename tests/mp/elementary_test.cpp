// Elementary operations against exact rational arithmetic (GMP) on random and border operands.
#include "mp/elementary.h"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <random>
#include <vector>

#include "support/number_record.h"
#include "support/test_number.h"

namespace oskelon {
namespace {

using test::cut;
using test::OwnedNumber;
using test::recordOf;
using test::valueOf;
using Record = test::NumberRecord;
const auto scaled = test::scaledByPower;

constexpr int kRadices[] = {10, 100, 1000, 10000};
constexpr int kWordCounts[] = {1, 2, 3, 5, 8, 21};

// ---- Oracle: exact values and the records they cut to ----

mpz_class power(int radix, long n) {
    mpz_class r;
    mpz_ui_pow_ui(r.get_mpz_t(), radix, n);
    return r;
}
mpz_class wordsAsInteger(const std::int16_t* w, int count, int radix) {
    mpz_class n = 0;
    for (int i = 0; i < count; ++i) n = n * radix + w[i];
    return n;
}
// |v| truncated to a multiple of radix^grid, sign kept.
mpq_class truncToGrid(const mpq_class& v, int radix, long grid) {
    const mpq_class s = scaled(v, radix, -grid);
    mpz_class n;
    mpz_tdiv_q(n.get_mpz_t(), s.get_num_mpz_t(), s.get_den_mpz_t());
    return scaled(mpq_class(n), radix, grid);
}

// ---- Operands with border words: runs of 0, of radix - 1 and of random words ----

class Operands {
  public:
    Operands(int radix, int wordCount) : radix_(radix), wc_(wordCount), rng_(radix * 131 + wc_) {}

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    void fillWords(std::int16_t* w, int count) {
        for (int i = 0; i < count;) {
            const int kind = uniform(0, 2);
            for (int run = uniform(1, count); run > 0 && i < count; --run, ++i) {
                w[i] = static_cast<std::int16_t>(kind == 0   ? 0
                                                 : kind == 1 ? radix_ - 1
                                                             : uniform(0, radix_ - 1));
            }
        }
    }

    // A non-zero normal-form number; word 0 is often 1, radix/2 or radix - 1.
    void fill(OwnedNumber& x, int sign, int exponent) {
        x->sign = sign;
        x->exponent = exponent;
        fillWords(x->words(), wc_);
        const int leads[] = {1, radix_ / 2, radix_ - 1, uniform(1, radix_ - 1)};
        if (x[0] == 0 || uniform(0, 2) == 0) x[0] = static_cast<std::int16_t>(leads[uniform(0, 3)]);
    }
    void fillRandom(OwnedNumber& x) {
        if (uniform(0, 9) == 0) return mpSetZero(wc_, radix_, *x);
        fill(x, uniform(0, 1) ? 1 : -1, uniform(-wc_ - 3, wc_ + 3));
    }

    std::int32_t multiplier() {
        constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max(), kMin = -kMax - 1;
        const std::int32_t fixed[] = {1,         -1,     2,           -3,         49,   65537,
                                      999999937, radix_, -radix_ - 1, radix_ - 1, kMax, kMin};
        if (uniform(0, 1)) return fixed[uniform(0, static_cast<int>(std::size(fixed)) - 1)];
        const std::int32_t m = std::uniform_int_distribution<std::int32_t>()(rng_);
        return m != 0 ? m : 1;
    }

  private:
    int radix_;
    int wc_;
    std::mt19937 rng_;
};

// ---- Word routines ----

// addWords and subWords on random arrays (runs of 0 and of radix-1 among random words), all shifts
// and every aliasing, against mpz.
void checkAddAndSubtractWords(int radix, int wc, int iterations) {
    {
        {
            Operands gen(radix, wc);
            const mpz_class top = power(radix, wc);
            for (int iter = 0; iter < iterations; ++iter) {
                std::vector<std::int16_t> x(wc), y(wc), out(wc);
                gen.fillWords(x.data(), wc);
                gen.fillWords(y.data(), wc);
                const int shifts[] = {0, 1, wc - 1, wc, wc + 3, gen.uniform(0, wc)};
                const int s = shifts[iter % 6];
                auto moved = [&](const std::vector<std::int16_t>& v) {
                    return mpz_class(wordsAsInteger(v.data(), wc, radix) / power(radix, s));
                };
                auto asInteger = [&](const std::vector<std::int16_t>& v) {
                    return wordsAsInteger(v.data(), wc, radix);
                };
                // Leading zero words of a wordCount-word difference (wordCount when it is 0).
                auto leadingZeros = [&](const mpz_class& d) {
                    int z = 0;
                    while (z < wc && d * power(radix, z) < top / radix) ++z;
                    return z;
                };
                SCOPED_TRACE(testing::Message() << "radix " << radix << " wc " << wc << " s " << s);

                mpz_class sum = asInteger(x) + moved(y);
                const int grew = sum >= top ? 1 : 0;
                if (grew) sum /= radix;
                ASSERT_EQ(addWords(wc, radix, s, x.data(), y.data(), out.data()), grew);
                ASSERT_EQ(asInteger(out).get_str(), sum.get_str());
                std::vector<std::int16_t> alias = x;
                ASSERT_EQ(addWords(wc, radix, s, alias.data(), y.data(), alias.data()), grew);
                ASSERT_EQ(alias, out);
                alias = y;
                ASSERT_EQ(addWords(wc, radix, s, x.data(), alias.data(), alias.data()), grew);
                ASSERT_EQ(alias, out);

                if (asInteger(x) < moved(y)) std::swap(x, y);
                const mpz_class diff = asInteger(x) - moved(y);
                const int z = leadingZeros(diff);
                ASSERT_EQ(subWords(wc, radix, s, x.data(), y.data(), out.data()), z);
                ASSERT_EQ(asInteger(out).get_str(),
                          mpz_class(diff * power(radix, z == wc ? 0 : z)).get_str());
                alias = x;
                ASSERT_EQ(subWords(wc, radix, s, alias.data(), y.data(), alias.data()), z);
                ASSERT_EQ(alias, out);
                alias = y;
                ASSERT_EQ(subWords(wc, radix, s, x.data(), alias.data(), alias.data()), z);
                ASSERT_EQ(alias, out);

                // x, y and out one array: x - (x moved s).
                alias = x;
                const mpz_class self = asInteger(x) - moved(x);
                const int zs = leadingZeros(self);
                ASSERT_EQ(subWords(wc, radix, s, alias.data(), alias.data(), alias.data()), zs);
                ASSERT_EQ(asInteger(alias).get_str(),
                          mpz_class(self * power(radix, zs == wc ? 0 : zs)).get_str());
            }
        }
    }
}

TEST(ElementaryWords, AddAndSubtractAlignedArraysExactly) {
    for (int radix : kRadices) {
        for (int wc : kWordCounts) checkAddAndSubtractWords(radix, wc, 300);
    }
}

// Long arrays: carries resolved a block of 256 words at a time, with runs of radix-1 sums and of
// zero differences that cross the block edges.
TEST(ElementaryWords, AddAndSubtractAcrossCarryBlocks) {
    for (int radix : {10, 10000}) {
        for (int wc : {255, 256, 257, 513, 1100}) checkAddAndSubtractWords(radix, wc, 60);
    }
}

// ---- Addition, subtraction, comparison ----

// Expected a + sign*b: the operand with the smaller exponent loses the words that its alignment
// moves beyond the last word, before the sum; the sum is then cut to wordCount words.
Record expectedSum(const OwnedNumber& a, const OwnedNumber& b, int bFactor, int radix) {
    const int wc = a.wordCount();
    if (a->sign == 0 && b->sign == 0) return cut(0, radix, wc);
    const int e = a->sign == 0   ? b->exponent
                  : b->sign == 0 ? a->exponent
                                 : std::max(a->exponent, b->exponent);
    const long grid = e - (wc - 1);
    return cut(truncToGrid(valueOf(a, radix), radix, grid) +
                   bFactor * truncToGrid(valueOf(b, radix), radix, grid),
               radix, wc);
}

TEST(ElementaryAddSub, MatchExactArithmeticWithAliasing) {
    for (int radix : kRadices) {
        for (int wc : kWordCounts) {
            Operands gen(radix, wc);
            for (int iter = 0; iter < 400; ++iter) {
                OwnedNumber a(wc), b(wc);
                gen.fillRandom(a);
                switch (iter % 4) {
                    case 0:  // independent, exponents up to beyond wordCount apart
                        gen.fill(b, gen.uniform(0, 1) ? 1 : -1,
                                 a->exponent + gen.uniform(-wc - 2, wc + 2));
                        break;
                    case 1:  // equal magnitude
                        b = a;
                        b->sign = gen.uniform(0, 1) ? a->sign : -a->sign;
                        break;
                    case 2:  // a magnitude close to a's: long cancellations
                        b = a;
                        if (a->sign != 0) b[gen.uniform(0, wc - 1)] = gen.uniform(1, radix - 1);
                        if (gen.uniform(0, 1)) b->sign = -b->sign;
                        break;
                    default:
                        gen.fillRandom(b);
                        if (gen.uniform(0, 2) == 0) mpSetZero(wc, radix, *b);
                }
                const Record aBefore = recordOf(a), bBefore = recordOf(b);
                SCOPED_TRACE(testing::Message()
                             << "radix " << radix << " wc " << wc << " iter " << iter);
                for (int factor : {1, -1}) {
                    auto op = factor == 1 ? mpAdd : mpSub;
                    const Record expected = expectedSum(a, b, factor, radix);
                    OwnedNumber out(wc);
                    op(wc, radix, *a, *b, *out);
                    ASSERT_EQ(recordOf(out), expected) << (factor == 1 ? "add" : "sub");
                    ASSERT_TRUE(out.guardIntact());
                    ASSERT_EQ(recordOf(a), aBefore);
                    ASSERT_EQ(recordOf(b), bBefore);
                    OwnedNumber alias = a;
                    op(wc, radix, *alias, *b, *alias);
                    ASSERT_EQ(recordOf(alias), expected) << "out = a";
                    alias = b;
                    op(wc, radix, *a, *alias, *alias);
                    ASSERT_EQ(recordOf(alias), expected) << "out = b";
                    alias = a;
                    op(wc, radix, *alias, *alias, *alias);
                    ASSERT_EQ(recordOf(alias), cut((1 + factor) * valueOf(a, radix), radix, wc))
                        << "a = b = out";
                    ASSERT_TRUE(alias.guardIntact());
                }
                if (a->sign != 0 && b->sign != 0) {
                    const int c = cmp(abs(valueOf(a, radix)), abs(valueOf(b, radix)));
                    ASSERT_EQ(mpCompareMagnitude(wc, *a, *b), (c > 0) - (c < 0));
                }
            }
        }
    }
}

TEST(ElementaryAddSub, ZeroOperandsAndCancellation) {
    const int wc = 4;
    OwnedNumber zero(wc, 0, 0, {}), one(wc, 1, 0, {1}), out(wc);
    mpAdd(wc, 10000, *one, *zero, *out);
    EXPECT_EQ(recordOf(out), recordOf(one));
    mpAdd(wc, 10000, *zero, *one, *out);
    EXPECT_EQ(recordOf(out), recordOf(one));
    mpSub(wc, 10000, *zero, *one, *out);
    EXPECT_EQ(recordOf(out), (Record{-1, 0, {1, 0, 0, 0}}));
    mpAdd(wc, 10000, *zero, *zero, *out);
    EXPECT_EQ(recordOf(out), recordOf(zero));

    for (int radix : kRadices) {
        Operands gen(radix, wc);
        for (int i = 0; i < 20; ++i) {
            OwnedNumber x(wc);
            gen.fill(x, i % 2 ? 1 : -1, gen.uniform(-9, 9));
            mpSub(wc, radix, *x, *x, *out);
            EXPECT_EQ(recordOf(out), recordOf(zero)) << "x - x";
            mpSub(wc, radix, *x, *x, *x);
            EXPECT_EQ(recordOf(x), recordOf(zero)) << "x - x in place";
        }
    }
}

TEST(ElementaryAddSub, AlignmentAndCarryAtTheEnds) {
    for (int wc : {1, 2, 6}) {
        SCOPED_TRACE(testing::Message() << "wc " << wc);
        OwnedNumber nines(wc, 1, 0, {}), unit(wc, 1, -(wc - 1), {1}), out(wc);
        for (int i = 0; i < wc; ++i) nines[i] = 9;
        // 9.99...9 + 0.00...01 = 10: carry out of word 0, the last word leaves.
        mpAdd(wc, 10, *nines, *unit, *out);
        Record ten{1, 1, std::vector<int>(wc, 0)};
        ten.words[0] = 1;
        EXPECT_EQ(recordOf(out), ten);

        // 1 - 0.99...9 (wordCount nines at exponent -1): the last 9 is dropped by the
        // alignment, leaving 10^-(wordCount - 1) after removing the leading zero words.
        OwnedNumber one(wc, 1, 0, {1});
        nines->exponent = -1;
        mpSub(wc, 10, *one, *nines, *out);
        Record small{1, -(wc - 1), std::vector<int>(wc, 0)};
        small.words[0] = 1;
        EXPECT_EQ(recordOf(out), small);

        // A number wordCount or more exponents lower leaves the larger unchanged.
        OwnedNumber big(wc, -1, 3, {7}), tiny(wc, -1, 3 - wc, {9});
        mpAdd(wc, 10, *big, *tiny, *out);
        EXPECT_EQ(recordOf(out), recordOf(big));
        tiny->exponent = 3 - wc - 5;
        mpSub(wc, 10, *big, *tiny, *out);
        EXPECT_EQ(recordOf(out), recordOf(big));
    }
}

TEST(ElementaryCompare, IgnoresSigns) {
    OwnedNumber two(3, 1, 0, {2}), minusTwo(3, -1, 0, {2}), half(3, 1, -1, {5000}),
        one(3, 1, 0, {1});
    EXPECT_EQ(mpCompareMagnitude(3, *two, *minusTwo), 0);
    EXPECT_EQ(mpCompareMagnitude(3, *half, *one), -1);
    EXPECT_EQ(mpCompareMagnitude(3, *one, *half), 1);
}

// ---- Multiplication and division by an integer, halving, rounding ----

// The carry of a product needs k words. When k > wordCount only the carry survives, rounded
// half up one word at a time to wordCount words; otherwise the product is cut.
Record expectedProduct(const OwnedNumber& a, std::int32_t m, int radix) {
    const int wc = a.wordCount();
    const mpz_class absM = m < 0 ? -mpz_class(static_cast<long>(m)) : mpz_class(m);
    mpz_class carry = wordsAsInteger(a->words(), wc, radix) * absM / power(radix, wc);
    int k = 0;
    while (power(radix, k) <= carry) ++k;
    if (a->sign == 0 || k <= wc) return cut(valueOf(a, radix) * static_cast<long>(m), radix, wc);
    for (int i = 0; i < k - wc; ++i) carry = (carry + radix / 2) / radix;
    const int sign = m < 0 ? -a->sign : a->sign;
    return cut(scaled(sign * mpq_class(carry), radix, a->exponent + k - wc + 1), radix, wc);
}

// mpMulSmall, mpDivSmall, mpHalve and mpRound on random operands, in place and into another
// number.
void checkSmallOps(int radix, int wc, int iterations) {
    Operands gen(radix, wc);
    for (int iter = 0; iter < iterations; ++iter) {
        OwnedNumber a(wc), out(wc);
        gen.fillRandom(a);
        const mpq_class va = valueOf(a, radix);
        const std::int32_t m = gen.multiplier();
        SCOPED_TRACE(testing::Message() << "radix " << radix << " wc " << wc << " a "
                                        << testing::PrintToString(recordOf(a)) << " m " << m);
        const Record product = expectedProduct(a, m, radix);
        mpMulSmall(wc, radix, *a, m, *out);
        ASSERT_EQ(recordOf(out), product);
        const Record quotient = cut(va / static_cast<long>(m), radix, wc);
        ASSERT_EQ(mpDivSmall(wc, radix, *a, m, *out), 0);
        ASSERT_EQ(recordOf(out), quotient);
        const Record half = cut(va / 2, radix, wc);
        mpHalve(wc, radix, *a, *out);
        ASSERT_EQ(recordOf(out), half);
        ASSERT_TRUE(out.guardIntact());

        OwnedNumber alias = a;
        mpMulSmall(wc, radix, *alias, m, *alias);
        ASSERT_EQ(recordOf(alias), product);
        alias = a;
        mpDivSmall(wc, radix, *alias, m, *alias);
        ASSERT_EQ(recordOf(alias), quotient);
        alias = a;
        mpHalve(wc, radix, *alias, *alias);
        ASSERT_EQ(recordOf(alias), half);
        ASSERT_TRUE(alias.guardIntact());

        // Round half up on word k, exactly: floor(|a| / grid + 1/2) * grid.
        const int k = gen.uniform(1, wc + 1);
        Record rounded = recordOf(a);
        if (k < wc && a->sign != 0) {
            const long grid = a->exponent - (k - 1);
            const mpq_class s = scaled(abs(va), radix, -grid) + mpq_class(1, 2);
            mpz_class n;
            mpz_fdiv_q(n.get_mpz_t(), s.get_num_mpz_t(), s.get_den_mpz_t());
            rounded = cut(a->sign * scaled(mpq_class(n), radix, grid), radix, wc);
        }
        alias = a;
        mpRound(wc, radix, k, *alias);
        ASSERT_EQ(recordOf(alias), rounded) << "keepWords " << k;
        ASSERT_TRUE(alias.guardIntact());
    }
}

TEST(ElementarySmallOps, MatchExactArithmeticWithAliasing) {
    for (int radix : kRadices) {
        for (int wc : kWordCounts) checkSmallOps(radix, wc, 400);
    }
}

// Long numbers take the chunked and multi-chain word loops: halving in chunks of words, the
// product by an integer in four chains joined by their carries (runs of radix - 1 carry across
// the joins), and the comparison that passes over equal leading words in chunks. The lengths put
// chunk and block edges on every side of the last word.
TEST(ElementarySmallOps, LongNumbersMatchExactArithmetic) {
    for (int radix : {10, 10000}) {
        for (int wc : {65, 130, 1024, 1031, 4103}) checkSmallOps(radix, wc, 12);
    }
    const int wc = 1031;
    // 33...34 times 3 is 100...02: the carry of the last word ripples through every block.
    for (int count : {1024, wc}) {
        OwnedNumber a(count), out(count);
        a->sign = 1;
        for (int j = 0; j < count; ++j) a[j] = 3333;
        a[count - 1] = 3334;
        mpMulSmall(count, 10000, *a, 3, *out);
        EXPECT_EQ(recordOf(out), expectedProduct(a, 3, 10000)) << count << " words";
    }
    Operands gen(10000, wc);
    for (int same : {0, 1, 63, 64, 65, 127, 128, 129, 1000, 1030, 1031}) {
        for (int iter = 0; iter < 4; ++iter) {
            OwnedNumber a(wc), b(wc);
            gen.fill(a, 1, 2);
            b = a;
            if (same < wc) b[same] = static_cast<std::int16_t>(a[same] == 0 ? 1 : a[same] - 1);
            for (int j = same + 1; j < wc; ++j)
                b[j] = static_cast<std::int16_t>(gen.uniform(0, 9999));
            const int expected = cmp(valueOf(a, 10000), valueOf(b, 10000));
            SCOPED_TRACE(testing::Message() << "equal words " << same);
            EXPECT_EQ(mpCompareMagnitude(wc, *a, *b), (expected > 0) - (expected < 0));
            EXPECT_EQ(mpCompareMagnitude(wc, *b, *a), (expected < 0) - (expected > 0));
        }
    }
}

TEST(ElementarySmallOps, MulSmallCarryAndSign) {
    for (int radix : kRadices) {
        OwnedNumber one(3, 1, 0, {1}), out(3);
        mpMulSmall(3, radix, *one, radix, *out);
        EXPECT_EQ(recordOf(out), (Record{1, 1, {1, 0, 0}}));
        mpMulSmall(3, radix, *one, 0, *out);
        EXPECT_EQ(recordOf(out), (Record{0, 0, {0, 0, 0}}));
        mpMulSmall(3, radix, *one, -3, *out);
        EXPECT_EQ(recordOf(out), (Record{-1, 0, {3, 0, 0}}));
    }
    // A carry longer than the whole number is rounded into it: 9 * 199 = 1791 -> 2e3, and
    // 9 * 110 = 990 rounds up into one more word -> 1e3, not a zero word 0.
    OwnedNumber nine(1, 1, 0, {9}), out(1);
    mpMulSmall(1, 10, *nine, 199, *out);
    EXPECT_EQ(recordOf(out), (Record{1, 3, {2}}));
    mpMulSmall(1, 10, *nine, 110, *out);
    EXPECT_EQ(recordOf(out), (Record{1, 3, {1}}));
}

// Exact multiples: the step that leaves remainder 0 divides t = q * |d| exactly, where a
// reciprocal of |d| below 1/|d| (49, 999999937) truncates to q - 1 without the added 0.5.
TEST(ElementarySmallOps, DivSmallOfExactMultiplesIsExact) {
    const int wc = 16;
    for (int radix : kRadices) {
        Operands gen(radix, wc);
        for (std::int32_t d : {3, -7, 49, 9999, 65537, 999999937, -2147483647 - 1}) {
            for (int iter = 0; iter < 50; ++iter) {
                OwnedNumber a(wc), product(wc), out(wc);
                gen.fill(a, iter % 2 ? 1 : -1, gen.uniform(-5, 5));
                for (int i = 5; i < wc; ++i) a[i] = 0;  // room for the carry: a * d is exact
                const Record p = cut(valueOf(a, radix) * static_cast<long>(d), radix, wc);
                product.set(p.sign, p.exponent, {});
                for (int i = 0; i < wc; ++i) product[i] = static_cast<std::int16_t>(p.words[i]);
                ASSERT_EQ(mpDivSmall(wc, radix, *product, d, *out), 0);
                ASSERT_EQ(recordOf(out), recordOf(a)) << "radix " << radix << " d " << d;
            }
        }
    }
}

TEST(ElementarySmallOps, DivSmallEdgeCases) {
    OwnedNumber one(5, 1, 0, {1}), out(5, -1, 4, {1, 2, 3, 4, 5});
    ASSERT_EQ(mpDivSmall(5, 10, *one, 3, *out), 0);
    EXPECT_EQ(recordOf(out), (Record{1, -1, {3, 3, 3, 3, 3}}));

    const Record before = recordOf(out);
    EXPECT_EQ(mpDivSmall(5, 10, *one, 0, *out), -1);
    EXPECT_EQ(recordOf(out), before);

    OwnedNumber zero(5);
    ASSERT_EQ(mpDivSmall(5, 10, *zero, 7, *out), 0);
    EXPECT_EQ(recordOf(out), recordOf(zero));
}

TEST(ElementarySmallOps, HalveOfOneThreeAndOddLastWords) {
    for (int radix : kRadices) {
        OwnedNumber x(3, 1, 0, {1}), out(3);
        mpHalve(3, radix, *x, *out);
        EXPECT_EQ(recordOf(out), (Record{1, -1, {radix / 2, 0, 0}}));
        x.set(1, 0, {3});
        mpHalve(3, radix, *x, *out);
        EXPECT_EQ(recordOf(out), (Record{1, 0, {1, radix / 2, 0}}));
    }
    OwnedNumber x(3, 1, 0, {2, 0, 1}), out(3);
    mpHalve(3, 10, *x, *out);
    EXPECT_EQ(recordOf(out), (Record{1, 0, {1, 0, 0}}));  // 2.01 / 2 -> 1.00
    x.set(1, 0, {1, 0, 1});
    mpHalve(3, 10, *x, *out);
    EXPECT_EQ(recordOf(out), (Record{1, -1, {5, 0, 5}}));  // 1.01 / 2 = 0.505 exactly
}

TEST(ElementarySmallOps, RoundAtTheWordCountAndThroughAllNines) {
    for (int radix : kRadices) {
        const int t = radix - 1, h = radix / 2;
        OwnedNumber x(4, -1, 2, {t, t, h, 1});
        const Record before = recordOf(x);
        mpRound(4, radix, 4, *x);
        mpRound(4, radix, 9, *x);
        EXPECT_EQ(recordOf(x), before);
        mpRound(4, radix, 2, *x);
        EXPECT_EQ(recordOf(x), (Record{-1, 3, {1, 0, 0, 0}}));
        x.set(1, 2, {t, t, h - 1, t});
        mpRound(4, radix, 2, *x);
        EXPECT_EQ(recordOf(x), (Record{1, 2, {t, t, 0, 0}}));
        x.set(1, 0, {h, 3});
        mpRound(4, radix, 0, *x);
        EXPECT_EQ(recordOf(x), (Record{1, 1, {1, 0, 0, 0}}));
    }
}

}  // namespace
}  // namespace oskelon
