// The avx2 path: the stage template and the fixed kernels of the leaves (leaves_simd.h) on
// 4-lane vectors, and the bit reversal in vectors (bit_reverse_tiles.h).
// Compiled with this path's target flags (src/fft/CMakeLists.txt); called only when the CPU
// offers them (fft_path.cpp).
#include "fft/bit_reverse_tiles.h"
#include "fft/fft_path.h"
#include "fft/finish_simd.h"

namespace oskelon::detail {

const FftStages kAvx2Stages{simd::quarterStageW<4>,
                            simd::quarterStageConjW<4>,
                            simd::twistedStageW<4>,
                            tiles::bitReverseW<tiles::V4>,
                            tiles::bitReverseConjW<tiles::V4>,
                            leaves::leavesPlainW<leaves::V4>,
                            leaves::leavesTwistedW<leaves::V4>,
                            simd::quarterStagePartW<4>,
                            simd::quarterStageConjPartW<4>,
                            simd::twistedStagePartW<4>,
                            tiles::bitReversePartW<tiles::V4>,
                            tiles::bitReverseConjPartW<tiles::V4>,
                            finish::finishBlocksW<4>,
                            finish::stageBlocksW<4>};

}  // namespace oskelon::detail
