// The end of the recursion: a block of 256 or 512 doubles after its own stage, that is the stages
// of its four quarters (64 or 128 doubles each) and the fixed kernels below them. A plain block's
// quarters are P, T, P, P; a twisted block's P, T, P, T. `plain` and `twisted` are the angles of
// the quarters' stages (plainStageAngle and twistedStageAngle of n/4).
//
// finishBlock does it quarter by quarter through a path's single-block entries; the vector paths
// of 4 and 8 lanes have their own (finish_simd.h), which form the factors of the quarters' stages
// once for all the quarters of a kind. Every element sees the same operations either way.
#pragma once

#include "fft/stage_kernels.h"

namespace oskelon {

using StagePartFn = void (*)(int n, double* block, int first, int end, const StageAngle& angle);
using LeavesFn = void (*)(int n, double* block);

template <StagePartFn Plain, StagePartFn Twisted, LeavesFn LeavesPlain, LeavesFn LeavesTwisted,
          bool TwistedBlock>
void finishBlock(int n, double* block, const StageAngle& plain, const StageAngle& twisted) {
    const int q = n >> 2;
    const int seeds = stageSeedBlocks(q);
    Plain(q, block, 0, seeds, plain);
    LeavesPlain(q, block);
    Twisted(q, block + q, 0, seeds, twisted);
    LeavesTwisted(q, block + q);
    Plain(q, block + 2 * q, 0, seeds, plain);
    LeavesPlain(q, block + 2 * q);
    if constexpr (TwistedBlock) {
        Twisted(q, block + 3 * q, 0, seeds, twisted);
        LeavesTwisted(q, block + 3 * q);
    } else {
        Plain(q, block + 3 * q, 0, seeds, plain);
        LeavesPlain(q, block + 3 * q);
    }
}

}  // namespace oskelon
