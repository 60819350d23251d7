// The whole transform against its exact twin (naive DFT in long double) and other exact oracles,
// and its bit-exact direction symmetries.
#include "fft/complex_fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "fft/fft_oracle.h"
#include "fft/fft_path.h"

namespace oskelon {
namespace {

using test::firstBitDifference;
using test::kEps;

// Relative RMS error of one transform of N points. Every output passes log2 N radix-2 levels (a
// radix-4 stage counts as two); each adds rounding of about eps/4 in the RMS sense plus its share
// of the factor error, and the final constant products a little more. Adding linearly gives
// eps (2 + log2 N)/4; measured values grow like eps sqrt(log2 N) and stay below 60% of it.
double transformBound(int N) {
    return kEps * (2 + test::log2Exact(N)) / 4;
}

// From 2 to 2^15 doubles every path runs: fixed kernels (16, 32), leaves (64, 128), finishers
// (256, 512), one level of recursion (1024, 2048) and deeper recursion.
TEST(ComplexFft, AgreesWithNaiveDftAtEveryPathLength) {
    for (int n = 2; n <= (1 << 15); n *= 2) {
        const std::vector<double> x = test::randomDoubles(n, 1000 + n);
        for (int sign : {+1, -1}) {
            std::vector<double> y = x;
            complexFft(n, sign, y.data());
            const double err = test::relativeRmsError(y, test::naiveDft(x, sign));
            test::recordMeasurement("dft_n" + std::to_string(n) + (sign > 0 ? "_fwd" : "_inv"),
                                    err);
            EXPECT_LE(err, transformBound(n / 2)) << "n = " << n << ", sign = " << sign;
        }
    }
}

TEST(ComplexFft, InverseAfterForwardReturnsScaledInputUpToLargestLength) {
    for (int n = 4; n <= (1 << 23); n *= 2) {
        const int N = n / 2;
        const std::vector<double> x = test::randomDoubles(n, 2000 + n);
        std::vector<double> y = x;
        complexFft(n, +1, y.data());
        complexFft(n, -1, y.data());
        long double err = 0.0L, norm = 0.0L;
        for (std::size_t i = 0; i < x.size(); ++i) {
            const long double want = static_cast<long double>(N) * x[i], d = y[i] - want;
            err += d * d;
            norm += want * want;
        }
        const double rel = static_cast<double>(std::sqrt(err / norm));
        test::recordMeasurement("roundtrip_n" + std::to_string(n), rel);
        EXPECT_LE(rel, 2 * transformBound(N)) << "n = " << n;
    }
}

// The inverse differs from the forward transform only by exact operations: conjugation in the
// first stage and the final permutation, or, up to 32 doubles, reading the forward result at
// (N - k) mod N. Any sign >= 0 is forward.
TEST(ComplexFft, DirectionsAreExactMirrorImages) {
    for (int n = 2; n <= (1 << 20); n *= 2) {
        const int N = n / 2;
        const std::vector<double> x = test::randomDoubles(n, 3000 + n);
        std::vector<double> inv = x, fwdOfConj = test::conjugated(x), fwd = x, viaDriver = x;
        complexFft(n, -1, inv.data());
        complexFft(n, +1, fwdOfConj.data());
        EXPECT_EQ(firstBitDifference(inv, test::conjugated(fwdOfConj)), -1) << "n = " << n;

        complexFft(n, 0, fwd.data());
        fftForward(n, viaDriver.data());
        EXPECT_EQ(firstBitDifference(fwd, viaDriver), -1) << "sign 0, n = " << n;
        if (n > 32) continue;
        std::vector<double> backwards(fwd.size());
        for (int k = 0; k < N; ++k) {
            backwards[2 * k] = fwd[2 * ((N - k) % N)];
            backwards[2 * k + 1] = fwd[2 * ((N - k) % N) + 1];
        }
        EXPECT_EQ(firstBitDifference(inv, backwards), -1) << "n = " << n;
    }
}

// The block transforms as the recursion defines them, every stage a whole call that evaluates its
// own step angle: P (or T) of a block is its plain (or twisted) stage, then P, T, P and P (or T)
// on its quarters, down to the fixed kernels of 64- and 128-double blocks.
void blockTwin(const FftStages& s, int n, double* b, bool twisted) {
    (twisted ? s.twistedQuarterStage : s.quarterStage)(n, b);
    if (n <= 128) {
        (twisted ? s.leavesTwisted : s.leavesPlain)(n, b);
        return;
    }
    const int q = n / 4;
    for (int i = 0; i < 4; ++i) blockTwin(s, q, b + i * q, i == 1 || (i == 3 && twisted));
}

// The transform evaluates each length's step angle once and hands it to all the stages of that
// length; the bits must be those of the stages evaluating it themselves, on every path, in both
// directions, for leaves, finishers, one and several levels of recursion and the fused top levels.
TEST(ComplexFft, SharedStepAnglesGiveTheBitsOfTheWholeStages) {
    for (FftPath path : kAllFftPaths) {
        if (!fftPathSupported(path)) continue;
        const FftStages& s = fftStages(path);
        for (int n = 64; n <= (1 << 16); n *= 2) {
            for (int sign : {+1, -1}) {
                const std::vector<double> x = test::randomDoubles(n, 7 * n + sign);
                std::vector<double> twin = x, got = x, fused = x;
                (sign > 0 ? s.quarterStage : s.quarterStageConj)(n, twin.data());
                const int q = n / 4;
                for (int i = 0; i < 4 && n > 128; ++i) blockTwin(s, q, twin.data() + i * q, i == 1);
                if (n <= 128) s.leavesPlain(n, twin.data());
                (sign > 0 ? s.bitReverse : s.bitReverseConj)(n, twin.data());
                complexFftOn(path, n, sign, got.data());
                const std::string what = std::string(fftPathName(path)) +
                                         ", n = " + std::to_string(n) + ", sign " +
                                         std::to_string(sign);
                EXPECT_EQ(firstBitDifference(got, twin), -1) << what;
                if (n < kFusedTopMinLength) continue;
                complexFftFusedOn(path, n, sign, fused.data());
                EXPECT_EQ(firstBitDifference(fused, twin), -1) << "fused, " << what;
            }
        }
    }
}

// Small Gaussian integers keep every operation exact.
TEST(ComplexFft, SmallestLengthsFollowTheirClosedForms) {
    for (int sign : {+1, -1}) {
        const std::vector<double> one = test::randomDoubles(2, 5000);
        std::vector<double> y1 = one, y2{3, -7, 5, 2};
        complexFft(2, sign, y1.data());
        complexFft(4, sign, y2.data());
        EXPECT_EQ(firstBitDifference(y1, one), -1);
        EXPECT_EQ(y2, (std::vector<double>{8, -5, -2, -9}));  // (z0 + z1, z0 - z1)
    }
    // z0+z2 = 6-4i, z0-z2 = -4+8i, z1+z3 = 4+12i, z1-z3 = -10-4i; the inverse exchanges X1, X3.
    std::vector<double> f{1, 2, -3, 4, 5, -6, 7, 8}, i = f;
    complexFft(8, +1, f.data());
    complexFft(8, -1, i.data());
    EXPECT_EQ(f, (std::vector<double>{10, 8, 0, -2, 2, -16, -8, 18}));
    EXPECT_EQ(i, (std::vector<double>{10, 8, -8, 18, 2, -16, 0, -2}));
}

// An impulse at point 0 never meets a factor other than 1, so every output is exactly 1; a
// constant c gathers into N c at point 0.
TEST(ComplexFft, ImpulseAndConstantInputs) {
    for (int n = 2; n <= (1 << 20); n *= 2) {
        const int N = n / 2;
        for (int sign : {+1, -1}) {
            std::vector<double> x(static_cast<std::size_t>(n), 0.0), c(x.size());
            x[0] = 1.0;
            for (int j = 0; j < N; ++j) c[2 * j] = 0.375, c[2 * j + 1] = -1.25;
            complexFft(n, sign, x.data());
            complexFft(n, sign, c.data());
            int notOne = 0;
            double worst = std::hypot(c[0] - N * 0.375, c[1] + N * 1.25);
            for (int k = 0; k < N; ++k) notOne += x[2 * k] != 1.0 || x[2 * k + 1] != 0.0;
            for (int k = 1; k < N; ++k) worst = std::max(worst, std::hypot(c[2 * k], c[2 * k + 1]));
            EXPECT_EQ(notOne, 0) << "impulse, n = " << n << ", sign = " << sign;
            EXPECT_LE(worst / (N * std::hypot(0.375, 1.25)), transformBound(N)) << "n = " << n;
        }
    }
}

// x[j] = e^(-sign 2 pi i j k0/N) transforms to N at k0 and 0 elsewhere: an exact oracle far
// beyond the reach of the naive DFT.
TEST(ComplexFft, SingleFrequencyLandsOnItsBin) {
    for (int n : {64, 2048, 1 << 16, 1 << 21}) {
        const int N = n / 2;
        const std::vector<test::ComplexL> roots = test::unitRoots(N);
        for (int k0 : {1, N / 3, N / 2 - 1, N - 1}) {
            for (int sign : {+1, -1}) {
                std::vector<double> x(static_cast<std::size_t>(n));
                for (int j = 0; j < N; ++j) {
                    const test::ComplexL& w = roots[static_cast<std::size_t>(1LL * j * k0 % N)];
                    x[2 * j] = static_cast<double>(w.re);
                    x[2 * j + 1] = static_cast<double>(-sign * w.im);
                }
                complexFft(n, sign, x.data());
                long double err = 0.0L;
                for (int k = 0; k < N; ++k) {
                    const long double dr = x[2 * k] - (k == k0 ? N : 0), di = x[2 * k + 1];
                    err += dr * dr + di * di;
                }
                EXPECT_LE(static_cast<double>(std::sqrt(err) / N), transformBound(N))
                    << "n = " << n << ", k0 = " << k0 << ", sign = " << sign;
            }
        }
    }
}

}  // namespace
}  // namespace oskelon
