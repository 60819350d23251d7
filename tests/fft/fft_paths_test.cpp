// Every vector path held against the scalar reference, bit for bit: the three first stages, the
// fixed kernels of the leaves blocks, the cache-blocked permutations and the whole transform in
// both directions, at every power of two from 2 to 2^23 doubles. Paths the CPU does not offer are
// skipped (and say so).
//
// The first stages are also checked at the lengths where their factor generation changes shape:
// the seed blocks of 64 front points (one, two, three, eight and more of them, the last one
// shorter), every split of a block into vector runs of 8, 4 and 2 points, two blocks run side by
// side with a shorter second one, and the smallest stages. Also: nothing outside the block is
// touched, nothing carries over from one call to the next, and the stages compute what their
// formulas say (long-double oracle).
//
// The transform only calls the stages on powers of two, where every seed block but the last
// holds 64 points and the last one 2, 6, 14, 30 or 62. The loop structure of the reference is
// the same for every n that is a multiple of 32 (n >= 64): front points 1 .. n/16 - 2, an even
// count, seeded every 64 points. Those lengths are used here too, so that 3 seed blocks, odd
// block counts and every even size of the last block are exercised; both sides compute the same
// well-defined function of the block there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fft/block_finish.h"
#include "fft/complex_fft.h"
#include "fft/fft_oracle.h"
#include "fft/fft_path.h"

namespace oskelon {
namespace {

using StageFn = void (*)(int, double*);

constexpr int kLargest = 1 << 23;  // doubles
constexpr int kSeedInterval = 64;  // front points per seed block
constexpr int kGuard = 24;         // doubles of sentinel on each side of a block

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

struct Stage {
    const char* name;
    StageFn FftStages::*fn;
};
constexpr Stage kStages[] = {{"quarterStage", &FftStages::quarterStage},
                             {"quarterStageConj", &FftStages::quarterStageConj},
                             {"twistedQuarterStage", &FftStages::twistedQuarterStage}};

// Seed blocks of a stage on n doubles and the front points of its last block.
struct SeedBlocks {
    int count, last;
};
SeedBlocks seedBlocks(int n) {
    const int front = n / 16 - 2;  // front points 1 .. m/2 - 2
    const int count = (front + kSeedInterval - 1) / kSeedInterval;
    return {count, front - (count - 1) * kSeedInterval};
}

// Random parts with exact zeros of both signs, equal parts (exact cancellation), subnormal and
// large values among them.
std::vector<double> operand(int n, std::uint64_t seed) {
    std::vector<double> d = test::randomDoubles(n, seed);
    for (std::size_t i = 0; i < d.size(); i += 11) d[i] = 0.0;
    for (std::size_t i = 4; i < d.size(); i += 23) d[i] = -0.0;
    for (std::size_t i = 6; i + 1 < d.size(); i += 17) d[i + 1] = d[i];
    for (std::size_t i = 9; i < d.size(); i += 37) d[i] *= 0x1p-1060;
    for (std::size_t i = 3; i < d.size(); i += 41) d[i] *= 0x1p+900;
    return d;
}

// Values the leaves must treat exactly like the reference: zeros of both signs, parts equal or
// opposite to their neighbours (exact cancellations), small integers (exact sums, zero results
// whose sign depends on the operation order) and random values of magnitudes from 2^-600 to 2^600
// side by side, so that a reassociated sum loses the small term differently.
// Zeros of random signs with a few ones of random signs among them: the sign of each zero result
// follows from the exact operations, so a lane given a different operation (such as a product with
// 1 instead of no product) shows up where random data would not reveal it.
std::vector<double> signedZeros(int n, std::mt19937_64& gen) {
    std::vector<double> d(static_cast<std::size_t>(n), 0.0);
    for (double& x : d) {
        const std::uint64_t bits = gen();
        x = (bits & 1) ? -0.0 : 0.0;
        if ((bits & 0x1e) == 0) x = (bits & 0x20) ? 1.0 : -1.0;
    }
    return d;
}

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

// A block of n doubles inside sentinel guards, starting `past` bytes (0, 16, 32 or 48) after a
// 64-byte boundary; 16 is where quarters of quarters start in the transform.
struct Guarded {
    std::vector<double> buf;
    std::size_t past;
    Guarded(const std::vector<double>& block, std::size_t past)
        : buf(block.size() + 2 * kGuard + 8), past(past) {
        for (std::size_t i = 0; i < buf.size(); ++i) buf[i] = sentinel(i);
        std::copy(block.begin(), block.end(), at());
    }
    static double sentinel(std::size_t i) { return -12345.0 - static_cast<double>(i); }
    std::size_t offset() const {
        const auto addr = reinterpret_cast<std::uintptr_t>(buf.data()) + kGuard * sizeof(double);
        return kGuard + ((past + 64 - addr % 64) % 64) / sizeof(double);
    }
    double* at() { return buf.data() + offset(); }
    // Doubles outside the block that no longer hold their sentinel.
    int guardsChanged(int n) const {
        int bad = 0;
        for (std::size_t i = 0; i < buf.size(); ++i) {
            const bool inside = i >= offset() && i < offset() + static_cast<std::size_t>(n);
            const double expected = sentinel(i);
            if (!inside && std::memcmp(&buf[i], &expected, sizeof expected) != 0) ++bad;
        }
        return bad;
    }
};

bool sameBits(const double* a, const double* b, int n) {
    return std::memcmp(a, b, static_cast<std::size_t>(n) * sizeof(double)) == 0;
}

class FftPathTest : public ::testing::TestWithParam<FftPath> {
  protected:
    void SetUp() override {
        if (!fftPathSupported(GetParam())) {
            GTEST_SKIP() << "this CPU does not offer the " << fftPathName(GetParam()) << " path";
        }
    }
    const FftStages& fast() const { return fftStages(GetParam()); }
    static const FftStages& reference() { return fftStages(FftPath::Scalar); }

    // One stage on one length: the path's result equals the reference's bit for bit and the
    // guards are intact. Returns whether it did.
    bool check(const Stage& s, int n, std::uint64_t seed, std::size_t past = 16) const {
        const std::vector<double> in = operand(n, seed);
        Guarded a(in, past), b(in, past);
        (fast().*s.fn)(n, a.at());
        (reference().*s.fn)(n, b.at());
        const bool same = sameBits(a.at(), b.at(), n);
        const int changed = a.guardsChanged(n);
        EXPECT_TRUE(same) << s.name << ", n = " << n;
        EXPECT_EQ(changed, 0) << s.name << ", n = " << n << ": doubles outside the block written";
        return same && changed == 0;
    }
};

// Every multiple of 32 from 64 to 8192 doubles: 1 to 8 seed blocks, the last one of every even
// size from 2 to 64, so every mix of 8-, 4- and 2-point runs and every pairing of blocks.
TEST_P(FftPathTest, EveryLengthUpTo8192MatchesTheReference) {
    std::set<int> blockCounts, lastSizes;
    for (int n = 64; n <= 8192; n += 32) {
        const SeedBlocks sb = seedBlocks(n);
        for (const Stage& s : kStages) {
            if (check(s, n, 31 * n)) {
                blockCounts.insert(sb.count);
                lastSizes.insert(sb.last);
            }
        }
    }
    // The census of what passed: 1, 2, 3 and 8 blocks, and each even last-block size.
    for (int c : {1, 2, 3, 4, 5, 8}) EXPECT_EQ(blockCounts.count(c), 1u) << c << " seed blocks";
    for (int last = 2; last <= kSeedInterval; last += 2) {
        EXPECT_EQ(lastSizes.count(last), 1u) << "last seed block of " << last << " points";
    }
}

// Larger stages near seed-block boundaries (a last block of 2, 60, 62 or 64 points; odd and
// even block counts), and every power of two the transform uses, up to 2^23 doubles, on a 64-byte
// boundary as well.
TEST_P(FftPathTest, LargeLengthsMatchTheReference) {
    std::vector<int> lengths;
    for (int blocks : {9, 15, 16, 17, 33, 64, 127}) {
        for (int extra : {-992, -32, 0, 32, 64}) lengths.push_back(1024 * blocks + extra);
    }
    for (int n : lengths) {
        ASSERT_EQ(n % 32, 0);
        for (const Stage& s : kStages) check(s, n, 7 * n + 1);
    }
    for (int n = 64; n <= kLargest; n *= 2) {
        for (const Stage& s : kStages) {
            for (std::size_t past : {0, 16}) check(s, n, 7 * n + 1, past);
        }
    }
}

// No state survives a call: stages of different kinds and lengths, interleaved, each give the
// reference's result (a factor kept from an earlier call of another length would not).
TEST_P(FftPathTest, CallsDoNotShareState) {
    const int lengths[] = {2048, 64, 1 << 16, 128, 2048, 96, 4096, 64, 1 << 14, 2080, 2048};
    int i = 0;
    for (int n : lengths) {
        for (int k = 0; k < 3; ++k) check(kStages[(i + k) % 3], n, 1000 + 13 * i + k);
        ++i;
    }
}

// Independent of the reference: the stage formulas of stage_kernels.h evaluated in long double
// with exact roots, for every point. The plain stage with w = e^(2 pi i/(n/2)):
//   z[j] = (a+c)+(b+d), z[j+m] = (a+c)-(b+d), z[j+2m] = w^j((a-c)+i(b-d)),
//   z[j+3m] = w^(3j)((a-c)-i(b-d));
// the twisted one with alpha = e^(pi i/(n/2)):
//   z[j] = alpha^j (a+ic) + alpha^(j+m) (b+id), z[j+m] = the same with -,
//   z[j+2m] = alpha^(3j) (a-ic) + alpha^(3j+3m) (b-id), z[j+3m] = the same with -.
// The conjugating stage is the plain one applied to the conjugated block.
TEST_P(FftPathTest, StagesFollowTheirFormulas) {
    using L = long double;
    struct Cl {
        L re, im;
    };
    auto mul = [](Cl a, Cl b) { return Cl{a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; };
    auto add = [](Cl a, Cl b) { return Cl{a.re + b.re, a.im + b.im}; };
    auto sub = [](Cl a, Cl b) { return Cl{a.re - b.re, a.im - b.im}; };
    auto timesI = [](Cl a) { return Cl{-a.im, a.re}; };
    for (int n : {64, 128, 512, 2048, 4096, 1 << 15}) {
        const int m = n / 8, q = n / 4, M = n / 2;
        const std::vector<test::ComplexL> roots = test::unitRoots(2 * M);  // alpha^r
        auto alpha = [&](long r) {
            const test::ComplexL& w = roots[static_cast<std::size_t>(r % (2 * M))];
            return Cl{w.re, w.im};
        };
        for (const Stage& s : kStages) {
            const bool conj = s.fn == &FftStages::quarterStageConj;
            const bool twisted = s.fn == &FftStages::twistedQuarterStage;
            const std::vector<double> in = test::randomDoubles(n, 555 + n);
            std::vector<double> out = in;
            (fast().*s.fn)(n, out.data());
            double worst = 0.0;
            for (int j = 0; j < m; ++j) {
                Cl v[4];
                for (int Q = 0; Q < 4; ++Q) {
                    const double* p = in.data() + Q * q + 2 * j;
                    v[Q] = {p[0], conj ? -L(p[1]) : L(p[1])};
                }
                Cl want[4];
                if (twisted) {
                    const Cl u = mul(alpha(j), add(v[0], timesI(v[2])));
                    const Cl w = mul(alpha(j + m), add(v[1], timesI(v[3])));
                    const Cl x = mul(alpha(3L * j), sub(v[0], timesI(v[2])));
                    const Cl y = mul(alpha(3L * j + 3L * m), sub(v[1], timesI(v[3])));
                    want[0] = add(u, w), want[1] = sub(u, w), want[2] = add(x, y);
                    want[3] = sub(x, y);
                } else {
                    const Cl g = add(v[0], v[2]), h = add(v[1], v[3]);
                    const Cl e = sub(v[0], v[2]), f = sub(v[1], v[3]);
                    want[0] = add(g, h), want[1] = sub(g, h);
                    want[2] = mul(alpha(2L * j), add(e, timesI(f)));
                    want[3] = mul(alpha(6L * j), sub(e, timesI(f)));
                }
                for (int Q = 0; Q < 4; ++Q) {
                    const double* p = out.data() + Q * q + 2 * j;
                    worst = std::max(worst, static_cast<double>(
                                                std::hypot(p[0] - want[Q].re, p[1] - want[Q].im)));
                }
            }
            // Inputs are below 1 in modulus per part, outputs below 4*sqrt(2); factors are within
            // 10 eps of the exact roots, and each output takes a few roundings more.
            EXPECT_LT(worst, 64 * test::kEps) << s.name << ", n = " << n;
        }
    }
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

// The calls on several blocks, plain and twisted in every mix of one to four blocks and in some
// mixes of more, lying apart and out of order in memory: the first stages of up to 16 blocks of 256
// to 2048 doubles, whose factors the vector paths form once for all the blocks of a kind, and the
// end of the recursion on up to four blocks of 256 or 512 doubles, which the vector paths finish
// with the quarters' factors formed once and the leaves' kernels of all the blocks grouped by kind
// (one vector of both kinds for the rest). Every block must still get exactly the reference's
// result, signs of zeros included.
TEST_P(FftPathTest, CallsOnSeveralBlocksAreBitIdentical) {
    using BlocksFn =
        void (*)(int, double* const*, int, unsigned, const StageAngle&, const StageAngle&);
    struct Case {
        const char* name;
        BlocksFn fast, reference;
        std::vector<int> lengths;
        int angleOf;  // the blocks' stages are on n / angleOf doubles
        int maxCount;
    };
    const Case cases[] = {{"stageBlocks",
                           fast().stageBlocks,
                           reference().stageBlocks,
                           {256, 512, 1024, 2048},
                           1,
                           kMaxStageBlocks},
                          {"finishBlocks",
                           fast().finishBlocks,
                           reference().finishBlocks,
                           {256, 512},
                           4,
                           kMaxFinishBlocks}};
    std::vector<std::pair<int, unsigned>> mixes;  // (count, twisted mask)
    for (int count = 1; count <= 4; ++count) {
        for (unsigned mask = 0; mask < (1u << count); ++mask) mixes.emplace_back(count, mask);
    }
    for (unsigned mask : {0x0000u, 0xffffu, 0x2222u, 0xa2a2u, 0x1234u, 0xfffeu}) {
        mixes.emplace_back(16, mask);
    }
    mixes.emplace_back(9, 0x155u);
    std::mt19937_64 gen(512);
    for (const Case& c : cases) {
        for (int n : c.lengths) {
            const StageAngle plain = plainStageAngle(n / c.angleOf);
            const StageAngle twisted = twistedStageAngle(n / c.angleOf);
            for (const auto& [count, mask] : mixes) {
                if (count > c.maxCount) continue;
                const std::string where = std::string(c.name) + ", n = " + std::to_string(n) +
                                          ", count = " + std::to_string(count) +
                                          ", twisted mask = " + std::to_string(mask);
                const int size = (count + 1) * (n + n / 4) + n;
                int zeroFailures = 0;
                for (int trial = 0; trial < 33; ++trial) {
                    const int seed = 100 * n + 10 * count + static_cast<int>(mask);
                    std::vector<double> in;
                    if (trial > 0) {
                        in = signedZeros(size, gen);
                    } else if ((mask & 1) != 0) {
                        in = awkwardOperand(size, seed);
                    } else {
                        in = operand(size, seed);
                    }
                    std::vector<double> a = in, b = in;
                    double* fastBlocks[kMaxStageBlocks];
                    double* referenceBlocks[kMaxStageBlocks];
                    for (int i = 0; i < count; ++i) {
                        const int at = (count - i) * (n + n / 4);  // apart, the last one first
                        fastBlocks[i] = a.data() + at;
                        referenceBlocks[i] = b.data() + at;
                    }
                    c.fast(n, fastBlocks, count, mask, plain, twisted);
                    c.reference(n, referenceBlocks, count, mask, plain, twisted);
                    if (trial == 0) {
                        EXPECT_EQ(firstDifference(a, b), -1) << where;
                    } else {
                        zeroFailures += firstDifference(a, b) != -1;
                    }
                }
                EXPECT_EQ(zeroFailures, 0) << "signed zeros, " << where;
            }
        }
    }
}

// Zero blocks with every pattern of signs in one kernel's points: the sign of each zero result
// follows from the exact operations, so a lane given a different operation (such as a product
// with 1 instead of no product) shows up here even where random data would not reveal it. The
// same for the three stages at the lengths where the vector paths give point 0 and the centre
// lanes of their own.
TEST_P(FftPathTest, SmallBlocksKeepTheSignsOfZeros) {
    struct Case {
        const char* name;
        StageFn fast, reference;
        std::vector<int> lengths;
    };
    std::vector<Case> cases = {
        {"leavesPlain", fast().leavesPlain, reference().leavesPlain, {64, 128}},
        {"leavesTwisted", fast().leavesTwisted, reference().leavesTwisted, {64, 128}}};
    for (const Stage& s : kStages) {
        cases.push_back({s.name, fast().*s.fn, reference().*s.fn, {64, 128, 256, 512, 1024}});
    }
    for (const Case& c : cases) {
        for (int n : c.lengths) {
            int failures = 0;
            std::mt19937_64 gen(n);
            for (int trial = 0; trial < 4000; ++trial) {
                const std::vector<double> in = signedZeros(n, gen);
                std::vector<double> a = in, b = in;
                c.fast(n, a.data());
                c.reference(n, b.data());
                failures += firstDifference(a, b) != -1;
            }
            EXPECT_EQ(failures, 0) << c.name << ", n = " << n;
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
        const std::vector<double> in = test::randomDoubles(n, 9 + n);
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

// Every path's permutations, whole and in parts, against index reversal bit by bit (independent
// of the reference code): the buffered tiles of sse2 and the in-place vector tiles of avx2 and
// avx512, at every length (tiled from 256 points up, both parities of the middle bits).
TEST(PathPermutations, AreTheIndexReversalAtEveryLength) {
    for (FftPath path : kAllFftPaths) {
        if (!fftPathSupported(path)) continue;
        const FftStages& s = fftStages(path);
        for (int n = 4; n <= (1 << 22); n *= 2) {
            const int N = n / 2;
            const int bits = test::log2Exact(N);
            std::vector<double> d(n);
            for (int p = 0; p < N; ++p) d[2 * p] = p + 0.25, d[2 * p + 1] = -(p + 0.5);
            std::vector<double> plain = d, conj = d, plainParts = d, conjParts = d;
            s.bitReverse(n, plain.data());
            s.bitReverseConj(n, conj.data());
            const int parts = n < 64 ? 2 : 7;
            for (int i = parts - 1; i >= 0; --i) {
                s.bitReversePart(n, plainParts.data(), i, parts);
                s.bitReverseConjPart(n, conjParts.data(), i, parts);
            }
            int bad = 0;
            for (int p = 0; p < N; ++p) {
                const int r = test::reverseBits(p, bits);
                for (const std::vector<double>* v : {&plain, &plainParts}) {
                    bad += (*v)[2 * p] != r + 0.25 || (*v)[2 * p + 1] != -(r + 0.5);
                }
                for (const std::vector<double>* v : {&conj, &conjParts}) {
                    bad += (*v)[2 * p] != r + 0.25 || (*v)[2 * p + 1] != r + 0.5;
                }
            }
            EXPECT_EQ(bad, 0) << fftPathName(path) << ", n = " << n;
        }
    }
}

}  // namespace
}  // namespace oskelon
