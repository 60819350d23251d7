// Drivers and depth-first recursion of the complex transform.
//
// A block of M points is transformed by its first stage and then by block transforms of its four
// quarters: after the plain stage, P on quarters 0, 2, 3 and T on quarter 1; after the twisted
// stage, P on quarters 0 and 2 and T on quarters 1 and 3. The result is bit-reversed within the
// block. Blocks above 8192 doubles recurse depth first; below, the levels go breadth first, each
// level's stages in one call (levelsTogether), down to blocks of 256 or 512 doubles, which the
// path's finishBlocks (block_finish.h) finishes four at a time; blocks of 64 or 128 doubles end in
// the fixed 8- and 16-point kernels.
//
// On several threads (an active pool, n >= kFftParallelMinLength) the same blocks get the same
// calls, in another order: the first stages of the top levels split by seed blocks (from 2^21
// doubles the first two levels fused, in groups of chunks), then the blocks below them as
// independent parts, then the permutation in parts. Every element still sees exactly the
// operations of the one-thread run, so the bits do not depend on the threads.
//
// The stages of one length all start from the same step angle (StageAngle, which depends on the
// divisor alone). A transform evaluates each of its lengths' angles once, up front, and hands it to
// every stage of that length: a few cosine/sine pairs per transform instead of one per stage call,
// with the same bits. At 2^11 points the per-call pairs were 14% of the transform.
#include "fft/complex_fft.h"

#include <algorithm>
#include <array>
#include <bit>
#include <bitset>

#include "fft/block_finish.h"
#include "fft/contract.h"
#include "fft/fft_path.h"
#include "fft/stage_kernels.h"
#include "parallel/work_pool.h"

namespace oskelon {
namespace {

// The step angles of one transform of n doubles: stageAngle of every divisor its stages use, each
// evaluated once and handed to all the stages of its length. The stages run on n, n/4, n/16, ...
// down to 64 or 128 doubles (plain on each, twisted on each but n): the divisors from the
// smallest length / 4 up to n/4.
class StageAngles {
  public:
    explicit StageAngles(int n) {
        int smallest = n;
        while (smallest >= 256) smallest >>= 2;
        for (int d = smallest >> 2; d <= n >> 2; d <<= 1) at(d) = stageAngle(d);
    }
    const StageAngle& plain(int n) const { return at(n >> 2); }
    const StageAngle& twisted(int n) const { return at(n >> 1); }

  private:
    static int index(int divisor) { return std::countr_zero(static_cast<unsigned>(divisor)) - 4; }
    StageAngle& at(int divisor) { return angles_[index(divisor)]; }
    const StageAngle& at(int divisor) const { return angles_[index(divisor)]; }

    std::array<StageAngle, 28> angles_;  // divisor 2^(i + 4); n < 2^31
};

// One path's stages on whole blocks, with the transform's angles.
class Stages {
  public:
    Stages(const FftStages& s, const StageAngles& a) : s_(s), a_(a) {}

    void plain(int n, double* block) const {
        s_.quarterStagePart(n, block, 0, stageSeedBlocks(n), a_.plain(n));
    }
    void conj(int n, double* block) const {
        s_.quarterStageConjPart(n, block, 0, stageSeedBlocks(n), a_.plain(n));
    }
    void twisted(int n, double* block) const {
        s_.twistedQuarterStagePart(n, block, 0, stageSeedBlocks(n), a_.twisted(n));
    }
    void stage(int n, double* block, bool isTwisted) const {
        if (isTwisted) {
            twisted(n, block);
        } else {
            plain(n, block);
        }
    }
    void stages(int n, double* const* blocks, int count, unsigned twisted) const {
        s_.stageBlocks(n, blocks, count, twisted, a_.plain(n), a_.twisted(n));
    }
    void finish(int n, double* const* blocks, int count, unsigned twisted) const {
        s_.finishBlocks(n, blocks, count, twisted, a_.plain(n >> 2), a_.twisted(n >> 2));
    }
    void leavesPlain(int n, double* block) const { s_.leavesPlain(n, block); }
    const FftStages& path() const { return s_; }
    const StageAngles& angles() const { return a_; }

  private:
    const FftStages& s_;
    const StageAngles& a_;
};

// The recursion over one path's stages and leaves.

void recurseOn(const Stages& s, int n, double* block, bool twisted);

// A block before its first stage: where it lies and whether it is twisted.
struct Block {
    double* at;
    bool twisted;
};

// Each staged block of n doubles into its quarters: P gives P, T, P, P and T gives P, T, P, T. In
// place from the back: block i goes to 4i .. 4i+3, above every block not yet read.
void quartersOfBlocks(Block* blocks, int& count, int& n) {
    const int q = n >> 2;
    for (int i = count - 1; i >= 0; --i) {
        const Block b = blocks[i];
        for (int t = 0; t < 4; ++t)
            blocks[4 * i + t] = {b.at + t * q, quarterTwisted(t, b.twisted)};
    }
    count *= 4;
    n = q;
}

// The quarters of a block of n >= 1024 doubles after its own stage. Up to kLevelsTogetherUpTo the
// levels below the block go breadth first: all the blocks of a level take their stages in one call
// (the vector paths share their factors among the blocks of a kind, finish_simd.h), down to blocks
// of 256 or 512 doubles, which are finished four at a time. Larger blocks recurse, each quarter
// from its own stage down. Recursion depth is log4(n/8192).
//
// Every block still gets the same stages and leaves; only their order changes. Against the quarters
// of each block on their own (four stages in one call, then each quarter's quarters), BM_Transform
// alternating, medians of 9 (us): avx512 2^11 points 3.82 -> 3.42, 2^12 8.40 -> 7.98, 2^13 18.5 ->
// 17.4, 2^14 38.6 -> 37.2, 2^15 84.6 -> 80.7, 2^16 182 -> 175; avx2 2^11 4.96 -> 4.69, 2^13 24.6
// -> 23.6, 2^15 114 -> 109. The gain is the factors formed once for up to 16 blocks of a level; a
// block of 8192 doubles (64 KiB) still fits the second-level cache.
constexpr int kLevelsTogetherUpTo = 8192;
static_assert(kLevelsTogetherUpTo / 512 <= kMaxStageBlocks);

void levelsTogether(const Stages& s, int n, double* block, bool twisted) {
    Block blocks[kMaxStageBlocks] = {{block, twisted}};
    double* at[kMaxStageBlocks];
    unsigned mask = 0;  // bit i: block i is twisted
    int count = 1;
    do {
        quartersOfBlocks(blocks, count, n);
        mask = 0;
        for (int i = 0; i < count; ++i) {
            at[i] = blocks[i].at;
            mask |= unsigned{blocks[i].twisted} << i;
        }
        s.stages(n, at, count, mask);
    } while (n > 512);
    for (int i = 0; i < count; i += kMaxFinishBlocks) {
        s.finish(n, at + i, kMaxFinishBlocks, mask >> i & ((1u << kMaxFinishBlocks) - 1));
    }
}

void quartersOf(const Stages& s, int n, double* block, bool twisted) {
    if (n <= kLevelsTogetherUpTo) {
        levelsTogether(s, n, block, twisted);
        return;
    }
    const int q = n >> 2;
    for (int t = 0; t < 4; ++t) recurseOn(s, q, block + t * q, quarterTwisted(t, twisted));
}

// The block transform P or T of a block of n >= 256 doubles, from its own stage down.
void recurseOn(const Stages& s, int n, double* block, bool twisted) {
    s.stage(n, block, twisted);
    if (n > 512) {
        quartersOf(s, n, block, twisted);
    } else {
        s.finish(n, &block, 1, twisted ? 1u : 0u);
    }
}

}  // namespace

// The scalar leaves: the reference for the vector paths and the scalar path's table entries.
void leavesPlain(int n, double* block) {
    if (n == 128) {
        kernelPlain16(block);
        kernelTwisted16(block + 32);
        kernelPlain16(block + 64);
        kernelPlain16(block + 96);
    } else {
        kernelPlain8(block);
        kernelTwisted8(block + 16);
        kernelPlain8(block + 32);
        kernelPlain8(block + 48);
    }
}

void leavesTwisted(int n, double* block) {
    if (n == 128) {
        kernelPlain16(block);
        kernelTwisted16(block + 32);
        kernelPlain16(block + 64);
        kernelTwisted16(block + 96);
    } else {
        kernelPlain8(block);
        kernelTwisted8(block + 16);
        kernelPlain8(block + 32);
        kernelTwisted8(block + 48);
    }
}

namespace {

// The quarters of the whole array after its first stage (n > 32), identical in both directions.
inline void transformQuarters(const Stages& s, int n, double* data) {
    const int q = n >> 2;
    if (n > 512) {
        quartersOf(s, n, data, false);
    } else if (q > 32) {
        s.finish(n, &data, 1, 0u);
    } else {
        s.leavesPlain(n, data);
    }
}

// ---------------------------------------------------------------------------------------------
// The inverse's first stage after a prelude (InversePrelude in complex_fft.h)

// The whole prelude at once, where the first stage is not done in parts of units.
void readyAll(const InversePrelude* prelude, int n) {
    if (prelude) prelude->ready(prelude->context, 0, fftPreludeUnits(n));
}

// From this length (doubles) a one-thread inverse takes its prelude in parts of
// kPreludeUnitsPerPart units, each followed by the first stage's seed blocks that read it; a part
// of 8 units is 128 KiB of each array the prelude touches, so that it is still in the L2 cache
// when the stage reads it. A square's forward transform, pointwise loop and inverse on one thread
// (medians of 6, avx512): no difference at 2^18 and 2^20 doubles, 37.1 -> 35.5 ms at 2^22. On two
// threads: none at 2^17 and 2^19, 4.22 -> 4.14 ms at 2^20. And with the first two levels fused
// (from 2^23, FirstStageSeeds): 74.7 -> 72.1 ms at 2^23, 162 -> 156 ms at 2^24, 339 -> 332 ms at
// 2^25 (medians of 5), the loop's output still in the caches when the stage reads it.
constexpr int kPreludeInPartsFrom = 1 << 17;
constexpr int kPreludeUnitsPerPart = 8;

// The conjugating first stage of an inverse on n >= 2048 doubles, the prelude's units cut into
// `parts` ranges. Unit u holds the points that seed blocks 2u and 2u+1 combine (stage_kernels.h),
// except that the front points of seed block 2u+1 end at offset 128u + 128, the first point of
// unit u + 1. So seed blocks 2f .. 2e-2 read only units f .. e-1, and the last seed block of a
// range (2e - 1) waits for the next range's prelude; the range that ends the units has no next, as
// its last seed block ends at the middle points.
//
// On the active pool each part does its prelude and the seed blocks that read only it, and the
// blocks at the ranges' ends follow in a second run; on one thread the parts run in order and each
// finishes the block the one before left.
void conjStageAfterPrelude(const Stages& st, int n, double* data, const InversePrelude& prelude,
                           int parts, bool spread) {
    const int units = fftPreludeUnits(n);
    const int seeds = stageSeedBlocks(n);
    OSKELON_ASSERT(n >= 2048 && seeds == 2 * units);
    parts = std::clamp(parts, 1, units);
    const auto bound = [units, parts](int i) { return units * i / parts; };
    const auto stage = [&](int first, int end) {
        if (first < end) st.path().quarterStageConjPart(n, data, first, end, st.angles().plain(n));
    };
    const auto stageEnd = [&](int i) { return i + 1 < parts ? 2 * bound(i + 1) - 1 : seeds; };
    if (spread) {
        forEachPart(parts, [&](int i) {
            prelude.ready(prelude.context, bound(i), bound(i + 1));
            stage(2 * bound(i), stageEnd(i));
        });
        forEachPart(parts - 1, [&](int i) { stage(stageEnd(i), stageEnd(i) + 1); });
    } else {
        for (int i = 0; i < parts; ++i) {
            prelude.ready(prelude.context, bound(i), bound(i + 1));
            stage(i == 0 ? 0 : stageEnd(i - 1), stageEnd(i));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The first two levels in one pass, for arrays far larger than the caches

// A stage over n doubles has quarters of m = n/8 points; its point j (0 <= j < m) combines the
// points j, j+m, j+2m, j+3m. Its seed blocks cover the front points 1 .. m/2-2 and their mirrors
// m-j; point 0 belongs to seed block 0, the middle points m/2-1 .. m/2+1 to the last one.
//
// The stages of the four quarters read, for their point j' (quarters of m' = m/4 points), what the
// first stage wrote at the points j' + t m' (t = 0..3) of the whole array. Level one and level two
// are therefore done together chunk by chunk: for a chunk of the quarters' seed blocks, first the
// first stage's seed blocks they read (each once), then the chunk in all four quarters. Every
// element sees the same operations in the same order as in two whole passes, so the bits are the
// same, but each element comes from memory once for both levels.
// Measured (one thread, avx512, forward and inverse pairs, medians of 15): 2^23 doubles 79.7 ->
// 73.4 ms, 2^24 186 -> 179 ms; no gain at 2^21 and 2^22, whose data the last-level cache holds in
// good part. Chunks of 16 seed blocks (512 KiB of the quarters) beat 4, 8 and 32.
constexpr int kFusedTopFrom = 1 << 23;       // doubles
constexpr int kFusedTopMaxLength = 1 << 26;  // the size of the record of done seed blocks
static_assert(kFusedTopMinLength <= kFusedTopFrom);
constexpr int kFusedChunkSeeds = 16;  // the quarters' seed blocks per chunk

using SeedSet = std::bitset<stageSeedBlocks(kFusedTopMaxLength)>;

using UnitSet = std::bitset<kFusedTopMaxLength / 2048>;

// The prelude units that first-stage seed blocks [first, end) read (see conjStageAfterPrelude):
// [first / 2, end / 2 + 1), the last seed block reading no unit past the end.
struct UnitRange {
    int first, end;
};
inline UnitRange unitsReadBy(int first, int end, int units) {
    return {first / 2, std::min(units, end / 2 + 1)};
}

// Marks the bits of [first, end) not yet set, calling run(s, e) for each run [s, e) of them.
template <std::size_t N, class Run>
void markRuns(std::bitset<N>& marked, int first, int end, Run run) {
    for (int s = first; s < end;) {
        if (marked[s]) {
            ++s;
            continue;
        }
        int e = s;
        while (e < end && !marked[e]) marked[e++] = true;
        run(s, e);
        s = e;
    }
}

// The first stage's seed blocks, each done once when first needed. With a prelude, the units a run
// of seed blocks reads are made ready just before it (unitsReadBy), each once; units marked in
// `ready` are taken as ready already. Without a stage it only records which seed blocks are needed
// and which units they read.
class FirstStageSeeds {
  public:
    FirstStageSeeds(StagePartFn stage, const StageAngle& angle, int n, double* data,
                    const SeedSet& done = {}, const InversePrelude* prelude = nullptr,
                    const UnitSet& ready = {})
        : stage_(stage),
          angle_(angle),
          n_(n),
          data_(data),
          m_(n / 8),
          seeds_(stageSeedBlocks(n)),
          done_(done),
          prelude_(prelude),
          ready_(ready) {}

    // Makes sure the first stage has done the points lo .. hi (0 <= lo <= hi < m).
    void needPoints(int lo, int hi) {
        if (lo == 0) need(0, 1);
        const int frontLo = std::max(lo, 1), frontHi = std::min(hi, m_ / 2 - 2);
        if (frontLo <= frontHi)
            need((frontLo - 1) / kStageSeedInterval, (frontHi - 1) / kStageSeedInterval + 1);
        if (lo <= m_ / 2 + 1 && hi >= m_ / 2 - 1) need(seeds_ - 1, seeds_);
        const int mirrorLo = std::max(lo, m_ / 2 + 2), mirrorHi = hi;
        if (mirrorLo <= mirrorHi) {
            need((m_ - mirrorHi - 1) / kStageSeedInterval,
                 (m_ - mirrorLo - 1) / kStageSeedInterval + 1);
        }
    }

    // Seed blocks [first, end), each not yet done, in runs of consecutive ones; with a prelude,
    // each run after the units it reads that are not yet ready.
    void need(int first, int end) {
        markRuns(done_, first, end, [this](int s, int e) {
            const UnitRange units = unitsReadBy(s, e, seeds_ / 2);
            markRuns(ready_, units.first, units.end, [this](int u, int v) {
                if (stage_ && prelude_) prelude_->ready(prelude_->context, u, v);
            });
            if (stage_) stage_(n_, data_, s, e, angle_);
        });
    }

    const SeedSet& done() const { return done_; }
    // The units made ready, or without a stage those the recorded seed blocks read.
    const UnitSet& units() const { return ready_; }

  private:
    StagePartFn stage_;
    const StageAngle& angle_;
    int n_;
    double* data_;
    int m_, seeds_;
    SeedSet done_;
    const InversePrelude* prelude_;
    UnitSet ready_;
};

// The quarters' chunks [chunkFirst, chunkEnd) of an array of n doubles: for each, the first stage's
// seed blocks it reads (through `top`), then, with `st`, the chunk's stages in the four quarters
// (P, T, P, P). Without `st` only the seed blocks are recorded.
void fusedChunks(const Stages* st, FirstStageSeeds& top, int n, double* data, int chunkFirst,
                 int chunkEnd) {
    const int q = n / 4;                   // doubles per quarter
    const int mq = n / 32;                 // points per quarter of a quarter's stage
    const int seeds = stageSeedBlocks(q);  // of each quarter's stage
    for (int chunk = chunkFirst; chunk < chunkEnd; ++chunk) {
        const int c0 = chunk * kFusedChunkSeeds;
        const int c1 = std::min(seeds, c0 + kFusedChunkSeeds);
        // The quarters' points of this chunk: fronts a .. b and their mirrors, point 0 with the
        // first chunk, the middle points with the last.
        const int a = c0 * kStageSeedInterval + 1;
        const int b = std::min(c1 * kStageSeedInterval, mq / 2 - 2);
        for (int t = 0; t < 4; ++t) {
            const int base = t * mq;
            if (a <= b) {
                top.needPoints(base + a, base + b);
                top.needPoints(base + mq - b, base + mq - a);
            }
            if (c0 == 0) top.needPoints(base, base);
            if (c1 == seeds) top.needPoints(base + mq / 2 - 1, base + mq / 2 + 1);
        }
        if (!st) continue;
        const FftStages& s = st->path();
        const StageAngles& angles = st->angles();
        for (int t = 0; t < 4; ++t) {
            double* const quarter = data + t * q;
            if (quarterTwisted(t, false)) {
                s.twistedQuarterStagePart(q, quarter, c0, c1, angles.twisted(q));
            } else {
                s.quarterStagePart(q, quarter, c0, c1, angles.plain(q));
            }
        }
    }
}

constexpr int fusedChunkCount(int n) {
    return (stageSeedBlocks(n / 4) + kFusedChunkSeeds - 1) / kFusedChunkSeeds;
}

// The first stage (`first`, plain or conjugating) and the stages of the four quarters (P, T, P,
// P) of an array of n doubles, fused as above.
void firstTwoLevels(const Stages& st, StagePartFn first, int n, double* data,
                    const InversePrelude* prelude) {
    FirstStageSeeds top(first, st.angles().plain(n), n, data, {}, prelude);
    fusedChunks(&st, top, n, data, 0, fusedChunkCount(n));
    top.need(0, stageSeedBlocks(n));  // none is left over; this keeps the stage whole regardless
}

// On several threads the fused levels pay from the length at which the frontier has 16 blocks
// anyway: fewer passes, and no hand-over of data between the two levels. Two threads, avx512,
// medians of 3 (ms): 2^21 doubles 7.41 -> 7.06, 2^22 17.8 -> 16.3, 2^23 38.4 -> 36.7. Below, the
// four quarters as parts do better (2^16 to 2^20: 6 to 13% slower fused).
constexpr int kFusedInPartsFrom = 1 << 21;
constexpr int kFusedParts = 16;

// The same on the active pool: the chunks in kFusedParts contiguous groups, one part each, so that
// the thread that does a first-stage seed block also does the quarters' stages that read it, and
// the data does not change cores between the two levels. A seed block that the chunks of two
// groups read (there are two at each boundary between groups: the mirrors' ranges lie one point
// off the fronts') is done before the parts, with any that no chunk reads; every other one is read
// by the chunks of one group only, which does it as they need it. So none is done twice, none is
// read before it is done, and every element sees the operations of the one-thread pass.
//
// A prelude's units go the same way: those that the seed blocks of two groups read, or a seed
// block done before the parts, are made ready first; every other one by the part whose seed blocks
// read it, right before the first of them, so that the stage finds the prelude's output still in
// the caches of the core that wrote it. The first ones (about 90 units at every length, around the
// groups' boundaries) are made ready in parts too: on the calling thread alone they cost 3% at
// 2^21 doubles. Against the whole prelude first, BM_SquareSpectrum/after on two threads, avx512,
// 5 alternating rounds, medians (ms): 2^21 doubles 10.1 -> 10.1, 2^22 23.3 -> 22.8, 2^23 47.3 ->
// 44.0, 2^24 102 -> 97.
void firstTwoLevelsInParts(const Stages& st, StagePartFn first, int n, double* data,
                           const InversePrelude* prelude) {
    const StageAngle& angle = st.angles().plain(n);
    const int chunks = fusedChunkCount(n);
    const int parts = std::min(kFusedParts, chunks);
    const auto group = [chunks, parts](int i) { return chunks * i / parts; };
    SeedSet seen, shared;
    UnitSet claimed, early;  // units read by some group; by two groups or before the parts
    for (int i = 0; i < parts; ++i) {
        FirstStageSeeds reads(nullptr, angle, n, data);
        fusedChunks(nullptr, reads, n, data, group(i), group(i + 1));
        shared |= seen & reads.done();
        seen |= reads.done();
        if (prelude) {
            early |= claimed & reads.units();
            claimed |= reads.units();
        }
    }
    const int seeds = stageSeedBlocks(n);
    for (int b = 0; b < seeds; ++b) shared[b] = shared[b] || !seen[b];
    if (prelude) {
        FirstStageSeeds reads(nullptr, angle, n, data, ~shared);
        reads.need(0, seeds);
        early |= reads.units();
        const int units = seeds / 2;
        forEachPart(kFusedParts, [&](int i) {
            UnitSet pending = ~early;
            markRuns(pending, units * i / kFusedParts, units * (i + 1) / kFusedParts,
                     [prelude](int u, int v) { prelude->ready(prelude->context, u, v); });
        });
    }
    FirstStageSeeds before(first, angle, n, data, ~shared);
    before.need(0, seeds);
    forEachPart(parts, [&](int i) {
        FirstStageSeeds top(first, angle, n, data, shared, prelude, early);
        fusedChunks(&st, top, n, data, group(i), group(i + 1));
    });
}

// The whole array's quarters after firstTwoLevels: the blocks of each quarter (P gives P, T, P, P;
// T gives P, T, P, T), each from its own first stage down.
void quarterBlocks(const Stages& s, int n, double* data) {
    const int b = n / 16;
    for (int i = 0; i < 4; ++i) {
        double* quarter = data + i * (n / 4);
        for (int t = 0; t < 4; ++t) {
            recurseOn(s, b, quarter + t * b, quarterTwisted(t, quarterTwisted(i, false)));
        }
    }
}

template <bool Inverse>
void transformFused(const FftStages& s, int n, double* data,
                    const InversePrelude* prelude = nullptr) {
    const StageAngles angles(n);
    const Stages st(s, angles);
    firstTwoLevels(st, Inverse ? s.quarterStageConjPart : s.quarterStagePart, n, data, prelude);
    quarterBlocks(st, n, data);
    (Inverse ? s.bitReverseConj : s.bitReverse)(n, data);
}

// ---------------------------------------------------------------------------------------------
// The transform on several threads

// The tree of blocks is expanded breadth first from the whole array until it has this many blocks
// (or they reach the size that the recursion finishes directly); each is then one part, done by
// the serial recursion. A power of 4 that depends on n alone.
// Below 2^21 doubles: the 4 quarters of the top stage, each with everything below it, so that a
// thread keeps its quarter in its own caches from the quarter's stage down to the leaves. With 16
// blocks the second level's stages were split too and their data changed threads once more: on 2
// threads 16 blocks gave 1.24 at 2^19 doubles where 4 give 1.38, and 1.41 where 4 give 1.5 at 2^20
// (medians of quiet windows). From 2^21 up the data is far outside the caches anyway (both gave
// 1.8 to 1.9), and 16 blocks leave work for more threads.
constexpr int kMaxFrontierBlocks = 16;
constexpr int frontierBlocks(int n) {
    return n < (1 << 21) ? 4 : kMaxFrontierBlocks;
}

// Parts per level of first stages (all the level's blocks together) and of the permutation:
// enough that the parts a thread is left with at the end are small.
constexpr int kStageParts = 16;
constexpr int kPermutationParts = 32;

// The first stages of count blocks of n doubles, about kStageParts parts in all: each block's seed
// blocks cut into equal ranges. `plain` is the stage of the plain blocks.
void stagesInParts(const Stages& st, StagePartFn plain, int n, const Block* blocks, int count) {
    const FftStages& s = st.path();
    const int seedBlocks = stageSeedBlocks(n);
    const int per = std::clamp((kStageParts + count - 1) / count, 1, seedBlocks);
    forEachPart(count * per, [&](int i) {
        const Block& b = blocks[i / per];
        const int r = i % per;
        const StageAngle& angle = b.twisted ? st.angles().twisted(n) : st.angles().plain(n);
        (b.twisted ? s.twistedQuarterStagePart : plain)(n, b.at, seedBlocks * r / per,
                                                        seedBlocks * (r + 1) / per, angle);
    });
}

// The body of transformOn on the active pool; the top level needs n > 512 (quarters that recurse).
// With `fused` (n from kFusedTopMinLength) the first two levels are done as firstTwoLevelsInParts
// and the frontier is their 16 blocks.
static_assert(kFftParallelMinLength > 512);
// With a prelude (inverse only), the first stage follows it in parts unless the levels are fused.
template <bool Inverse>
void transformInParts(const FftStages& path, int n, double* data, bool fused,
                      const InversePrelude* prelude = nullptr) {
    const StageAngles angles(n);
    const Stages s(path, angles);
    const StagePartFn first = Inverse ? path.quarterStageConjPart : path.quarterStagePart;
    const int length = n;
    Block blocks[kMaxFrontierBlocks] = {{data, false}};
    int count = 1;
    if (fused) {
        firstTwoLevelsInParts(s, first, n, data, prelude);
        quartersOfBlocks(blocks, count, n);
        quartersOfBlocks(blocks, count, n);
    } else {
        const int frontier = frontierBlocks(n);
        if (Inverse && prelude) {
            conjStageAfterPrelude(s, n, data, *prelude, kStageParts, true);
        } else {
            stagesInParts(s, first, n, blocks, count);
        }
        for (;;) {
            quartersOfBlocks(blocks, count, n);
            if (count == frontier || n <= 512) break;
            stagesInParts(s, path.quarterStagePart, n, blocks, count);
        }
    }
    forEachPart(count, [&](int i) { recurseOn(s, n, blocks[i].at, blocks[i].twisted); });
    forEachPart(kPermutationParts, [&](int i) {
        (Inverse ? path.bitReverseConjPart : path.bitReversePart)(length, data, i,
                                                                  kPermutationParts);
    });
}

// ---------------------------------------------------------------------------------------------

// The forward transform, or with Inverse its conjugate conj(forward(conj x)): the conjugating
// first stage and the conjugating permutation turn the shared body into the inverse. For 16 and
// 32 doubles the forward kernel's result is read backwards instead: the inverse spectrum at k is
// the forward spectrum at (N - k) mod N.
//
// A prelude (inverse only) is run before the points it makes ready are read, in parts ahead of the
// first stage where that pays, else whole.
template <bool Inverse>
void transformOn(const FftStages& s, int n, double* data, const InversePrelude* prelude = nullptr) {
    if (n >= kFftParallelMinLength && activeThreads() > 1) {
        transformInParts<Inverse>(s, n, data, n >= kFusedInPartsFrom && n <= kFusedTopMaxLength,
                                  prelude);
        return;
    }
    if (n >= kFusedTopFrom && n <= kFusedTopMaxLength) {
        transformFused<Inverse>(s, n, data, prelude);
        return;
    }
    const bool preludeInParts = Inverse && prelude && n >= kPreludeInPartsFrom;
    if (!preludeInParts) readyAll(prelude, n);
    if (n > 32) {
        const StageAngles angles(n);
        const Stages st(s, angles);
        if (preludeInParts) {
            conjStageAfterPrelude(st, n, data, *prelude, fftPreludeUnits(n) / kPreludeUnitsPerPart,
                                  false);
        } else if (Inverse) {
            st.conj(n, data);
        } else {
            st.plain(n, data);
        }
        transformQuarters(st, n, data);
        (Inverse ? s.bitReverseConj : s.bitReverse)(n, data);
    } else if (n > 8) {
        if (n == 32) {
            kernelPlain16(data);
            (Inverse ? bitReverseNegate16 : bitReverse16)(data);
        } else {
            kernelPlain8(data);
            (Inverse ? bitReverseNegate8 : bitReverse8)(data);
        }
    } else if (n == 8) {
        (Inverse ? dft4Inverse : dft4Forward)(data);
    } else if (n == 4) {
        dft2(data);
    }
}

}  // namespace

void complexFft(int n, int sign, double* data) {
    complexFftOn(activeFftPath(), n, sign, data);
}

void complexFftOn(FftPath path, int n, int sign, double* data) {
    const FftStages& s = fftStages(path);
    if (sign >= 0) {
        transformOn<false>(s, n, data);
    } else {
        transformOn<true>(s, n, data);
    }
}

int fftPreludeUnits(int n) {
    return n >= 2048 ? n / 2048 : 1;
}

void fftInverseAfter(int n, double* data, const InversePrelude& prelude) {
    transformOn<true>(fftStages(activeFftPath()), n, data, &prelude);
}

void complexFftInverseAfterOn(FftPath path, int n, double* data, const InversePrelude& prelude) {
    transformOn<true>(fftStages(path), n, data, &prelude);
}

void complexFftFusedOn(FftPath path, int n, int sign, double* data, const InversePrelude* prelude) {
    OSKELON_ASSERT(n >= kFusedTopMinLength && n <= kFusedTopMaxLength);
    OSKELON_ASSERT(!prelude || sign < 0);
    const FftStages& s = fftStages(path);
    if (activeThreads() > 1) {
        (sign >= 0 ? transformInParts<false> : transformInParts<true>)(s, n, data, true, prelude);
    } else if (sign >= 0) {
        transformFused<false>(s, n, data);
    } else {
        transformFused<true>(s, n, data, prelude);
    }
}

void fftForward(int n, double* data) {
    transformOn<false>(fftStages(activeFftPath()), n, data);
}

void fftInverse(int n, double* data) {
    transformOn<true>(fftStages(activeFftPath()), n, data);
}

}  // namespace oskelon
