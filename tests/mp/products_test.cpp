// Products and squares held against exact integer multiplication (GMP).
#include "mp/products.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "mp/elementary.h"
#include "support/exact.h"
#include "support/test_number.h"

namespace oskelon::test {
namespace {

constexpr int kRadices[] = {10, 100, 1000, 10000};

struct Arrays {
    explicit Arrays(int n) : a1(n + 2), a2(n + 2), a3(n + 2) {}
    std::vector<double> a1, a2, a3;
};

// Value of the high part (words 0 .. n/2) of x.
ExactValue highPart(const MpNumber& x, int count, int radix, int n) {
    const int h = std::min(count, n / 2 + 1);
    return exactOf(x, h, radix);
}

// |got - exact| in units of got's last word.
double unitsFromExact(const OwnedNumber& got, const ExactValue& exact, int radix) {
    const ExactValue g = exactOf(*got, got.wordCount(), radix);
    return std::abs(
        unitsBetween(g, exact, static_cast<long>(got->exponent) - (got.wordCount() - 1), radix));
}

// The exact value truncated (toward zero) to count words, as the arithmetic cuts its results.
bool equalsTruncated(const OwnedNumber& got, const ExactValue& exact, int radix) {
    if (exact.mant == 0) return got->sign == 0 && got->exponent == 0;
    const ExactValue g = exactOf(*got, got.wordCount(), radix);
    return unitsBetween(g, exact, g.scale, radix) == 0.0 && got[0] != 0;
}

class ProductsByRadix : public ::testing::TestWithParam<int> {};

// A product of two parts that fit one transform half is exact when all n + 2 words are kept:
// every radix, several lengths, signs, border words and leading products of two words (F = 1).
TEST_P(ProductsByRadix, HalfProductsAreExact) {
    const int radix = GetParam();
    std::mt19937_64 rng(1000 + radix);
    for (int n : {2, 4, 8, 16, 32, 64, 128, 512, 2048, 8192, 32768}) {
        const int count = n + 2;
        Arrays arr(n);
        for (WordStyle style : {WordStyle::Uniform, WordStyle::Runs, WordStyle::AllMax}) {
            OwnedNumber a(count), b(count), out(count);
            const int sa = rng() % 2 ? 1 : -1, sb = rng() % 2 ? 1 : -1;
            randomNumber(rng, count, radix, n / 2 + 1, style, sa, int(rng() % 7) - 3, *a);
            randomNumber(rng, count, radix, n / 2 + 1, style, sb, int(rng() % 7) - 3, *b);
            const ExactValue exact =
                exactProduct(exactOf(*a, count, radix), exactOf(*b, count, radix));
            mpMulHalf(count, radix, *a, *b, *out, n, arr.a1.data(), arr.a2.data());
            ASSERT_TRUE(equalsTruncated(out, exact, radix)) << "n=" << n << " radix=" << radix;
            EXPECT_EQ(out->sign, sa * sb);
            ASSERT_TRUE(out.guardIntact());

            // The full product of numbers that fit their high parts is the same, bit for bit.
            OwnedNumber full(count), work(count);
            mpMul(count, radix, *a, *b, *full, *work, n, arr.a1.data(), arr.a2.data(),
                  arr.a3.data());
            ASSERT_EQ(full.words(), out.words()) << "n=" << n;
            ASSERT_EQ(full->exponent, out->exponent);
            ASSERT_EQ(full->sign, out->sign);

            OwnedNumber sq(count);
            mpSquare(count, radix, *a, *sq, n, arr.a1.data());
            ASSERT_TRUE(equalsTruncated(
                sq, exactProduct(exactOf(*a, count, radix), exactOf(*a, count, radix)), radix))
                << "square n=" << n;
            EXPECT_EQ(sq->sign, 1);
        }
    }
}

// Full products of whole numbers agree with exact multiplication within a few units of the last
// word (the low-by-low product and the cut tails are dropped).
TEST_P(ProductsByRadix, FullProductsAgreeWithExact) {
    const int radix = GetParam();
    std::mt19937_64 rng(2000 + radix);
    for (int n : {4, 16, 64, 256, 1024, 4096, 16384}) {
        for (int count : {n + 2, n / 2 + 3, 3 * n / 4}) {
            if (count < 2) continue;
            Arrays arr(n);
            for (WordStyle style : {WordStyle::Uniform, WordStyle::Runs, WordStyle::AllMax}) {
                OwnedNumber a(count), b(count), out(count), work(count);
                randomNumber(rng, count, radix, count, style, 1, 0, *a);
                randomNumber(rng, count, radix, count, style, -1, 2, *b);
                const ExactValue exact =
                    exactProduct(exactOf(*a, count, radix), exactOf(*b, count, radix));
                mpMul(count, radix, *a, *b, *out, *work, n, arr.a1.data(), arr.a2.data(),
                      arr.a3.data());
                EXPECT_EQ(out->sign, -1);
                EXPECT_LE(unitsFromExact(out, exact, radix), 3.0)
                    << "n=" << n << " count=" << count << " radix=" << radix;
                ASSERT_TRUE(out.guardIntact());

                // mpMulKeep multiplies by a's high part only: a_h * b.
                OwnedNumber keep(count);
                mpMulKeep(count, radix, *a, *b, *keep, *work, n, arr.a1.data(), arr.a2.data());
                const ExactValue keepExact =
                    exactProduct(highPart(*a, count, radix, n), exactOf(*b, count, radix));
                EXPECT_LE(unitsFromExact(keep, keepExact, radix), 3.0) << "keep n=" << n;

                // mpSquareKept right after it, with a's kept high part: a_h * a.
                OwnedNumber sk(count);
                mpSquareKept(count, radix, arr.a1.data(), *a, *sk, *work, n, arr.a2.data());
                const ExactValue skExact =
                    exactProduct(highPart(*a, count, radix, n), exactOf(*a, count, radix));
                EXPECT_LE(unitsFromExact(sk, skExact, radix), 3.0) << "squareKept n=" << n;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRadix, ProductsByRadix, ::testing::ValuesIn(kRadices));

TEST(Products, ZeroOperandsGiveTheZeroRecord) {
    const int n = 64, count = n + 2, radix = 10000;
    Arrays arr(n);
    std::mt19937_64 rng(7);
    OwnedNumber a(count), zero(count), out(count), work(count);
    randomNumber(rng, count, radix, count, WordStyle::Uniform, 1, 3, *a);
    out->sign = 1;
    out->exponent = 5;
    out[0] = 17;
    auto expectZero = [&](const char* what) {
        EXPECT_EQ(out->sign, 0) << what;
        EXPECT_EQ(out->exponent, 0) << what;
        for (int w : out.words()) ASSERT_EQ(w, 0) << what;
    };
    mpMul(count, radix, *a, *zero, *out, *work, n, arr.a1.data(), arr.a2.data(), arr.a3.data());
    expectZero("a*0");
    mpMul(count, radix, *zero, *a, *out, *work, n, arr.a1.data(), arr.a2.data(), arr.a3.data());
    expectZero("0*a");
    mpMulHalf(count, radix, *zero, *a, *out, n, arr.a1.data(), arr.a2.data());
    expectZero("half");
    mpMulKeep(count, radix, *a, *zero, *out, *work, n, arr.a1.data(), arr.a2.data());
    expectZero("keep");
    mpSquare(count, radix, *zero, *out, n, arr.a1.data());
    expectZero("square");
    mpSquareKeep(count, radix, *zero, *out, n, arr.a1.data(), arr.a2.data());
    expectZero("squareKeep");
}

// Operands whose words just beyond the high part are zero: the split point skips them, and the
// result is still the exact product within a few units.
TEST(Products, SplitPointSkipsZeroWords) {
    const int radix = 10000;
    std::mt19937_64 rng(11);
    for (int n : {16, 256, 4096}) {
        const int count = n + 2;
        Arrays arr(n);
        for (int gap : {1, 2, 5, n / 4, n / 2}) {
            OwnedNumber a(count), b(count), out(count), work(count);
            randomNumber(rng, count, radix, count, WordStyle::Uniform, 1, 0, *a);
            randomNumber(rng, count, radix, count, WordStyle::Uniform, 1, -1, *b);
            for (int i = n / 2 + 1; i < std::min(count, n / 2 + 1 + gap); ++i) {
                a[i] = 0;
                b[i] = 0;
            }
            const ExactValue exact =
                exactProduct(exactOf(*a, count, radix), exactOf(*b, count, radix));
            mpMul(count, radix, *a, *b, *out, *work, n, arr.a1.data(), arr.a2.data(),
                  arr.a3.data());
            EXPECT_LE(unitsFromExact(out, exact, radix), 3.0) << "n=" << n << " gap=" << gap;
            OwnedNumber sq(count);
            mpMulKeep(count, radix, *a, *a, *sq, *work, n, arr.a1.data(), arr.a2.data());
            mpSquareKept(count, radix, arr.a1.data(), *a, *sq, *work, n, arr.a2.data());
            EXPECT_LE(
                unitsFromExact(
                    sq, exactProduct(highPart(*a, count, radix, n), exactOf(*a, count, radix)),
                    radix),
                3.0)
                << "n=" << n << " gap=" << gap;
        }
    }
}

// The result may be either operand: the same words as into a separate record.
TEST(Products, ResultMayAliasAnOperand) {
    const int n = 1024, count = n + 2, radix = 10000;
    Arrays arr(n);
    std::mt19937_64 rng(13);
    OwnedNumber a(count), b(count), work(count), separate(count);
    randomNumber(rng, count, radix, count, WordStyle::Uniform, 1, 0, *a);
    randomNumber(rng, count, radix, count, WordStyle::Runs, -1, 1, *b);

    mpMul(count, radix, *a, *b, *separate, *work, n, arr.a1.data(), arr.a2.data(), arr.a3.data());
    OwnedNumber a2 = a, b2 = b;
    mpMul(count, radix, *a2, *b, *a2, *work, n, arr.a1.data(), arr.a2.data(), arr.a3.data());
    EXPECT_EQ(a2.words(), separate.words());
    EXPECT_EQ(a2->exponent, separate->exponent);
    mpMul(count, radix, *a, *b2, *b2, *work, n, arr.a1.data(), arr.a2.data(), arr.a3.data());
    EXPECT_EQ(b2.words(), separate.words());

    mpMulKeep(count, radix, *a, *b, *separate, *work, n, arr.a1.data(), arr.a2.data());
    OwnedNumber b3 = b;
    mpMulKeep(count, radix, *a, *b3, *b3, *work, n, arr.a1.data(), arr.a2.data());
    EXPECT_EQ(b3.words(), separate.words());

    mpMulKeep(count, radix, *a, *a, *separate, *work, n, arr.a1.data(), arr.a2.data());
    mpSquareKept(count, radix, arr.a1.data(), *a, *separate, *work, n, arr.a2.data());
    OwnedNumber a3 = a, scratch(count);
    mpMulKeep(count, radix, *a3, *a3, *scratch, *work, n, arr.a1.data(), arr.a2.data());
    mpSquareKept(count, radix, arr.a1.data(), *a3, *a3, *work, n, arr.a2.data());
    EXPECT_EQ(a3.words(), separate.words());
    EXPECT_EQ(a3->exponent, separate->exponent);

    mpSquare(count, radix, *a, *separate, n, arr.a1.data());
    OwnedNumber a4 = a;
    mpSquare(count, radix, *a4, *a4, n, arr.a1.data());
    EXPECT_EQ(a4.words(), separate.words());
}

// mpMulKeep(a, b) uses only a's high part; mpMulKeep(b, a) uses all of a.
TEST(Products, MulKeepIgnoresTheFirstFactorsLowWords) {
    const int n = 256, count = n + 2, radix = 10000;
    Arrays arr(n);
    std::mt19937_64 rng(17);
    OwnedNumber a(count), b(count), work(count), r1(count), r2(count);
    randomNumber(rng, count, radix, count, WordStyle::Uniform, 1, 0, *a);
    randomNumber(rng, count, radix, count, WordStyle::Uniform, 1, 0, *b);
    OwnedNumber changed = a;
    for (int i = n / 2 + 1; i < count; ++i)
        changed[i] = static_cast<std::int16_t>((a[i] + 1) % radix);

    mpMulKeep(count, radix, *a, *b, *r1, *work, n, arr.a1.data(), arr.a2.data());
    mpMulKeep(count, radix, *changed, *b, *r2, *work, n, arr.a1.data(), arr.a2.data());
    EXPECT_EQ(r1.words(), r2.words());

    mpMulKeep(count, radix, *b, *a, *r1, *work, n, arr.a1.data(), arr.a2.data());
    mpMulKeep(count, radix, *b, *changed, *r2, *work, n, arr.a1.data(), arr.a2.data());
    EXPECT_NE(r1.words(), r2.words());
}

// Kept transforms serve later products exactly as a fresh transform of the same part would.
TEST(Products, KeptTransformsAreReusedAsContracted) {
    const int radix = 10000;
    std::mt19937_64 rng(19);
    for (int n : {8, 64, 2048}) {
        const int count = n + 2;
        Arrays arr(n);
        std::vector<double> spare(n + 2);
        OwnedNumber a(count), b(count), c(count), r1(count), r2(count), work(count);
        randomNumber(rng, count, radix, n / 2 + 1, WordStyle::Uniform, 1, 0, *a);
        randomNumber(rng, count, radix, count, WordStyle::Uniform, -1, 0, *b);
        randomNumber(rng, count, radix, count, WordStyle::Uniform, 1, 2, *c);

        // mpMulHalf keeps a_h in A1: mpMulKept(A1, 0, c) = a_h * c_h = mpMulHalf(a, c).
        mpMulHalf(count, radix, *a, *b, *r1, n, arr.a1.data(), arr.a2.data());
        mpMulKept(count, radix, arr.a1.data(), 0, *c, *r1, n, arr.a2.data());
        mpMulHalf(count, radix, *a, *c, *r2, n, spare.data(), arr.a3.data());
        EXPECT_EQ(r1.words(), r2.words()) << "n=" << n;
        EXPECT_EQ(r1->exponent, r2->exponent);
        EXPECT_EQ(r1->sign, r2->sign);

        // mpMulKept leaves A1 unchanged: a second use gives the same result.
        OwnedNumber r3(count);
        mpMulKept(count, radix, arr.a1.data(), 0, *c, *r3, n, arr.a2.data());
        EXPECT_EQ(r3.words(), r1.words());

        // The low part from a start point: a_h times c's words from `start` on.
        const int start = n / 2 + 1;
        mpMulKept(count, radix, arr.a1.data(), start, *c, *r3, n, arr.a2.data());
        OwnedNumber cLow(count);
        cLow->sign = c->sign;
        cLow->exponent = c->exponent - start;
        for (int i = start; i < count; ++i) cLow[i - start] = c[i];
        int lead = 0;
        while (lead < count && cLow[lead] == 0) ++lead;
        if (lead < count) {
            const ExactValue exact =
                exactProduct(exactOf(*a, count, radix), exactOf(*cLow, count, radix));
            EXPECT_LE(unitsFromExact(r3, exact, radix), 1.0) << "n=" << n;
        }

        // Beyond the last non-zero word the part is zero and so is the product.
        for (int i = count - 3; i < count; ++i) c[i] = 0;
        mpMulKept(count, radix, arr.a1.data(), count - 3, *c, *r3, n, arr.a2.data());
        EXPECT_EQ(r3->sign, 0);
        EXPECT_EQ(r3->exponent, 0);

        // mpSquareKeep keeps a_h: the square of the kept part is a_h^2 again.
        mpSquareKeep(count, radix, *a, *r1, n, arr.a1.data(), arr.a2.data());
        mpSquareOfKept(count, radix, arr.a1.data(), *r2, n);
        EXPECT_EQ(r1.words(), r2.words()) << "n=" << n;
        EXPECT_EQ(r1->exponent, r2->exponent);
        EXPECT_TRUE(equalsTruncated(
            r1, exactProduct(exactOf(*a, count, radix), exactOf(*a, count, radix)), radix));

        // mpMul keeps b_h in A2: mpMulKept(A2, 0, c) = b_h * c_h.
        mpMul(count, radix, *c, *b, *r1, *work, n, arr.a1.data(), arr.a2.data(), arr.a3.data());
        mpMulKept(count, radix, arr.a2.data(), 0, *c, *r1, n, arr.a3.data());
        mpMulHalf(count, radix, *b, *c, *r2, n, spare.data(), arr.a3.data());
        EXPECT_EQ(r1.words(), r2.words()) << "n=" << n;
    }
}

// mpSquareKept with an A1 that keeps another number's high part k gives k^2 + k * a_l, silently.
// mpSquareKept with a transform that another number k left in A1 is outside its contract: the
// debug and sanitizer builds refuse it; a release build computes k_h^2 + k_h * a_l.
TEST(ProductsDeathTest, SquareKeptOfAnotherNumbersTransform) {
    const int n = 128, count = n + 2, radix = 1000;
    Arrays arr(n);
    std::mt19937_64 rng(23);
    OwnedNumber a(count), k(count), out(count), work(count);
    randomNumber(rng, count, radix, count, WordStyle::Uniform, 1, 0, *a);
    randomNumber(rng, count, radix, n / 2 + 1, WordStyle::Uniform, 1, 0, *k);
    mpMulKeep(count, radix, *k, *a, *out, *work, n, arr.a1.data(), arr.a2.data());
#ifdef OSKELON_CHECK_CONTRACTS
    EXPECT_DEATH(mpSquareKept(count, radix, arr.a1.data(), *a, *out, *work, n, arr.a2.data()),
                 "contract broken: keepsHighPartOf");
    return;
#endif
    mpSquareKept(count, radix, arr.a1.data(), *a, *out, *work, n, arr.a2.data());

    OwnedNumber aLow(count);  // a's words from n/2+1 on, at their own weight
    aLow->sign = 1;
    aLow->exponent = a->exponent - (n / 2 + 1);
    for (int i = n / 2 + 1; i < count; ++i) aLow[i - (n / 2 + 1)] = a[i];
    ASSERT_NE(aLow[0], 0);
    const ExactValue kv = exactOf(*k, count, radix);
    const ExactValue kk = exactProduct(kv, kv);
    const ExactValue ka = exactProduct(kv, exactOf(*aLow, count, radix));
    const long low = std::min(kk.scale, ka.scale);
    const ExactValue expected{
        kk.mant * radixPower(radix, kk.scale - low) + ka.mant * radixPower(radix, ka.scale - low),
        low};
    EXPECT_LE(unitsFromExact(out, expected, radix), 3.0);
}

}  // namespace
}  // namespace oskelon::test
