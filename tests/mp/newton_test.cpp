// Reciprocal, square root and inverse square root held against MPFR to all but the last two
// words.
#include "mp/newton.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "mp/elementary.h"
#include "support/exact.h"
#include "support/test_number.h"

namespace oskelon::test {
namespace {

struct Work {
    Work(int count, int n) : w1(count), w2(count), a1(n + 2), a2(n + 2) {}
    OwnedNumber w1, w2;
    std::vector<double> a1, a2;
};

// An MPFR value with enough bits for count words of the radix and some to spare.
class Reference {
  public:
    Reference(int count, int radix) {
        mpfr_init2(value_, static_cast<mpfr_prec_t>((count + 4) * std::log2(radix)) + 128);
    }
    ~Reference() { mpfr_clear(value_); }
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;
    mpfr_ptr get() { return value_; }

  private:
    mpfr_t value_;
};

// |x - ref| must stay below radix^2 units of x's last word: every word but the last two right.
constexpr double kLastTwoWords = 1.0;  // multiplied by radix^2 below

class NewtonByRadix : public ::testing::TestWithParam<int> {};

TEST_P(NewtonByRadix, AgreeWithMpfrToAllButTheLastTwoWords) {
    const int radix = GetParam();
    const double limit = kLastTwoWords * radix * radix;
    std::mt19937_64 rng(100 + radix);
    for (int n : {4, 16, 64, 256, 2048, 16384, 65536}) {
        for (int count : {n + 2, n / 2 + 2}) {
            Work work(count, n);
            for (int trial = 0; trial < 3; ++trial) {
                const WordStyle style = trial == 0   ? WordStyle::Uniform
                                        : trial == 1 ? WordStyle::Runs
                                                     : WordStyle::AllMax;
                OwnedNumber x(count), out(count);
                randomNumber(rng, count, radix, count, style, 1, int(rng() % 9) - 4, *x);
                Reference xr(count, radix), ref(count, radix);
                toMpfr(xr.get(), *x, count, radix);

                ASSERT_EQ(mpReciprocal(count, radix, *x, *out, *work.w1, *work.w2, n,
                                       work.a1.data(), work.a2.data()),
                          0);
                mpfr_ui_div(ref.get(), 1, xr.get(), MPFR_RNDN);
                EXPECT_LT(std::fabs(unitsOff(*out, count, radix, ref.get())), limit)
                    << "1/x radix=" << radix << " n=" << n << " count=" << count;
                EXPECT_EQ(out->sign, 1);
                ASSERT_TRUE(out.guardIntact());

                ASSERT_EQ(mpSqrt(count, radix, *x, *out, *work.w1, *work.w2, n, work.a1.data(),
                                 work.a2.data()),
                          0);
                mpfr_sqrt(ref.get(), xr.get(), MPFR_RNDN);
                EXPECT_LT(std::fabs(unitsOff(*out, count, radix, ref.get())), limit)
                    << "sqrt radix=" << radix << " n=" << n << " count=" << count;
                ASSERT_TRUE(out.guardIntact());
            }
            for (int k : {1, 2, 3, 8, 10, 99, 12345}) {
                OwnedNumber out(count);
                Reference ref(count, radix);
                ASSERT_EQ(mpInvSqrtSmall(count, radix, k, *out, *work.w1, *work.w2, n,
                                         work.a1.data(), work.a2.data()),
                          0);
                mpfr_set_ui(ref.get(), static_cast<unsigned long>(k), MPFR_RNDN);
                mpfr_rec_sqrt(ref.get(), ref.get(), MPFR_RNDN);
                EXPECT_LT(std::fabs(unitsOff(*out, count, radix, ref.get())), limit)
                    << "1/sqrt(" << k << ") radix=" << radix << " n=" << n;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRadix, NewtonByRadix, ::testing::Values(10, 100, 1000, 10000));

TEST(Newton, RefusalsAndExactValues) {
    const int n = 64, count = n + 2, radix = 10000;
    Work work(count, n);
    OwnedNumber zero(count), out(count, 1, 7, {1234});
    const std::vector<int> before = out.words();

    EXPECT_EQ(mpReciprocal(count, radix, *zero, *out, *work.w1, *work.w2, n, work.a1.data(),
                           work.a2.data()),
              -1);
    EXPECT_EQ(out.words(), before);
    EXPECT_EQ(out->exponent, 7);

    OwnedNumber negative(count, -1, 0, {4});
    EXPECT_EQ(mpSqrt(count, radix, *negative, *out, *work.w1, *work.w2, n, work.a1.data(),
                     work.a2.data()),
              -1);
    EXPECT_EQ(out.words(), before);
    for (int k : {0, -2}) {
        EXPECT_EQ(mpInvSqrtSmall(count, radix, k, *out, *work.w1, *work.w2, n, work.a1.data(),
                                 work.a2.data()),
                  -1);
        EXPECT_EQ(out.words(), before);
    }

    EXPECT_EQ(
        mpSqrt(count, radix, *zero, *out, *work.w1, *work.w2, n, work.a1.data(), work.a2.data()),
        0);
    EXPECT_EQ(out->sign, 0);
    EXPECT_EQ(out->exponent, 0);
    for (int w : out.words()) ASSERT_EQ(w, 0);

    // 1/1 = 1 and 1/sqrt(1) = 1, exactly.
    OwnedNumber one(count, 1, 0, {1});
    std::vector<int> oneWords(count, 0);
    oneWords[0] = 1;
    mpReciprocal(count, radix, *one, *out, *work.w1, *work.w2, n, work.a1.data(), work.a2.data());
    EXPECT_EQ(out.words(), oneWords);
    EXPECT_EQ(out->exponent, 0);
    mpInvSqrtSmall(count, radix, 1, *out, *work.w1, *work.w2, n, work.a1.data(), work.a2.data());
    EXPECT_EQ(out.words(), oneWords);
    EXPECT_EQ(out->exponent, 0);

    // 1/(-4) = -0.25 and sqrt(4) = 2, exactly.
    OwnedNumber minusFour(count, -1, 0, {4});
    mpReciprocal(count, radix, *minusFour, *out, *work.w1, *work.w2, n, work.a1.data(),
                 work.a2.data());
    EXPECT_EQ(out->sign, -1);
    EXPECT_EQ(out->exponent, -1);
    EXPECT_EQ(out[0], 2500);
    for (int i = 1; i < count; ++i) ASSERT_EQ(out[i], 0) << i;
    OwnedNumber four(count, 1, 0, {4});
    mpSqrt(count, radix, *four, *out, *work.w1, *work.w2, n, work.a1.data(), work.a2.data());
    EXPECT_EQ(out->exponent, 0);
    EXPECT_EQ(out[0], 2);
    for (int i = 1; i < count; ++i) ASSERT_EQ(out[i], 0) << i;
}

TEST(Newton, OddExponentAndKnownConstants) {
    // Radix 100: x = 200 = 2 * 100^1 has an odd exponent; sqrt(200) = 14.142135...
    const int n = 256, count = n + 2;
    Work work(count, n);
    OwnedNumber x(count, 1, 1, {2}), out(count);
    mpSqrt(count, 100, *x, *out, *work.w1, *work.w2, n, work.a1.data(), work.a2.data());
    EXPECT_EQ(out->exponent, 0);
    EXPECT_EQ(out.words()[0], 14);
    EXPECT_EQ(out.words()[1], 14);
    EXPECT_EQ(out.words()[2], 21);
    EXPECT_EQ(out.words()[3], 35);

    // 1/sqrt(8) = 0.35355339... at radix 10000; w1 holds about 1/sqrt(x) after mpSqrt.
    const int radix = 10000;
    mpInvSqrtSmall(count, radix, 8, *out, *work.w1, *work.w2, n, work.a1.data(), work.a2.data());
    EXPECT_EQ(out->exponent, -1);
    EXPECT_EQ(out[0], 3535);
    EXPECT_EQ(out[1], 5339);

    OwnedNumber y(count, 1, 0, {2}), root(count);
    mpSqrt(count, radix, *y, *root, *work.w1, *work.w2, n, work.a1.data(), work.a2.data());
    Reference ref(count, radix);
    mpfr_set_ui(ref.get(), 2, MPFR_RNDN);
    mpfr_rec_sqrt(ref.get(), ref.get(), MPFR_RNDN);
    // t is rounded to n/2 + 1 words: compare those words.
    EXPECT_LT(std::fabs(unitsOff(*work.w1, n / 2 + 1, radix, ref.get())), radix);
}

TEST(Newton, StartLengthsAndDoubleConversions) {
    EXPECT_EQ(newtonStartLength(10, 1 << 20), 16);
    EXPECT_EQ(newtonStartLength(100, 1 << 20), 8);
    EXPECT_EQ(newtonStartLength(1000, 1 << 20), 8);
    EXPECT_EQ(newtonStartLength(10000, 1 << 20), 4);
    EXPECT_EQ(newtonStartLength(10, 4), 4);  // a short transform stops the doubling
    EXPECT_EQ(newtonStartLength(10000, 2), 2);

    const std::int16_t words[] = {3, 1415, 9265, 3589};
    EXPECT_DOUBLE_EQ(wordsToDouble(4, 10000, words), 3.141592653589);
    std::int16_t out[4];
    doubleToWords(4, 10000, 3.25, out);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[1], 2500);
    EXPECT_EQ(out[2], 0);
    // A value that rounds up to the radix itself is held as radix - 1 in every word.
    doubleToWords(3, 100, 100.0, out);
    EXPECT_EQ(out[0], 99);
    EXPECT_EQ(out[1], 99);
    EXPECT_EQ(out[2], 99);
}

}  // namespace
}  // namespace oskelon::test
