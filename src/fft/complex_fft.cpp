// Drivers and depth-first recursion of the complex transform.
//
// A block of M points is transformed by its first stage and then by block transforms of its four
// quarters: after the plain stage, P on quarters 0, 2, 3 and T on quarter 1; after the twisted
// stage, P on quarters 0 and 2 and T on quarters 1 and 3. The result is bit-reversed within the
// block. Blocks above 512 doubles recurse, blocks of 256 or 512 doubles are finished by
// straight-line calls, and blocks of 64 or 128 doubles end in the fixed 8- and 16-point kernels.
//
// On several threads (an active pool, n >= kFftParallelMinLength) the same blocks get the same
// calls, in another order: the first stages of the top levels split by seed blocks, then the
// blocks below them as independent parts, then the permutation in parts. Every element still
// sees exactly the operations of the one-thread run, so the bits do not depend on the threads.
#include "fft/complex_fft.h"

#include <algorithm>

#include "fft/fft_path.h"
#include "fft/stage_kernels.h"
#include "parallel/work_pool.h"

namespace oskelon {
namespace {

// The recursion over one path's stages and leaves.
void finishPlainOn(const FftStages& s, int n, double* block) {
    const int q = n >> 2;  // 64 or 128
    s.quarterStage(q, block);
    s.leavesPlain(q, block);
    s.twistedQuarterStage(q, block + q);
    s.leavesTwisted(q, block + q);
    s.quarterStage(q, block + 2 * q);
    s.leavesPlain(q, block + 2 * q);
    s.quarterStage(q, block + 3 * q);
    s.leavesPlain(q, block + 3 * q);
}

// Both plain quarters first, then both twisted ones.
void finishTwistedOn(const FftStages& s, int n, double* block) {
    const int q = n >> 2;
    s.quarterStage(q, block);
    s.leavesPlain(q, block);
    s.quarterStage(q, block + 2 * q);
    s.leavesPlain(q, block + 2 * q);
    s.twistedQuarterStage(q, block + q);
    s.leavesTwisted(q, block + q);
    s.twistedQuarterStage(q, block + 3 * q);
    s.leavesTwisted(q, block + 3 * q);
}

void recurseTwistedOn(const FftStages& s, int n, double* block);

// Each level applies its stage and transforms quarters 0..2 recursively; quarter 3 continues in
// the loop. Recursion depth is log4(n/512).
void recursePlainOn(const FftStages& s, int n, double* block) {
    s.quarterStage(n, block);
    while (n > 512) {
        const int q = n >> 2;
        recursePlainOn(s, q, block);
        recurseTwistedOn(s, q, block + q);
        recursePlainOn(s, q, block + 2 * q);
        block += 3 * q;
        n = q;
        s.quarterStage(n, block);
    }
    finishPlainOn(s, n, block);
}

void recurseTwistedOn(const FftStages& s, int n, double* block) {
    s.twistedQuarterStage(n, block);
    while (n > 512) {
        const int q = n >> 2;
        recursePlainOn(s, q, block);
        recurseTwistedOn(s, q, block + q);
        recursePlainOn(s, q, block + 2 * q);
        block += 3 * q;
        n = q;
        s.twistedQuarterStage(n, block);
    }
    finishTwistedOn(s, n, block);
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
inline void transformQuarters(const FftStages& s, int n, double* data) {
    const int q = n >> 2;
    if (n > 512) {
        recursePlainOn(s, q, data);
        recurseTwistedOn(s, q, data + q);
        recursePlainOn(s, q, data + 2 * q);
        recursePlainOn(s, q, data + 3 * q);
    } else if (q > 32) {
        finishPlainOn(s, n, data);
    } else {
        s.leavesPlain(n, data);
    }
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

// A block of the frontier, before its first stage.
struct Block {
    double* at;
    bool twisted;
};

using StagePart = void (*)(int n, double* block, int first, int end);

// The first stages of count blocks of n doubles, about kStageParts parts in all: each block's seed
// blocks cut into equal ranges. `plain` is the stage of the plain blocks.
void stagesInParts(const FftStages& s, StagePart plain, int n, const Block* blocks, int count) {
    const int seedBlocks = stageSeedBlocks(n);
    const int per = std::clamp((kStageParts + count - 1) / count, 1, seedBlocks);
    forEachPart(count * per, [&](int i) {
        const Block& b = blocks[i / per];
        const int r = i % per;
        (b.twisted ? s.twistedQuarterStagePart : plain)(n, b.at, seedBlocks * r / per,
                                                        seedBlocks * (r + 1) / per);
    });
}

// The body of transformOn on the active pool; the top level needs n > 512 (quarters that recurse).
static_assert(kFftParallelMinLength > 512);
template <bool Inverse>
void transformInParts(const FftStages& s, int n, double* data) {
    const int length = n;
    const int frontier = frontierBlocks(n);
    Block blocks[kMaxFrontierBlocks] = {{data, false}};
    int count = 1;
    stagesInParts(s, Inverse ? s.quarterStageConjPart : s.quarterStagePart, n, blocks, count);
    for (;;) {
        // Each staged block into its quarters: P gives P, T, P, P and T gives P, T, P, T. In place
        // from the back: block i goes to 4i .. 4i+3, above every block not yet read.
        const int q = n >> 2;
        for (int i = count - 1; i >= 0; --i) {
            const Block b = blocks[i];
            blocks[4 * i] = {b.at, false};
            blocks[4 * i + 1] = {b.at + q, true};
            blocks[4 * i + 2] = {b.at + 2 * q, false};
            blocks[4 * i + 3] = {b.at + 3 * q, b.twisted};
        }
        count *= 4;
        n = q;
        if (count == frontier || n <= 512) break;
        stagesInParts(s, s.quarterStagePart, n, blocks, count);
    }
    forEachPart(count, [&](int i) {
        if (blocks[i].twisted) {
            recurseTwistedOn(s, n, blocks[i].at);
        } else {
            recursePlainOn(s, n, blocks[i].at);
        }
    });
    forEachPart(kPermutationParts, [&](int i) {
        (Inverse ? s.bitReverseConjPart : s.bitReversePart)(length, data, i, kPermutationParts);
    });
}

// ---------------------------------------------------------------------------------------------

// The forward transform, or with Inverse its conjugate conj(forward(conj x)): the conjugating
// first stage and the conjugating permutation turn the shared body into the inverse. For 16 and
// 32 doubles the forward kernel's result is read backwards instead: the inverse spectrum at k is
// the forward spectrum at (N - k) mod N.
template <bool Inverse>
void transformOn(const FftStages& s, int n, double* data) {
    if (n >= kFftParallelMinLength && activeThreads() > 1) {
        transformInParts<Inverse>(s, n, data);
    } else if (n > 32) {
        (Inverse ? s.quarterStageConj : s.quarterStage)(n, data);
        transformQuarters(s, n, data);
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

void fftForward(int n, double* data) {
    transformOn<false>(fftStages(activeFftPath()), n, data);
}

void fftInverse(int n, double* data) {
    transformOn<true>(fftStages(activeFftPath()), n, data);
}

}  // namespace oskelon
