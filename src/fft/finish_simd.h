// The end of the recursion (block_finish.h) on 4 and 8 lanes: all the quarters' stages of one kind
// share their factors. A stage of 64 or 128 doubles spends about as long forming its factors as on
// its butterflies, so the plain quarters of all the blocks form them once and the twisted ones
// once, each quarter then doing its own butterflies with them; the leaves follow. Up to four
// blocks of 512 doubles are 16 KiB, which stay in the first-level cache from stage to leaves.
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
    for (int i = 0; i < count; ++i) {
        for (int t = 0; t < 4; ++t) {
            double* const quarter = blocks[i] + t * q;
            if (quarterTwisted(t, twisted >> i & 1u)) {
                leaves::leavesW<V, true>(q, quarter);
            } else {
                leaves::leavesW<V, false>(q, quarter);
            }
        }
    }
}

}  // namespace
}  // namespace oskelon::finish
