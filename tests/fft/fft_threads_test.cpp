// The transform on several threads gives the one-thread bits. Its pieces first: every first stage
// done in parts (any split by seed blocks, parts in any order) and every permutation done in parts
// equal the whole call bit for bit, on every path; then whole transforms on pools of 2 and 3
// threads against the same transform without a pool.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "fft/complex_fft.h"
#include "fft/fft_oracle.h"
#include "fft/fft_path.h"
#include "fft/stage_kernels.h"
#include "parallel/work_pool.h"

namespace oskelon {
namespace {

using WholeStage = void (*)(int, double*);
using StagePart = void (*)(int, double*, int, int, const StageAngle&);

struct StageKind {
    const char* name;
    WholeStage FftStages::*whole;
    StagePart FftStages::*part;
    StageAngle (*angle)(int n);
};
constexpr StageKind kStageKinds[] = {
    {"plain", &FftStages::quarterStage, &FftStages::quarterStagePart, plainStageAngle},
    {"conj", &FftStages::quarterStageConj, &FftStages::quarterStageConjPart, plainStageAngle},
    {"twisted", &FftStages::twistedQuarterStage, &FftStages::twistedQuarterStagePart,
     twistedStageAngle}};

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

std::vector<FftPath> supportedPaths() {
    std::vector<FftPath> paths;
    for (FftPath p : kAllFftPaths) {
        if (fftPathSupported(p)) paths.push_back(p);
    }
    return paths;
}

// Cuts [0, blocks) into ranges: one per seed block, halves, a single range, and random cuts.
std::vector<std::vector<int>> splits(int blocks, std::mt19937& gen) {
    std::vector<std::vector<int>> all;
    std::vector<int> each;
    for (int b = 0; b <= blocks; ++b) each.push_back(b);
    all.push_back(each);
    all.push_back({0, blocks});
    if (blocks > 1) all.push_back({0, blocks / 2, blocks});
    for (int r = 0; r < 3 && blocks > 2; ++r) {
        std::vector<int> cuts = {0, blocks};
        std::uniform_int_distribution<int> at(1, blocks - 1);
        for (int c = 0; c < 4; ++c) cuts.push_back(at(gen));
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
        all.push_back(cuts);
    }
    return all;
}

// Seed blocks of every shape: a single one (64, 128, 1024), a shorter last one (2048, 3072, 4064,
// 2^14, 2^17), only full ones (2080, 4128, 2^14 + 32).
constexpr int kStageLengths[] = {64,   128,  1024, 2048,    2080,           3072,
                                 4064, 4128, 8192, 1 << 14, (1 << 14) + 32, 1 << 17};

TEST(FftParts, StagesInPartsInAnyOrderAreTheWholeStage) {
    std::mt19937 gen(2024);
    for (FftPath path : supportedPaths()) {
        const FftStages& s = fftStages(path);
        for (const StageKind& kind : kStageKinds) {
            for (int n : kStageLengths) {
                const std::vector<double> in = test::randomDoubles(n, 3 * n + 1);
                std::vector<double> whole = in;
                (s.*kind.whole)(n, whole.data());
                int checked = 0;
                for (const std::vector<int>& cuts : splits(stageSeedBlocks(n), gen)) {
                    std::vector<int> order(cuts.size() - 1);
                    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
                    std::shuffle(order.begin(), order.end(), gen);
                    std::vector<double> parts = in;
                    const StageAngle angle = kind.angle(n);
                    for (int i : order) {
                        (s.*kind.part)(n, parts.data(), cuts[i], cuts[i + 1], angle);
                    }
                    EXPECT_TRUE(sameBits(parts, whole))
                        << fftPathName(path) << " " << kind.name << ", n = " << n << ", "
                        << order.size() << " parts";
                    ++checked;
                }
                EXPECT_GE(checked, 2);
            }
        }
    }
}

// A part leaves the rest of the block alone: with one part per seed block, every double of the
// block is changed by exactly one part (the whole stage changes them all).
TEST(FftParts, StagePartsWriteDisjointDoubles) {
    for (FftPath path : supportedPaths()) {
        const FftStages& s = fftStages(path);
        for (const StageKind& kind : kStageKinds) {
            for (int n : {2048, 4064, 1 << 14}) {
                const int blocks = stageSeedBlocks(n);
                const std::vector<double> in = test::randomDoubles(n, 5 * n);
                std::vector<int> writers(static_cast<std::size_t>(n), 0);
                for (int b = 0; b < blocks; ++b) {
                    std::vector<double> d = in;
                    (s.*kind.part)(n, d.data(), b, b + 1, kind.angle(n));
                    for (std::size_t i = 0; i < d.size(); ++i) {
                        writers[i] += std::memcmp(&d[i], &in[i], sizeof(double)) != 0;
                    }
                }
                const int once = static_cast<int>(std::count(writers.begin(), writers.end(), 1));
                EXPECT_EQ(once, n) << fftPathName(path) << " " << kind.name << ", n = " << n;
            }
        }
    }
}

TEST(FftParts, PermutationsInPartsAreTheWholePermutation) {
    for (FftPath path : supportedPaths()) {
        const FftStages& s = fftStages(path);
        for (int n = 4; n <= (1 << 20); n *= 4) {
            const std::vector<double> in = test::randomDoubles(n, 11 * n);
            for (bool conj : {false, true}) {
                std::vector<double> whole = in;
                (conj ? s.bitReverseConj : s.bitReverse)(n, whole.data());
                for (int parts : {1, 2, 3, 7, 32, 100}) {
                    std::vector<double> d = in;
                    for (int i = parts - 1; i >= 0; --i) {
                        (conj ? s.bitReverseConjPart : s.bitReversePart)(n, d.data(), i, parts);
                    }
                    EXPECT_TRUE(sameBits(d, whole)) << fftPathName(path) << (conj ? " conj" : "")
                                                    << ", n = " << n << ", " << parts << " parts";
                }
            }
        }
    }
}

// Whole transforms, forward and inverse, on pools of 2 and 3 threads: from below the threshold to
// 2^22 doubles the bits are those of the one-thread run, and from the threshold up the transform
// did spread over the pool.
TEST(FftThreads, TransformsOnAPoolAreBitIdenticalToOneThread) {
    for (int threads : {2, 3}) {
        WorkPool pool(threads);
        for (FftPath path : supportedPaths()) {
            for (int n = kFftParallelMinLength / 4; n <= (1 << 22); n *= 2) {
                const std::vector<double> in = test::randomDoubles(n, 17 * n + threads);
                for (int sign : {+1, -1}) {
                    std::vector<double> alone = in, spread = in;
                    complexFftOn(path, n, sign, alone.data());
                    const std::uint64_t before = pool.runs();
                    {
                        ActivePoolScope scope(&pool);
                        complexFftOn(path, n, sign, spread.data());
                    }
                    const std::uint64_t runs = pool.runs() - before;
                    const std::string what =
                        std::string(fftPathName(path)) + ", " + std::to_string(threads) +
                        " threads, n = " + std::to_string(n) + ", sign " + std::to_string(sign);
                    EXPECT_EQ(test::firstBitDifference(spread, alone), -1) << what;
                    if (n < kFftParallelMinLength) {
                        EXPECT_EQ(runs, 0u) << what;
                    } else {
                        EXPECT_GE(runs, 3u) << what;
                    }
                }
            }
        }
    }
}

// The engine's entry points (complexFft, fftForward, fftInverse) take the same route.
TEST(FftThreads, EntryPointsOnAPoolAreBitIdentical) {
    const int n = 1 << 19;
    const std::vector<double> in = test::randomDoubles(n, 99);
    std::vector<double> f1 = in, f2 = in, i1 = in, i2 = in, c1 = in, c2 = in;
    fftForward(n, f1.data());
    fftInverse(n, i1.data());
    complexFft(n, -1, c1.data());
    WorkPool pool(2);
    ActivePoolScope scope(&pool);
    fftForward(n, f2.data());
    fftInverse(n, i2.data());
    complexFft(n, -1, c2.data());
    EXPECT_TRUE(sameBits(f1, f2));
    EXPECT_TRUE(sameBits(i1, i2));
    EXPECT_TRUE(sameBits(c1, c2));
    EXPECT_TRUE(sameBits(c2, i2));
    EXPECT_GE(pool.runs(), 9u);
}

// The first two levels of a long transform in one pass, seed blocks of the first stage as the
// quarters' stages need them, alone and in groups on pools of 2 and 3 threads: the same bits as
// the two whole passes, on every path, in both directions, for one chunk of seed blocks (2^14),
// several (2^17, 2^19: groups of one and of several chunks, two seed blocks shared at each
// boundary) and at the length where the runs start to use it (2^23, the runs' own route).
TEST(FftFused, FirstTwoLevelsInOnePassAreBitIdentical) {
    WorkPool two(2), three(3);
    for (const FftPath path : supportedPaths()) {
        for (const int n : {kFusedTopMinLength, 1 << 17, 1 << 19}) {
            const std::vector<double> in = test::randomDoubles(n, n + 5);
            for (const int sign : {1, -1}) {
                std::vector<double> passes = in;
                complexFftOn(path, n, sign, passes.data());
                for (WorkPool* pool : {static_cast<WorkPool*>(nullptr), &two, &three}) {
                    std::vector<double> fused = in;
                    const std::uint64_t before = pool ? pool->runs() : 0;
                    {
                        ActivePoolScope scope(pool);
                        complexFftFusedOn(path, n, sign, fused.data());
                    }
                    const std::string what = std::string(fftPathName(path)) + ", n " +
                                             std::to_string(n) + ", sign " + std::to_string(sign) +
                                             ", " + std::to_string(pool ? pool->threads() : 1) +
                                             " threads";
                    EXPECT_EQ(test::firstBitDifference(fused, passes), -1) << what;
                    if (pool && n > kFusedTopMinLength) {
                        EXPECT_GE(pool->runs() - before, 3u) << what;
                    }
                }
            }
        }
    }
    const int n = 1 << 23;
    const std::vector<double> in = test::randomDoubles(n, 23);
    std::vector<double> alone = in, spread = in;
    fftInverse(n, alone.data());
    ActivePoolScope scope(&two);
    fftInverse(n, spread.data());
    EXPECT_TRUE(sameBits(alone, spread));
}

// An inverse transform whose input arrives only through its prelude: the array starts as NaN and
// each ready() call copies in the points of its units. A point read before its unit is ready
// would bring a NaN into the result. Every unit must be made ready exactly once, and the result
// must be the plain inverse's bits: for one unit (2^11), units taken whole (2^12), in parts on a
// pool (2^16, 2^18), in parts on one thread (2^17, 2^18), as the fused first two levels need them
// in their groups on a pool (2^21; 2^14 and 2^17 forced) and on one thread (2^14, 2^17), on every
// path, alone and on pools of 2 and 3 threads.
TEST(FftPrelude, InverseReadsEachUnitOnlyAfterItIsReady) {
    struct Feed {
        int n;
        const std::vector<double>* source;
        std::vector<double>* data;
        std::vector<int> calls;         // per unit; parts write disjoint elements
        void copy(int x, int points) {  // offsets [x, x + points) of every quarter
            for (int at = 2 * x; at < n; at += n / 4)
                std::copy_n(source->data() + at, 2 * points, data->data() + at);
        }
        static void ready(void* context, int first, int end) {
            Feed& f = *static_cast<Feed*>(context);
            const int m = f.n / 8;
            for (int u = first; u < end; ++u) {
                ++f.calls[u];
                f.copy(f.n < 2048 ? 0 : 128 * u, f.n < 2048 ? m : 128);
                if (f.n >= 2048) f.copy(m - 128 * u - 128, 128);
            }
        }
    };
    struct Case {
        int n;
        bool fused;
    };
    const Case cases[] = {{1 << 11, false}, {1 << 12, false}, {1 << 16, false}, {1 << 17, false},
                          {1 << 18, false}, {1 << 21, false}, {1 << 14, true},  {1 << 17, true}};
    WorkPool two(2), three(3);
    for (const FftPath path : supportedPaths()) {
        for (const auto [n, fused] : cases) {
            const std::vector<double> in = test::randomDoubles(n, n + 7);
            std::vector<double> want = in;
            complexFftOn(path, n, -1, want.data());
            for (WorkPool* pool : {static_cast<WorkPool*>(nullptr), &two, &three}) {
                std::vector<double> got(n, std::numeric_limits<double>::quiet_NaN());
                Feed feed{n, &in, &got, std::vector<int>(fftPreludeUnits(n))};
                const InversePrelude prelude{&Feed::ready, &feed};
                {
                    ActivePoolScope scope(pool);
                    if (fused) {
                        complexFftFusedOn(path, n, -1, got.data(), &prelude);
                    } else {
                        complexFftInverseAfterOn(path, n, got.data(), prelude);
                    }
                }
                const std::string what = std::string(fftPathName(path)) + ", n " +
                                         std::to_string(n) + (fused ? " fused, " : ", ") +
                                         std::to_string(pool ? pool->threads() : 1) + " threads";
                EXPECT_EQ(std::count(feed.calls.begin(), feed.calls.end(), 1),
                          static_cast<long>(feed.calls.size()))
                    << what;
                EXPECT_EQ(test::firstBitDifference(got, want), -1) << what;
            }
        }
    }
}

}  // namespace
}  // namespace oskelon
