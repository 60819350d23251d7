// The end of the recursion (block_finish.h) on 4 and 8 lanes: all the quarters' stages of one kind
// share their factors. A stage of 64 or 128 doubles spends about as long forming its factors as on
// its butterflies, so the plain quarters of all the blocks form them once and the twisted ones
// once, each quarter then doing its own butterflies with them. The leaves' kernels of all the
// blocks follow, grouped by kind (kernelsByKind in leaves_simd.h), so that nearly every vector
// holds kernels of one kind and does only their butterflies. Up to four blocks of 512 doubles are
// 16 KiB, which stay in the first-level cache from stage to leaves.
//
// The grouped kernels, against each leaves block's own (whose vectors mix plain and twisted
// kernels), BM_Transform alternating, medians of 9 (us): avx512 2^10 points 2.08 -> 2.03, 2^11
// 4.87 -> 4.69, 2^12 10.09 -> 9.76, 2^13 23.5 -> 23.3; avx2 2^11 5.63 -> 5.44, 2^13 27.7 -> 27.3.
//
// Included by the translation units of the 4- and 8-lane paths after stage_simd.h and
// leaves_simd.h; internal linkage, like them.
#pragma once

#include "fft/block_finish.h"
#include "fft/contract.h"
#include "fft/leaves_simd.h"
#include "fft/stage_simd.h"

namespace oskelon::finish {
namespace {

template <int W, int M>
inline void quarterStages(double* const* blocks, int count, unsigned twisted,
                          const StageAngle& plainAngle, const StageAngle& twistedAngle) {
    constexpr int q = 8 * M;  // doubles per quarter of a block
    double* plains[3 * kMaxFinishBlocks];
    double* twisteds[2 * kMaxFinishBlocks];
    int np = 0, nt = 0;
    for (int i = 0; i < count; ++i) {
        for (int t = 0; t < 4; ++t) {
            if (quarterTwisted(t, twisted >> i & 1u)) {
                twisteds[nt++] = blocks[i] + t * q;
            } else {
                plains[np++] = blocks[i] + t * q;
            }
        }
    }
    simd::plainStageSmall<W, M, false>(plains, np, simd::StepAngle(plainAngle));
    simd::twistedStageSmall<W, M>(twisteds, nt, simd::StepAngle(twistedAngle));
}

template <int W>
void finishBlocksW(int n, double* const* blocks, int count, unsigned twisted,
                   const StageAngle& plainAngle, const StageAngle& twistedAngle) {
    OSKELON_ASSERT(count >= 1 && count <= kMaxFinishBlocks);
    using V = typename simd::Pack<W>::V;
    const int q = n >> 2;
    if (q == 128) {
        quarterStages<W, 16>(blocks, count, twisted, plainAngle, twistedAngle);
    } else {
        quarterStages<W, 8>(blocks, count, twisted, plainAngle, twistedAngle);
    }
    // The kernels of every quarter (a leaves block: P, T, P, P or P, T, P, T), by kind.
    const int size = q / 8;  // points per kernel
    double* plains[4 * 4 * kMaxFinishBlocks];
    double* twisteds[4 * 4 * kMaxFinishBlocks];
    int np = 0, nt = 0;
    for (int i = 0; i < count; ++i) {
        for (int t = 0; t < 4; ++t) {
            double* const quarter = blocks[i] + t * q;
            const bool twistedQuarter = quarterTwisted(t, twisted >> i & 1u);
            for (int k = 0; k < 4; ++k) {
                double* const kernel = quarter + k * 2 * size;
                if (quarterTwisted(k, twistedQuarter)) {
                    twisteds[nt++] = kernel;
                } else {
                    plains[np++] = kernel;
                }
            }
        }
    }
    if (size == 16) {
        leaves::kernelsByKind<V, 16>(plains, np, twisteds, nt);
    } else {
        leaves::kernelsByKind<V, 8>(plains, np, twisteds, nt);
    }
}

// The first stages of blocks (stageBlocks in block_finish.h). The stages of 256 to 2048 doubles run
// in windows (plainStageWindows in stage_simd.h), each run of factors formed once for all the plain
// blocks and once for all the twisted ones; a kind with one block only where windows pay for one
// block (up to 1024 doubles on 8 lanes, 256 on 4). The four quarters of a block of 1024 to 8192
// doubles take their stages so (quartersOf in complex_fft.cpp). BM_Transform, alternating, medians
// of 9 (us), for the quarters of 256 to 1024 doubles: avx512 2^10 points 1.90 -> 1.82, 2^11 4.16
// -> 3.80, 2^12 9.44 -> 8.84, 2^13 20.2 -> 19.2, 2^14 43.4 -> 41.6, 2^15 93.6 -> 86.0; avx2 2^10
// 2.57 -> 2.47, 2^11 5.25 -> 4.92, 2^12 12.3 -> 11.9, 2^13 26.0 -> 24.6, 2^15 118 -> 114.
template <int W>
void stageBlocksW(int n, double* const* blocks, int count, unsigned twisted,
                  const StageAngle& plainAngle, const StageAngle& twistedAngle) {
    static_assert(W == 4 || W == 8);
    OSKELON_ASSERT(count >= 1 && count <= kMaxStageBlocks);
    if (n < 256 || n > 2048) {
        stageBlocks<simd::quarterStagePartW<W>, simd::twistedStagePartW<W>>(
            n, blocks, count, twisted, plainAngle, twistedAngle);
        return;
    }
    double* plains[kMaxStageBlocks];
    double* twisteds[kMaxStageBlocks];
    int np = 0, nt = 0;
    for (int i = 0; i < count; ++i) {
        if (twisted >> i & 1u) {
            twisteds[nt++] = blocks[i];
        } else {
            plains[np++] = blocks[i];
        }
    }
    // One block alone goes through windows only where they pay for one block.
    const int alone = W == 8 ? 1024 : 256;
    const int seeds = stageSeedBlocks(n);
    if (np > 1 || (np == 1 && n <= alone)) {
        simd::plainStageWindows<W, false>(n, plains, np, simd::StepAngle(plainAngle));
    } else if (np == 1) {
        simd::quarterStagePartW<W>(n, plains[0], 0, seeds, plainAngle);
    }
    if (nt > 1 || (nt == 1 && n <= alone)) {
        simd::twistedStageWindows<W>(n, twisteds, nt, simd::StepAngle(twistedAngle));
    } else if (nt == 1) {
        simd::twistedStagePartW<W>(n, twisteds[0], 0, seeds, twistedAngle);
    }
}

}  // namespace
}  // namespace oskelon::finish
