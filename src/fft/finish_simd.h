// The end of the recursion (block_finish.h) on 4 and 8 lanes: the quarters' stages of one kind
// share their factors. A stage of 64 or 128 doubles spends about as long forming its factors as on
// its butterflies, so the plain quarters (three of a plain block, two of a twisted one) form them
// once and the twisted ones once, each quarter then doing its own butterflies with them.
//
// Included by the translation units of the 4- and 8-lane paths after stage_simd.h and
// leaves_simd.h; internal linkage, like them.
#pragma once

#include "fft/leaves_simd.h"
#include "fft/stage_simd.h"

namespace oskelon::finish {
namespace {

template <int W, int M, bool TwistedBlock>
inline void quarterStages(double* block, const StageAngle& plain, const StageAngle& twisted) {
    constexpr int q = 8 * M;  // doubles per quarter of the block
    const simd::StepAngle p(plain), t(twisted);
    if constexpr (TwistedBlock) {
        double* const plains[2] = {block, block + 2 * q};
        double* const twisteds[2] = {block + q, block + 3 * q};
        simd::plainStageSmall<W, M, false, 2>(plains, p);
        simd::twistedStageSmall<W, M, 2>(twisteds, t);
    } else {
        double* const plains[3] = {block, block + 2 * q, block + 3 * q};
        double* const twisteds[1] = {block + q};
        simd::plainStageSmall<W, M, false, 3>(plains, p);
        simd::twistedStageSmall<W, M, 1>(twisteds, t);
    }
}

template <int W, bool TwistedBlock>
void finishW(int n, double* block, const StageAngle& plain, const StageAngle& twisted) {
    using V = typename simd::Pack<W>::V;
    const int q = n >> 2;
    if (q == 128) {
        quarterStages<W, 16, TwistedBlock>(block, plain, twisted);
    } else {
        quarterStages<W, 8, TwistedBlock>(block, plain, twisted);
    }
    leaves::leavesW<V, false>(q, block);
    leaves::leavesW<V, true>(q, block + q);
    leaves::leavesW<V, false>(q, block + 2 * q);
    leaves::leavesW<V, TwistedBlock>(q, block + 3 * q);
}

template <int W>
void finishPlainW(int n, double* block, const StageAngle& plain, const StageAngle& twisted) {
    finishW<W, false>(n, block, plain, twisted);
}
template <int W>
void finishTwistedW(int n, double* block, const StageAngle& plain, const StageAngle& twisted) {
    finishW<W, true>(n, block, plain, twisted);
}

}  // namespace
}  // namespace oskelon::finish
