// The sse2 path: the stage template on 2-lane vectors and the cache-blocked bit reversal.
// Compiled with this path's target flags (src/fft/CMakeLists.txt); called only when the CPU
// offers them (fft_path.cpp).
#include "fft/block_finish.h"
#include "fft/complex_fft.h"
#include "fft/fft_path.h"
#include "fft/stage_simd.h"

namespace oskelon::detail {

// The fixed kernels stay the scalar ones: their vector form is written for 256-bit halves.
const FftStages kSse2Stages{simd::quarterStageW<2>,
                            simd::quarterStageConjW<2>,
                            simd::twistedStageW<2>,
                            bitReverseBlocked,
                            bitReverseConjBlocked,
                            leavesPlain,
                            leavesTwisted,
                            simd::quarterStagePartW<2>,
                            simd::quarterStageConjPartW<2>,
                            simd::twistedStagePartW<2>,
                            bitReverseBlockedPart,
                            bitReverseConjBlockedPart,
                            finishBlocks<simd::quarterStagePartW<2>, simd::twistedStagePartW<2>,
                                         leavesPlain, leavesTwisted>,
                            stageBlocks<simd::quarterStagePartW<2>, simd::twistedStagePartW<2>>};

}  // namespace oskelon::detail
