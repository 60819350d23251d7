// Every vector path held against the scalar reference, bit for bit: the three first stages, the
// fixed kernels of the leaves blocks, the cache-blocked permutations and the whole transform in
// both directions, at every length from 2 to 2^23 doubles. Paths the CPU does not offer are
// skipped (and say so).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fft/complex_fft.h"
#include "fft/fft_oracle.h"
#include "fft/fft_path.h"
#include "fft/stage_kernels.h"

namespace oskelon {
namespace {

constexpr int kLargest = 1 << 23;  // doubles

// Index of the first double whose bits differ, or -1.
long firstDifference(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        std::uint64_t x, y;
        std::memcpy(&x, &a[i], 8);
        std::memcpy(&y, &b[i], 8);
        if (x != y) return static_cast<long>(i);
    }
    return -1;
}

// Random data with a sprinkling of exact zeros, negative zeros and equal parts, so that the sign
// of zero and exact cancellations are exercised too.
std::vector<double> operand(int n, std::uint64_t seed) {
    std::vector<double> d = test::randomDoubles(n, seed);
    for (std::size_t i = 0; i < d.size(); i += 13) d[i] = 0.0;
    for (std::size_t i = 5; i < d.size(); i += 29) d[i] = -0.0;
    for (std::size_t i = 7; i + 1 < d.size(); i += 31) d[i + 1] = d[i];
    return d;
}

// Values the leaves must treat exactly like the reference: zeros of both signs, parts equal or
// opposite to their neighbours (exact cancellations), small integers (exact sums, zero results
// whose sign depends on the operation order) and random values of magnitudes from 2^-600 to 2^600
// side by side, so that a reassociated sum loses the small term differently.
std::vector<double> awkwardOperand(int n, std::uint64_t seed) {
    std::mt19937_64 gen(seed);
    std::uniform_int_distribution<int> kind(0, 9), exponent(-600, 600), small(-3, 3);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<double> d(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < d.size(); ++i) {
        switch (kind(gen)) {
            case 0:
                d[i] = 0.0;
                break;
            case 1:
                d[i] = -0.0;
                break;
            case 2:
                d[i] = i > 0 ? d[i - 1] : 1.0;
                break;
            case 3:
                d[i] = i > 1 ? -d[i - 2] : -1.0;
                break;
            case 4:
            case 5:
                d[i] = small(gen);
                break;
            case 6:
            case 7:
                d[i] = std::ldexp(unit(gen), exponent(gen));
                break;
            default:
                d[i] = unit(gen);
                break;
        }
    }
    return d;
}

class FftPathTest : public ::testing::TestWithParam<FftPath> {
  protected:
    void SetUp() override {
        if (!fftPathSupported(GetParam())) {
            GTEST_SKIP() << "this CPU does not offer the " << fftPathName(GetParam()) << " path";
        }
    }
    const FftStages& fast() const { return fftStages(GetParam()); }
    const FftStages& reference() const { return fftStages(FftPath::Scalar); }
};

using StageFn = void (*)(int, double*);

void expectSameStage(StageFn fast, StageFn reference, const char* what) {
    for (int n = 64; n <= kLargest; n *= 2) {
        const std::vector<double> in = operand(n, 1000 + n);
        std::vector<double> a = in, b = in;
        fast(n, a.data());
        reference(n, b.data());
        EXPECT_EQ(firstDifference(a, b), -1) << what << ", n = " << n;
    }
}

TEST_P(FftPathTest, QuarterStageIsBitIdentical) {
    expectSameStage(fast().quarterStage, reference().quarterStage, "quarterStage");
}

TEST_P(FftPathTest, QuarterStageConjIsBitIdentical) {
    expectSameStage(fast().quarterStageConj, reference().quarterStageConj, "quarterStageConj");
}

TEST_P(FftPathTest, TwistedQuarterStageIsBitIdentical) {
    expectSameStage(fast().twistedQuarterStage, reference().twistedQuarterStage,
                    "twistedQuarterStage");
}

// The leaves of 64 and 128 doubles (four 8- or 16-point kernels) on random and awkward data, at
// an offset of one point from the vector alignment too.
TEST_P(FftPathTest, LeavesAreBitIdentical) {
    struct Case {
        const char* name;
        StageFn fast, reference;
    };
    const Case cases[] = {{"leavesPlain", fast().leavesPlain, reference().leavesPlain},
                          {"leavesTwisted", fast().leavesTwisted, reference().leavesTwisted}};
    for (const Case& c : cases) {
        for (int n : {64, 128}) {
            for (int offset : {0, 2}) {
                int failures = 0;
                for (int seed = 0; seed < 3000; ++seed) {
                    std::vector<double> in = seed % 3 == 0 ? operand(n + offset, seed)
                                                           : awkwardOperand(n + offset, seed);
                    std::vector<double> a = in, b = in;
                    c.fast(n, a.data() + offset);
                    c.reference(n, b.data() + offset);
                    if (firstDifference(a, b) != -1 && ++failures <= 3) {
                        ADD_FAILURE() << c.name << ", n = " << n << ", offset = " << offset
                                      << ", seed = " << seed << ": first difference at double "
                                      << firstDifference(a, b);
                    }
                }
                EXPECT_EQ(failures, 0) << c.name << ", n = " << n << ", offset = " << offset;
            }
        }
    }
}

// Zero blocks with every pattern of signs in one kernel's points: the sign of each zero result
// follows from the exact operations, so a lane given a different operation (such as a product
// with 1 instead of no product) shows up here even where random data would not reveal it.
TEST_P(FftPathTest, LeavesKeepTheSignsOfZeros) {
    for (StageFn fast : {this->fast().leavesPlain, this->fast().leavesTwisted}) {
        const StageFn reference = fast == this->fast().leavesPlain
                                      ? this->reference().leavesPlain
                                      : this->reference().leavesTwisted;
        for (int n : {64, 128}) {
            int failures = 0;
            std::mt19937_64 gen(n);
            for (int trial = 0; trial < 4000; ++trial) {
                std::vector<double> in(static_cast<std::size_t>(n), 0.0);
                for (double& x : in) {
                    const std::uint64_t bits = gen();
                    x = (bits & 1) ? -0.0 : 0.0;
                    if ((bits & 0x1e) == 0) x = (bits & 0x20) ? 1.0 : -1.0;
                }
                std::vector<double> a = in, b = in;
                fast(n, a.data());
                reference(n, b.data());
                failures += firstDifference(a, b) != -1;
            }
            EXPECT_EQ(failures, 0) << "n = " << n;
        }
    }
}

TEST_P(FftPathTest, PermutationsAreTheReferencePermutations) {
    for (int n = 4; n <= kLargest; n *= 2) {
        const std::vector<double> in = operand(n, 77 + n);
        std::vector<double> a = in, b = in;
        fast().bitReverse(n, a.data());
        reference().bitReverse(n, b.data());
        EXPECT_EQ(firstDifference(a, b), -1) << "bitReverse, n = " << n;
        a = in;
        b = in;
        fast().bitReverseConj(n, a.data());
        reference().bitReverseConj(n, b.data());
        EXPECT_EQ(firstDifference(a, b), -1) << "bitReverseConj, n = " << n;
    }
}

TEST_P(FftPathTest, WholeTransformIsBitIdenticalInBothDirections) {
    for (int n = 2; n <= kLargest; n *= 2) {
        const std::vector<double> in = operand(n, 5 + n);
        for (int sign : {+1, -1}) {
            std::vector<double> a = in, b = in;
            complexFftOn(GetParam(), n, sign, a.data());
            complexFftOn(FftPath::Scalar, n, sign, b.data());
            EXPECT_EQ(firstDifference(a, b), -1) << "n = " << n << ", sign = " << sign;
        }
    }
}

// The fast path is not the reference in disguise: the scalar path is the plain code, and the
// transform it computes is the DFT (checked against the naive sum here for a few lengths).
TEST_P(FftPathTest, AgreesWithTheNaiveDft) {
    for (int n : {64, 512, 2048, 8192}) {
        const std::vector<double> in = operand(n, 9 + n);
        std::vector<double> a = in;
        complexFftOn(GetParam(), n, +1, a.data());
        EXPECT_LT(test::relativeRmsError(a, test::naiveDft(in, +1)), 4e-15) << "n = " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, FftPathTest,
                         ::testing::Values(FftPath::Sse2, FftPath::Avx2, FftPath::Avx512),
                         [](const ::testing::TestParamInfo<FftPath>& info) {
                             return std::string(fftPathName(info.param));
                         });

TEST(FftPath, NamesAndSupport) {
    EXPECT_STREQ(fftPathName(FftPath::Scalar), "scalar");
    EXPECT_STREQ(fftPathName(FftPath::Sse2), "sse2");
    EXPECT_STREQ(fftPathName(FftPath::Avx2), "avx2");
    EXPECT_STREQ(fftPathName(FftPath::Avx512), "avx512");
    EXPECT_TRUE(fftPathSupported(FftPath::Scalar));
    EXPECT_TRUE(fftPathSupported(FftPath::Sse2));
    EXPECT_TRUE(fftPathSupported(bestFftPath()));
    EXPECT_TRUE(fftPathSupported(activeFftPath()));
    // Each path's table is distinct from the reference one apart from the scalar path itself.
    for (FftPath p : {FftPath::Sse2, FftPath::Avx2, FftPath::Avx512}) {
        EXPECT_NE(fftStages(p).quarterStage, fftStages(FftPath::Scalar).quarterStage)
            << fftPathName(p);
        EXPECT_NE(fftStages(p).bitReverse, fftStages(FftPath::Scalar).bitReverse) << fftPathName(p);
    }
    for (FftPath p : {FftPath::Avx2, FftPath::Avx512}) {
        EXPECT_NE(fftStages(p).leavesPlain, fftStages(FftPath::Scalar).leavesPlain)
            << fftPathName(p);
        EXPECT_NE(fftStages(p).leavesTwisted, fftStages(FftPath::Scalar).leavesTwisted)
            << fftPathName(p);
    }
}

// The blocked permutation against index reversal bit by bit (independent of the reference code).
TEST(BitReverseBlocked, IsTheIndexReversalAtEveryLength) {
    for (int n = 4; n <= (1 << 22); n *= 2) {
        const int N = n / 2;
        const int bits = test::log2Exact(N);
        std::vector<double> d(n), c(n);
        for (int p = 0; p < N; ++p) d[2 * p] = p + 0.25, d[2 * p + 1] = -(p + 0.5);
        c = d;
        bitReverseBlocked(n, d.data());
        bitReverseConjBlocked(n, c.data());
        int bad = 0;
        for (int p = 0; p < N; ++p) {
            const int s = test::reverseBits(p, bits);
            bad += d[2 * p] != s + 0.25 || d[2 * p + 1] != -(s + 0.5);
            bad += c[2 * p] != s + 0.25 || c[2 * p + 1] != s + 0.5;
        }
        EXPECT_EQ(bad, 0) << "n = " << n;
    }
}

}  // namespace
}  // namespace oskelon
