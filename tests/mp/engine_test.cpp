// The engine's conversion, spectrum kernels, release and radix test, held against exact integer
// convolution computed directly.
#include "mp/engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "support/exact.h"
#include "support/test_number.h"

namespace oskelon::test {
namespace {

// Exact acyclic convolution of two digit vectors (elements 1 .. n of two transform arrays):
// coefficient j = sum of x[i] y[j-i], j = 0 .. n.
std::vector<long double> exactConvolution(const double* x, const double* y, int n) {
    std::vector<long double> c(n + 1, 0.0L);
    for (int i = 0; i < n; ++i) {
        if (x[1 + i] == 0) continue;
        for (int k = 0; k < n && i + k <= n; ++k)
            c[i + k] += static_cast<long double>(x[1 + i]) * y[1 + k];
    }
    return c;
}

// Largest distance between the engine's unscaled time-domain result (elements 1 .. n) and the
// exact coefficients, taking the cyclic wrap of coefficient n onto position 0 into account.
double largestDeviation(const double* result, const std::vector<long double>& exact, int n) {
    const double scale = 2.0 / n;
    long double worst = 0;
    for (int j = 0; j < n; ++j) {
        long double want = exact[j];
        if (j == 0) want += exact[n];
        worst = std::max(worst, std::fabs(result[1 + j] * scale - want));
    }
    return static_cast<double>(worst);
}

TEST(EngineConversion, EdgeCasesOfTheLayout) {
    const int n = 16, count = 12;
    std::vector<double> d(n + 2, 99.0);
    OwnedNumber x(count, -1, 4, {7, 3, 5, 5, 5, 0, 0, 0, 0, 0, 0, 1});

    // A part that starts at or beyond the word count: zero payload, zero leading word.
    mpToDoubles(count, 10, n, count, *x, d.data());
    EXPECT_EQ(d[0], 4 - count);
    for (int j = 1; j <= n + 1; ++j) EXPECT_EQ(d[j], 0.0) << j;

    // c = 1: only element 1; the leading word carries the sign.
    mpToDoubles(count, 10, n, count - 1, *x, d.data());
    EXPECT_EQ(d[1], 1.0);
    EXPECT_EQ(d[n + 1], -1.0);
    for (int j = 2; j <= n; ++j) EXPECT_EQ(d[j], 0.0) << j;

    // c = 2: the second word unbalanced.
    OwnedNumber y(count, 1, 0, {2, 9});
    mpToDoubles(2, 10, n, 0, *y, d.data());
    EXPECT_EQ(d[1], 2.0);
    EXPECT_EQ(d[2], 9.0);
    EXPECT_EQ(d[n + 1], 2.0);

    // Radix 10, words 5, 5, 5 at elements 3 .. 5: -5, -4, -4 and a carry of 1 into element 2.
    mpToDoubles(5, 10, n, 0, *x, d.data());
    EXPECT_EQ(d[0], 4.0);
    EXPECT_EQ(d[1], 7.0);
    EXPECT_EQ(d[2], 4.0);
    EXPECT_EQ(d[3], -4.0);
    EXPECT_EQ(d[4], -4.0);
    EXPECT_EQ(d[5], -5.0);
    EXPECT_EQ(d[n + 1], -7.0);
}

// The balanced digits represent the part's value exactly, and stay in range, at every radix.
TEST(EngineConversion, BalancedDigitsKeepTheValue) {
    std::mt19937_64 rng(3);
    for (int radix : {10, 100, 1000, 10000}) {
        for (int n : {2, 8, 64, 512}) {
            const int count = n + 2;
            std::vector<double> d(n + 2);
            for (WordStyle style : {WordStyle::Uniform, WordStyle::Runs, WordStyle::AllMax}) {
                OwnedNumber x(count);
                randomNumber(rng, count, radix, count, style, 1, 0, *x);
                for (int start : {0, 1, n / 2 + 1}) {
                    mpToDoubles(count, radix, n, start, *x, d.data());
                    const int c = std::min(n / 2 + 1, count - start);
                    mpz_class fromDigits = 0, fromWords = 0;
                    for (int j = 1; j <= c; ++j) {
                        fromDigits = fromDigits * radix + static_cast<long>(d[j]);
                        fromWords = fromWords * radix + x[start + j - 1];
                        if (j >= 3) {
                            EXPECT_GE(d[j], -radix / 2);
                            EXPECT_LT(d[j], radix / 2);
                        }
                    }
                    EXPECT_EQ(fromDigits, fromWords) << "radix=" << radix << " n=" << n;
                    for (int j = c + 1; j <= n; ++j) ASSERT_EQ(d[j], 0.0);
                    EXPECT_EQ(d[n + 1], x[start]);
                    EXPECT_EQ(d[0], -start);
                }
            }
        }
    }
}

// Long parts: the balanced-digit carries are resolved in blocks of words, so runs of radix/2 - 1
// (which pass a carry on) are laid across the block edges, ended by a word that starts a carry.
TEST(EngineConversion, BalancedDigitCarriesRunAcrossLongParts) {
    std::mt19937_64 rng(11);
    for (int radix : {10, 10000}) {
        const int n = 2048, count = n + 2;
        const int c = n / 2 + 1;
        for (int runStart : {c - 300, c - 256, c - 520, 3}) {
            OwnedNumber x(count);
            randomNumber(rng, count, radix, count, WordStyle::Uniform, 1, 0, *x);
            // Element j holds word j - 1; the run covers elements runStart .. runStart + 299.
            const int first = std::max(3, runStart);
            const int last = std::min(c, runStart + 299);
            for (int j = first; j <= last; ++j) x[j - 1] = static_cast<std::int16_t>(radix / 2 - 1);
            if (last < c) x[last] = static_cast<std::int16_t>(radix - 1);
            std::vector<double> d(n + 2);
            mpToDoubles(count, radix, n, 0, *x, d.data());
            mpz_class fromDigits = 0, fromWords = 0;
            for (int j = 1; j <= c; ++j) {
                fromDigits = fromDigits * radix + static_cast<long>(d[j]);
                fromWords = fromWords * radix + x[j - 1];
                if (j >= 3) {
                    ASSERT_GE(d[j], -radix / 2) << j;
                    ASSERT_LT(d[j], radix / 2) << j;
                }
            }
            EXPECT_EQ(fromDigits, fromWords) << "radix " << radix << ", run at " << runStart;
        }
    }
}

// Every spectrum kernel computes the exact convolution to well within 0.5 at the lengths and
// radices the program uses; kept transforms give the same products.
TEST(EngineKernels, ProductsMatchExactConvolution) {
    std::mt19937_64 rng(5);
    for (int radix : {10, 10000}) {
        for (int n : {2, 4, 8, 16, 32, 64, 128, 256, 1024, 4096, 16384}) {
            const int count = n + 2;
            OwnedNumber a(count), b(count), c(count);
            randomNumber(rng, count, radix, count, WordStyle::Uniform, 1, 0, *a);
            randomNumber(rng, count, radix, count, WordStyle::Runs, -1, 1, *b);
            randomNumber(rng, count, radix, count, WordStyle::Uniform, 1, 2, *c);
            std::vector<double> A(n + 2), B(n + 2), C(n + 2), S(n + 2), X(n + 2);
            std::vector<double> a0(n + 2), b0(n + 2), c0(n + 2);
            mpToDoubles(count, radix, n, 0, *a, a0.data());
            mpToDoubles(count, radix, n, 0, *b, b0.data());
            mpToDoubles(count, radix, n, 0, *c, c0.data());
            const auto ab = exactConvolution(a0.data(), b0.data(), n);
            const auto ac = exactConvolution(a0.data(), c0.data(), n);
            const auto aa = exactConvolution(a0.data(), a0.data(), n);
            const auto bc = exactConvolution(b0.data(), c0.data(), n);
            const double tol = 0.05;

            A = a0, B = b0;
            spectrumMultiply(n, A.data(), B.data());  // A keeps a
            EXPECT_LT(largestDeviation(B.data(), ab, n), tol) << "multiply n=" << n;
            EXPECT_EQ(B[0], a0[0] + b0[0]);
            EXPECT_EQ(B[n + 1], a0[n + 1] * b0[n + 1]);

            C = c0;
            spectrumMultiplyKept(n, A.data(), C.data());
            EXPECT_LT(largestDeviation(C.data(), ac, n), tol) << "kept n=" << n;

            C = c0;
            spectrumMultiplyIntoKept(n, C.data(), A.data());  // A = a*c, C keeps c
            EXPECT_LT(largestDeviation(A.data(), ac, n), tol) << "into kept n=" << n;
            B = b0;
            spectrumMultiplyKept(n, C.data(), B.data());
            EXPECT_LT(largestDeviation(B.data(), bc, n), tol) << "c kept n=" << n;

            // a*b + c*b through one inverse transform.
            A = a0, S = b0;
            spectrumMultiplyKeep(n, A.data(), S.data());  // S = a*b unmerged, A keeps a
            EXPECT_EQ(S[n + 1], a0[n + 1] * b0[n + 1]);
            X = c0;
            B = b0;
            spectrumMultiplyIntoKept(n, B.data(), A.data());  // B keeps b
            spectrumMultiplyAccumulate(n, B.data(), X.data(), S.data());
            std::vector<long double> sum(n + 1);
            for (int j = 0; j <= n; ++j) sum[j] = ab[j] + bc[j];
            EXPECT_LT(largestDeviation(S.data(), sum, n), tol) << "accumulate n=" << n;
            EXPECT_EQ(S[n + 1], a0[n + 1] * b0[n + 1] + b0[n + 1] * c0[n + 1]);
            EXPECT_EQ(S[0], a0[0] + b0[0]);

            A = a0;
            spectrumSquare(n, A.data());
            EXPECT_LT(largestDeviation(A.data(), aa, n), tol) << "square n=" << n;
            EXPECT_EQ(A[0], 2 * a0[0]);
            A = a0;
            spectrumSquareInto(n, A.data(), B.data());
            EXPECT_LT(largestDeviation(B.data(), aa, n), tol) << "square into n=" << n;
            spectrumSquareKept(n, A.data());
            EXPECT_LT(largestDeviation(A.data(), aa, n), tol) << "square kept n=" << n;
        }
    }
}

// The release rounds and carries exactly: a leading product of two words (F = 1) raises the
// exponent by one; a carry into word 0 that reaches the radix raises it once more and drops the
// last word; opposite signs give -1 from the leading words alone.
TEST(EngineRelease, LeadingWordsCarriesAndSigns) {
    const int n = 4;
    std::vector<double> A(n + 2), B(n + 2);
    auto multiply = [&](const OwnedNumber& a, const OwnedNumber& b, int count, OwnedNumber& out) {
        mpToDoubles(count, 10, n, 0, *a, A.data());
        mpToDoubles(count, 10, n, 0, *b, B.data());
        spectrumMultiply(n, A.data(), B.data());
        mpFromDoubles(count, 10, n, B.data(), *out);
    };
    {
        OwnedNumber a(3, 1, 0, {9, 9}), b(3, 1, 0, {9, 9}), out(3);
        multiply(a, b, 3, out);  // 9.9 * 9.9 = 98.01, cut to three words
        EXPECT_EQ(out->exponent, 1);
        EXPECT_EQ(out.words(), (std::vector<int>{9, 8, 0}));
        EXPECT_EQ(out->sign, 1);
    }
    {
        OwnedNumber a(3, 1, 2, {3, 3}), b(3, -1, -1, {3, 1}), out(3);
        multiply(a, b, 3, out);  // 330 * -0.31 = -102.3: the carry reaches word 0
        EXPECT_EQ(out->exponent, 2);
        EXPECT_EQ(out.words(), (std::vector<int>{1, 0, 2}));
        EXPECT_EQ(out->sign, -1);
    }
    {
        OwnedNumber a(4, -1, 0, {4, 0, 0, 1}), b(4, -1, 0, {2, 5}), out(4);
        multiply(a, b, 4, out);  // 4.00, the three words of the high part, times 2.5 = 10.0
        EXPECT_EQ(out->sign, 1);
        EXPECT_EQ(out->exponent, 1);
        EXPECT_EQ(out.words(), (std::vector<int>{1, 0, 0, 0}));
    }
}

// maxRoundingError reads exact integer coefficients as error-free and reports a deliberate
// deviation of one coefficient.
TEST(EngineRadixTest, MaxRoundingErrorMeasuresDistanceFromIntegers) {
    const int n = 64, radix = 100;
    std::mt19937_64 rng(9);
    std::vector<long double> coef(n + 1);
    std::uniform_int_distribution<long> dist(-5000, 5000);
    for (auto& c : coef) c = dist(rng);
    coef[0] = 77 * 81;
    std::vector<double> d(n + 2);
    auto load = [&] {
        d[0] = 0;
        d[1] = static_cast<double>((coef[0] + coef[n]) * n / 2);
        for (int j = 1; j < n; ++j) d[j + 1] = static_cast<double>(coef[j] * n / 2);
        d[n + 1] = static_cast<double>(coef[0]);
    };
    load();
    EXPECT_LT(maxRoundingError(radix, n, d.data()), 1e-9);
    load();
    d[17] += 0.125 * n / 2;
    EXPECT_NEAR(maxRoundingError(radix, n, d.data()), 0.125, 1e-9);
    load();
    d[n] -= 0.3 * n / 2;
    EXPECT_NEAR(maxRoundingError(radix, n, d.data()), 0.3, 1e-9);
}

// The radix test's value is twice the largest deviation of the worst-case square from the exact
// integers, measured here by direct convolution. The test's own measurement rounds the scaled
// coefficients (about coefficient * 1e-16), which is of the order of the deviation itself at
// radix 10, hence the loose relative tolerance.
TEST(EngineRadixTest, ValueMatchesTheDirectlyMeasuredError) {
    for (int radix : {10, 10000}) {
        for (int n : {256, 4096, 16384}) {
            const int count = n + 2;
            std::vector<double> d(n + 2);
            const double value = radixTest(count, radix, n, d.data());

            std::vector<double> p(n + 2, 0.0);
            const int c = std::min(n / 2 + 1, count);
            for (int j = 3; j <= c; ++j) p[j] = (radix + 1) / 2;
            p[2] = radix;
            p[1] = radix - 1;
            const auto exact = exactConvolution(p.data(), p.data(), n);
            std::vector<double> sq = p;
            sq[n + 1] = radix - 1;
            spectrumSquare(n, sq.data());
            const double measured = 2 * largestDeviation(sq.data(), exact, n);
            EXPECT_GT(value, 0.0);
            EXPECT_NEAR(value, measured, 0.5 * measured + 1e-12) << "radix=" << radix << " n=" << n;
        }
    }
}

// Larger lengths and radices can only make the worst case worse; the smallest transforms are
// essentially exact.
TEST(EngineRadixTest, GrowsWithLengthAndRadix) {
    double previous = 0;
    for (int n = 4096; n <= (1 << 20); n *= 4) {
        std::vector<double> d(n + 2);
        const double r10 = radixTest(n + 2, 10, n, d.data());
        const double r10000 = radixTest(n + 2, 10000, n, d.data());
        EXPECT_GT(r10000, r10) << n;
        EXPECT_GE(r10 * 1.5, previous) << n;
        previous = r10;
    }
    std::vector<double> d(66);
    EXPECT_LT(radixTest(66, 10, 64, d.data()), 1e-12);
}

}  // namespace
}  // namespace oskelon::test
