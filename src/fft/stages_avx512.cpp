// The avx512 path: the stage template on 8-lane vectors and the cache-blocked bit reversal.
// Compiled with this path's target flags (src/fft/CMakeLists.txt); called only when the CPU
// offers them (fft_path.cpp).
#include "fft/fft_path.h"
#include "fft/stage_simd.h"

namespace oskelon::detail {

const FftStages kAvx512Stages{simd::quarterStageW<8>, simd::quarterStageConjW<8>,
                               simd::twistedStage<8>, bitReverseBlocked, bitReverseConjBlocked};

}  // namespace oskelon::detail
