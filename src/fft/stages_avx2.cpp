// The avx2 path: the stage template on 4-lane vectors and the cache-blocked bit reversal.
// Compiled with this path's target flags (src/fft/CMakeLists.txt); called only when the CPU
// offers them (fft_path.cpp).
#include "fft/fft_path.h"
#include "fft/stage_simd.h"

namespace oskelon::detail {

const FftStages kAvx2Stages{simd::quarterStageW<4>, simd::quarterStageConjW<4>,
                               simd::twistedStage<4>, bitReverseBlocked, bitReverseConjBlocked};

}  // namespace oskelon::detail
