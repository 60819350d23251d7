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

}  // namespace
}  // namespace oskelon::finish
