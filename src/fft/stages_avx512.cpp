// The avx512 path: the stage template and the fixed kernels of the leaves (leaves_simd.h) on
// 8-lane vectors, and the cache-blocked bit reversal.
// Compiled with this path's target flags (src/fft/CMakeLists.txt); called only when the CPU
// offers them (fft_path.cpp).
#include "fft/fft_path.h"
#include "fft/leaves_simd.h"
#include "fft/stage_simd.h"

namespace oskelon::detail {

const FftStages kAvx512Stages{simd::quarterStageW<8>,
                              simd::quarterStageConjW<8>,
                              simd::twistedStageW<8>,
                              bitReverseBlocked,
                              bitReverseConjBlocked,
                              leaves::leavesPlainW<leaves::V8>,
                              leaves::leavesTwistedW<leaves::V8>,
                              simd::quarterStagePartW<8>,
                              simd::quarterStageConjPartW<8>,
                              simd::twistedStagePartW<8>,
                              bitReverseBlockedPart,
                              bitReverseConjBlockedPart};

}  // namespace oskelon::detail
