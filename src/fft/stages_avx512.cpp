// The avx512 path: the stage template and the fixed kernels of the leaves (leaves_simd.h) on
// 8-lane vectors, and the bit reversal in vectors (bit_reverse_tiles.h).
// Compiled with this path's target flags (src/fft/CMakeLists.txt); called only when the CPU
// offers them (fft_path.cpp).
#include "fft/bit_reverse_tiles.h"
#include "fft/fft_path.h"
#include "fft/finish_simd.h"

namespace oskelon::detail {

const FftStages kAvx512Stages{simd::quarterStageW<8>,
                              simd::quarterStageConjW<8>,
                              simd::twistedStageW<8>,
                              tiles::bitReverseW<tiles::V8>,
                              tiles::bitReverseConjW<tiles::V8>,
                              leaves::leavesPlainW<leaves::V8>,
                              leaves::leavesTwistedW<leaves::V8>,
                              simd::quarterStagePartW<8>,
                              simd::quarterStageConjPartW<8>,
                              simd::twistedStagePartW<8>,
                              tiles::bitReversePartW<tiles::V8>,
                              tiles::bitReverseConjPartW<tiles::V8>,
                              finish::finishBlocksW<8>,
                              finish::stageBlocksW<8>};

}  // namespace oskelon::detail
