// The fixed kernels against naive transforms: the 16- and 8-point kernels followed by the fixed
// bit reversal give the (twisted) DFT; the 4- and 2-point transforms are exact on integers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "fft/complex_fft.h"
#include "fft/fft_oracle.h"
#include "fft/stage_kernels.h"

namespace oskelon {
namespace {

// Plain: sum_j z[j] e^(2 pi i jp/N). Twisted: the DFT of z[j] e^(i pi j/N), which is
// sum_j z[j] e^(2 pi i j(2p+1)/(2N)). Each output passes log2 N levels and at most three constant
// products; 2 eps is about twice the worst relative RMS error measured.
TEST(FixedKernels, GiveTheirTransformsAfterTheFixedBitReversal) {
    struct Case {
        const char* name;
        int N;
        bool twisted;
        void (*kernel)(double*);
        void (*reverse)(double*);
    };
    const Case cases[] = {
        {"kernelPlain16", 16, false, kernelPlain16, bitReverse16},
        {"kernelTwisted16", 16, true, kernelTwisted16, bitReverse16},
        {"kernelPlain8", 8, false, kernelPlain8, bitReverse8},
        {"kernelTwisted8", 8, true, kernelTwisted8, bitReverse8},
    };
    for (const Case& c : cases) {
        std::vector<int> mult(static_cast<std::size_t>(c.N));
        for (int p = 0; p < c.N; ++p) mult[static_cast<std::size_t>(p)] = c.twisted ? 2 * p + 1 : p;
        double worst = 0.0;
        for (int seed = 0; seed < 50; ++seed) {
            const std::vector<double> z = test::randomDoubles(2 * c.N, 300 + seed);
            std::vector<double> y = z;
            c.kernel(y.data());
            c.reverse(y.data());
            const auto want = test::naiveSum(z, mult, c.twisted ? 2 * c.N : c.N, +1);
            worst = std::max(worst, test::relativeRmsError(y, want));
        }
        test::recordMeasurement(std::string(c.name), worst);
        EXPECT_LE(worst, 2 * test::kEps) << c.name;
    }
}

// With small integer parts every sum is exact: the result equals the rounded exact DFT.
TEST(FixedKernels, SmallTransformsAreExactOnIntegers) {
    const std::vector<double> four{1, -2, 3, 7, -5, 4, 6, -8}, two{9, -3, -4, 11};
    struct Case {
        const char* name;
        const std::vector<double>& z;
        int sign;
        void (*kernel)(double*);
    };
    const Case cases[] = {{"dft4Forward", four, +1, dft4Forward},
                          {"dft4Inverse", four, -1, dft4Inverse},
                          {"dft2", two, +1, dft2},
                          {"dft2", two, -1, dft2}};
    for (const Case& c : cases) {
        std::vector<double> y = c.z, want(c.z.size());
        c.kernel(y.data());
        const auto exact = test::naiveDft(c.z, c.sign);
        for (std::size_t p = 0; p < exact.size(); ++p) {
            want[2 * p] = std::round(static_cast<double>(exact[p].re));
            want[2 * p + 1] = std::round(static_cast<double>(exact[p].im));
        }
        EXPECT_EQ(y, want) << c.name << ", sign " << c.sign;
    }
}

}  // namespace
}  // namespace oskelon
