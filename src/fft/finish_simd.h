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
    ByKind<4 * kMaxFinishBlocks> quarters;
    for (int i = 0; i < count; ++i) {
        for (int t = 0; t < 4; ++t) {
            quarters.add(blocks[i] + t * q, quarterTwisted(t, twisted >> i & 1u));
        }
    }
    simd::plainStageSmall<W, M, false>(quarters.plain, quarters.plains,
                                       simd::StepAngle(plainAngle));
    simd::twistedStageSmall<W, M>(quarters.twisted, quarters.twisteds,
                                  simd::StepAngle(twistedAngle));
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
    ByKind<4 * 4 * kMaxFinishBlocks> kernels;
    for (int i = 0; i < count; ++i) {
        for (int t = 0; t < 4; ++t) {
            const bool twistedQuarter = quarterTwisted(t, twisted >> i & 1u);
            for (int k = 0; k < 4; ++k) {
                kernels.add(blocks[i] + t * q + k * 2 * size, quarterTwisted(k, twistedQuarter));
            }
        }
    }
    if (size == 16) {
        leaves::kernelsByKind<V, 16>(kernels.plain, kernels.plains, kernels.twisted,
                                     kernels.twisteds);
    } else {
        leaves::kernelsByKind<V, 8>(kernels.plain, kernels.plains, kernels.twisted,
                                    kernels.twisteds);
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
    ByKind<kMaxStageBlocks> b;
    for (int i = 0; i < count; ++i) b.add(blocks[i], (twisted >> i & 1u) != 0);
    // One block alone goes through windows only where they pay for one block.
    const int alone = W == 8 ? 1024 : 256;
    const int seeds = stageSeedBlocks(n);
    if (b.plains > 1 || (b.plains == 1 && n <= alone)) {
        simd::plainStageWindows<W, false>(n, b.plain, b.plains, simd::StepAngle(plainAngle));
    } else if (b.plains == 1) {
        simd::quarterStagePartW<W>(n, b.plain[0], 0, seeds, plainAngle);
    }
    if (b.twisteds > 1 || (b.twisteds == 1 && n <= alone)) {
        simd::twistedStageWindows<W>(n, b.twisted, b.twisteds, simd::StepAngle(twistedAngle));
    } else if (b.twisteds == 1) {
        simd::twistedStagePartW<W>(n, b.twisted[0], 0, seeds, twistedAngle);
    }
}

}  // namespace
}  // namespace oskelon::finish
