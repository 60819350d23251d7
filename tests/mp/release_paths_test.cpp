// The release and the whole engine on every path held against the scalar reference, bit for bit:
// words, sign, exponent and the array elements the release alters. The fast release differs from
// the reference only in how it truncates (one rounding instruction instead of a round trip
// through a 64-bit integer), so the operands here aim at what could tell the two apart:
// coefficients of both signs, fractional parts right at and around 1/2, zero coefficients and
// carries that ripple through runs of 9999.
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
// parts, of both signs, including exact halves and values a few ulps either side of them.
TEST_P(ReleasePathTest, SyntheticCoefficients) {
    std::mt19937_64 gen(2024);
    for (int radix : {10, 100, 10000}) {
        for (int n = 2; n <= (1 << 16); n *= 2) {
            const double scale = n * 0.5;
            const double R2 = static_cast<double>(radix) * radix;
            std::uniform_real_distribution<double> coef(-0.3 * R2 * std::min(n, 64),
                                                        0.3 * R2 * std::min(n, 64));
            std::uniform_real_distribution<double> frac(0.0, 1.0);
            std::uniform_int_distribution<int> kind(0, 5);
            std::uniform_int_distribution<int> lead(1, radix - 1);
            for (int count : {n + 2, n / 2 + 2, 3}) {
                if (count > n + 2) continue;
                std::vector<double> d(n + 2);
                for (int k = 1; k <= n; ++k) {
                    double c = std::floor(coef(gen));
                    switch (kind(gen)) {
                        case 0: c += 0.5; break;
                        case 1: c = std::nextafter(c + 0.5, 1e300); break;
                        case 2: c = std::nextafter(c + 0.5, -1e300); break;
                        case 3: c = 0.0; break;
                        default: c += frac(gen) - 0.5; break;
                    }
                    d[k] = c * scale;
                }
                // Leading product of the signed leading words, both signs, sometimes >= radix.
                const double v = static_cast<double>(lead(gen)) * lead(gen) * (frac(gen) < 0.5 ? 1 : -1);
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
                                                 : run                   ? radix - 1
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
            const std::string what = "n " + std::to_string(n) + ", pattern " + std::to_string(pattern);
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
