// The release and the whole engine on every path held against the scalar reference, bit for bit:
// words, sign, exponent and the array elements the release alters. The fast release forms its
// carries in integers and truncates with one rounding instruction; it must agree with the
// reference whenever every coefficient lies within 0.45 of an integer (a product the engine forms
// stays far closer), so the operands here aim at what could tell the two apart inside that
// range: coefficients of both signs and of the largest magnitudes, fractional parts at the edges
// of the range, zero coefficients and carries that ripple through runs of 9999. Beyond it the fast
// release is held against exact integer digits, and against the reference when a coefficient is
// too large for its integers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "fft/fft_path.h"
#include "mp/engine.h"
#include "support/test_number.h"

namespace oskelon::test {
namespace {

struct Released {
    std::vector<int> words;
    int sign, exponent;
    std::vector<double> array;
};

Released release(FftPath path, int count, int radix, int n, std::vector<double> d) {
    OwnedNumber x(count);
    mpFromDoublesOn(path, count, radix, n, d.data(), *x);
    EXPECT_TRUE(x.guardIntact());
    return {x.words(), x->sign, x->exponent, std::move(d)};
}

void expectSame(const Released& a, const Released& b, const std::string& what) {
    EXPECT_EQ(a.words, b.words) << what;
    EXPECT_EQ(a.sign, b.sign) << what;
    EXPECT_EQ(a.exponent, b.exponent) << what;
    ASSERT_EQ(a.array.size(), b.array.size());
    for (std::size_t i = 0; i < a.array.size(); ++i) {
        std::uint64_t x, y;
        std::memcpy(&x, &a.array[i], 8);
        std::memcpy(&y, &b.array[i], 8);
        ASSERT_EQ(x, y) << what << ", element " << i;
    }
}

class ReleasePathTest : public ::testing::TestWithParam<FftPath> {
  protected:
    void SetUp() override {
        if (!fftPathSupported(GetParam())) {
            GTEST_SKIP() << "this CPU does not offer the " << fftPathName(GetParam()) << " path";
        }
    }
};

// Unscaled coefficients (times n/2, as the inverse transform leaves them) with chosen fractional
// parts within 0.45 of an integer, of both signs, up to the largest magnitude balanced words can
// give (n/2 products of R/2 by R/2).
TEST_P(ReleasePathTest, SyntheticCoefficients) {
    std::mt19937_64 gen(2024);
    for (int radix : {10, 100, 1000, 10000}) {
        for (int n = 2; n <= (1 << 16); n *= 2) {
            const double scale = n * 0.5;
            const double R2 = static_cast<double>(radix) * radix;
            std::uniform_real_distribution<double> large(-0.125 * n * R2, 0.125 * n * R2);
            std::uniform_real_distribution<double> small(-R2, R2);
            std::uniform_real_distribution<double> frac(0.0, 1.0);
            std::uniform_int_distribution<int> kind(0, 5);
            std::uniform_int_distribution<int> lead(1, radix - 1);
            for (int count : {n + 2, n / 2 + 2, 3}) {
                if (count > n + 2) continue;
                std::vector<double> d(n + 2);
                for (int k = 1; k <= n; ++k) {
                    double c = std::floor(k % 2 == 0 ? large(gen) : small(gen));
                    switch (kind(gen)) {
                        case 0:
                            c += 0.45;
                            break;
                        case 1:
                            c -= 0.45;
                            break;
                        case 2:
                            break;
                        case 3:
                            c = 0.0;
                            break;
                        default:
                            c += 0.9 * (frac(gen) - 0.5);
                            break;
                    }
                    d[k] = c * scale;
                }
                // Leading product of the signed leading words, both signs, sometimes >= radix.
                const double v =
                    static_cast<double>(lead(gen)) * lead(gen) * (frac(gen) < 0.5 ? 1 : -1);
                d[n + 1] = v;
                d[1] += std::fabs(v) * scale;
                d[0] = static_cast<double>(static_cast<int>(frac(gen) * 40) - 20);
                const std::string what = "radix " + std::to_string(radix) + ", n " +
                                         std::to_string(n) + ", count " + std::to_string(count);
                expectSame(release(GetParam(), count, radix, n, d),
                           release(FftPath::Scalar, count, radix, n, d), what);
            }
        }
    }
}

// What a release must write for unscaled coefficients d (d[k] = c_k n/2 for k = 2..n, leading word
// `lead` in d[1] and d[n+1], exponent 3): the base-radix digits of sum floor(c_k + 1/2) R^(n+1-k)
// plus the leading word, from exact 128-bit integers with floor division.
struct ExactRelease {
    std::vector<int> words;
    int exponent;
};

ExactRelease exactRelease(const std::vector<__int128>& rounded, int lead, int radix, int n) {
    std::vector<int> expected(n + 2, 0);
    __int128 carry = 0;
    for (int k = n + 1; k >= 2; --k) {
        const __int128 t = rounded[k] + carry;
        __int128 q = t / radix;
        if (t % radix < 0) q -= 1;
        expected[k - 1] = static_cast<int>(t - q * radix);
        carry = q;
    }
    const __int128 top = carry + lead;
    EXPECT_GT(top, 0);
    EXPECT_LT(top, static_cast<__int128>(radix) * radix);
    int exponent = 3;
    if (top < radix) {
        expected[0] = static_cast<int>(top);
    } else {  // one more word: everything moves down by one, the last word falls off
        expected.insert(expected.begin() + 1, static_cast<int>(top % radix));
        expected.pop_back();
        expected[0] = static_cast<int>(top / radix);
        exponent += 1;
    }
    return {expected, exponent};
}

// The array of a release whose coefficients are `coefficients` (index k = 2..n) plus the leading
// word, and their rounded values.
std::vector<double> releaseInput(const std::vector<double>& coefficients, int lead, int n,
                                 std::vector<__int128>& rounded) {
    const double scale = n * 0.5;
    std::vector<double> d(n + 2, 0.0);
    rounded.assign(n + 2, 0);
    for (int k = 2; k <= n; ++k) {
        d[k] = coefficients[k] * scale;
        rounded[k] = static_cast<__int128>(std::floor(coefficients[k] + 0.5));
    }
    d[n + 1] = lead;
    d[1] = lead * scale;
    d[0] = 3;
    return d;
}

void expectExactRelease(FftPath path, const std::vector<double>& coefficients, int lead, int radix,
                        int n, const std::string& what) {
    std::vector<__int128> rounded;
    const std::vector<double> d = releaseInput(coefficients, lead, n, rounded);
    const ExactRelease expected = exactRelease(rounded, lead, radix, n);
    const Released fast = release(path, n + 2, radix, n, d);
    EXPECT_EQ(fast.words, expected.words) << what;
    EXPECT_EQ(fast.sign, 1) << what;
    EXPECT_EQ(fast.exponent, expected.exponent) << what;
}

// Coefficients with any fractional part, exact halves included, released on a path whose carries
// are formed in integers: the words must be the base-radix digits of the coefficients rounded
// half up. The second coefficient dominates, so the carry out of word 1 is positive, and with the
// leading word it gives one or two leading words.
TEST_P(ReleasePathTest, IntegerCarriesGiveTheExactDigitsOfTheRoundedCoefficients) {
    if (GetParam() == FftPath::Sse2) GTEST_SKIP() << "the sse2 path releases with the reference";
    std::mt19937_64 gen(99);
    std::uniform_real_distribution<double> frac(0.0, 1.0);
    for (int radix : {10, 100, 1000, 10000}) {
        const double R2 = static_cast<double>(radix) * radix;
        std::uniform_real_distribution<double> coef(-4 * R2, 4 * R2);
        for (int n = 4; n <= (1 << 14); n *= 4) {
            std::vector<double> c(n + 1, 0.0);
            for (int k = 2; k <= n; ++k) {
                c[k] = std::floor(k == 2 ? 4 * R2 + std::fabs(coef(gen)) : coef(gen));
                const int kind = static_cast<int>(frac(gen) * 4);
                c[k] += kind == 0 ? 0.5 : kind == 1 ? -0.5 : kind == 2 ? 0.0 : frac(gen) - 0.5;
            }
            const int lead = 1 + static_cast<int>(frac(gen) * (radix - 2));  // below radix - 0.5
            expectExactRelease(GetParam(), c, lead, radix, n,
                               "radix " + std::to_string(radix) + ", n " + std::to_string(n));
        }
    }
}

// A long release runs its chain in two halves joined by a carry fix-up: a carry (or a borrow) out
// of the less significant half must ripple through every word of the other, here words of
// radix-1 (or 0) from the join up to word 1, at odd and even lengths around where the halves
// start.
TEST_P(ReleasePathTest, CarriesRippleAcrossTheWholeChain) {
    if (GetParam() == FftPath::Sse2) GTEST_SKIP() << "the sse2 path releases with the reference";
    const int radix = 10000;
    for (const int n : {1 << 10, 1 << 11, 1 << 14}) {
        for (const int sign : {1, -1}) {
            // Every coefficient radix-1 (or 0) except the last one, which carries +1 (or -1)
            // into the one above it: all words become 0 (or radix-1) and the carry reaches word 1.
            for (const int last : {n, n - 1}) {
                std::vector<double> c(n + 1, sign > 0 ? radix - 1.0 : 0.0);
                for (int k = last + 1; k <= n; ++k) c[k] = 0.0;
                c[last] = sign > 0 ? radix + 0.3 : -radix - 0.3;
                expectExactRelease(GetParam(), c, 5, radix, n,
                                   "n " + std::to_string(n) + ", sign " + std::to_string(sign) +
                                       ", last " + std::to_string(last));
            }
        }
    }
}

// Coefficients near the largest the integer carries take (2^46 against a limit of 2^47), in
// pairs that cancel: M R at one position and about -M at the next, so each pair hands a carry of
// about M from one word to the next while the carry out of the whole chain stays small. Long
// chains run in vector lanes whose quotients come from a floating-point product; their margins
// are narrowest here.
TEST_P(ReleasePathTest, LargestCoefficientsKeepTheirExactDigits) {
    if (GetParam() == FftPath::Sse2) GTEST_SKIP() << "the sse2 path releases with the reference";
    std::mt19937_64 gen(46);
    std::uniform_real_distribution<double> frac(0.0, 1.0);
    for (int radix : {10, 10000}) {
        const double R2 = static_cast<double>(radix) * radix;
        const double top = std::ldexp(1.0, 46) / radix;
        for (const int n : {1 << 12, 1 << 13}) {
            std::vector<double> c(n + 1, 0.0);
            for (int k = n; k >= 6; k -= 2) {
                const double M = std::floor(top * (2 * frac(gen) - 1));
                const int kind = static_cast<int>(frac(gen) * 3);
                c[k] = M * radix + (kind == 0 ? 0.5 : kind == 1 ? -0.5 : frac(gen) - 0.5);
                c[k - 1] = -M + std::floor((2 * frac(gen) - 1) * R2) + (frac(gen) - 0.5);
            }
            c[4] = std::floor(frac(gen) * R2);
            c[3] = std::floor(frac(gen) * R2);
            c[2] = 4 * R2;
            expectExactRelease(GetParam(), c, 7, radix, n,
                               "radix " + std::to_string(radix) + ", n " + std::to_string(n));
        }
    }
}

// A coefficient too large for the integer carries sends the whole release to the reference chain:
// the result then equals the reference even at exact halves.
TEST_P(ReleasePathTest, OversizedCoefficientFallsBackToTheReference) {
    std::mt19937_64 gen(5);
    std::uniform_real_distribution<double> frac(0.0, 1.0);
    const int radix = 10000;
    for (const int n : {1 << 10, 1 << 13}) {  // the second runs its chain in vector lanes
        const double scale = n * 0.5;
        for (int where : {2, n / 2, n}) {
            std::vector<double> d(n + 2);
            for (int k = 1; k <= n; ++k) {
                d[k] = (std::floor((frac(gen) - 0.5) * 1e8) + (k % 3 == 0 ? 0.5 : 0.25)) * scale;
            }
            d[where] = 4503599627370496.0 * scale;  // 2^52
            d[n + 1] = 77;
            d[1] += 77 * scale;
            expectSame(release(GetParam(), n + 2, radix, n, d),
                       release(FftPath::Scalar, n + 2, radix, n, d),
                       "n " + std::to_string(n) + ", at " + std::to_string(where));
        }
    }
}

// Real products of numbers with random and border digits (runs of 9999 and of 0), through the
// engine's own conversion and transform, released on both paths.
TEST_P(ReleasePathTest, RealProducts) {
    std::mt19937_64 gen(7);
    const int radix = 10000;
    for (int n = 4; n <= (1 << 15); n *= 2) {
        const int count = n + 2;
        for (int pattern = 0; pattern < 3; ++pattern) {
            OwnedNumber a(count), b(count);
            std::uniform_int_distribution<int> word(0, radix - 1);
            for (int i = 0; i < count; ++i) {
                const bool run = pattern == 1 || (pattern == 2 && (i / 7) % 2 == 0);
                a[i] = static_cast<std::int16_t>(run ? radix - 1 : word(gen));
                b[i] = static_cast<std::int16_t>(pattern == 2 && i % 5 == 0 ? 0
                                                 : run                      ? radix - 1
                                                                            : word(gen));
            }
            a[0] = static_cast<std::int16_t>(std::max<int>(1, a[0]));
            b[0] = static_cast<std::int16_t>(std::max<int>(1, b[0]));
            a->sign = 1;
            b->sign = pattern == 1 ? -1 : 1;
            a->exponent = 3;
            b->exponent = -2;
            std::vector<double> A(n + 2), B(n + 2);
            mpToDoubles(count, radix, n, 0, *a, A.data());
            mpToDoubles(count, radix, n, 0, *b, B.data());
            spectrumMultiply(n, A.data(), B.data());
            const std::string what =
                "n " + std::to_string(n) + ", pattern " + std::to_string(pattern);
            expectSame(release(GetParam(), count, radix, n, B),
                       release(FftPath::Scalar, count, radix, n, B), what);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, ReleasePathTest,
                         ::testing::Values(FftPath::Sse2, FftPath::Avx2, FftPath::Avx512),
                         [](const ::testing::TestParamInfo<FftPath>& info) {
                             return std::string(fftPathName(info.param));
                         });

}  // namespace
}  // namespace oskelon::test
