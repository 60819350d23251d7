// Path selection: cpuid once, then the environment override.
#include "fft/fft_path.h"

#include <cstdlib>
#include <cstring>

#include "fft/block_finish.h"
#include "fft/complex_fft.h"
#include "fft/stage_kernels.h"

namespace oskelon {
namespace {

const FftStages kScalarStages{
    quarterStage,
    quarterStageConj,
    twistedQuarterStage,
    bitReverse,
    bitReverseConj,
    leavesPlain,
    leavesTwisted,
    quarterStagePart,
    quarterStageConjPart,
    twistedQuarterStagePart,
    bitReversePart,
    bitReverseConjPart,
    finishBlocks<quarterStagePart, twistedQuarterStagePart, leavesPlain, leavesTwisted>,
    stageBlocks<quarterStagePart, twistedQuarterStagePart>};

FftPath choosePath() {
    FftPath path = bestFftPath();
    if (const char* env = std::getenv("OSKELON_FFT_PATH")) {
        for (FftPath p : kAllFftPaths) {
            if (std::strcmp(env, fftPathName(p)) == 0 && fftPathSupported(p)) path = p;
        }
    }
    return path;
}

}  // namespace

const char* fftPathName(FftPath path) {
    switch (path) {
        case FftPath::Scalar:
            return "scalar";
        case FftPath::Sse2:
            return "sse2";
        case FftPath::Avx2:
            return "avx2";
        case FftPath::Avx512:
            return "avx512";
    }
    return "scalar";
}

bool fftPathSupported(FftPath path) {
    __builtin_cpu_init();
    switch (path) {
        case FftPath::Scalar:
        case FftPath::Sse2:
            return true;
        case FftPath::Avx2:
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("sse4.1");
        case FftPath::Avx512:
            // The features stages_avx512.cpp is compiled for (src/fft/CMakeLists.txt).
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
                   __builtin_cpu_supports("avx512cd") && __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
    }
    return false;
}

FftPath bestFftPath() {
    if (fftPathSupported(FftPath::Avx512)) return FftPath::Avx512;
    if (fftPathSupported(FftPath::Avx2)) return FftPath::Avx2;
    return FftPath::Sse2;
}

FftPath activeFftPath() {
    static const FftPath path = choosePath();
    return path;
}

const FftStages& fftStages(FftPath path) {
    switch (path) {
        case FftPath::Scalar:
            return kScalarStages;
        case FftPath::Sse2:
            return detail::kSse2Stages;
        case FftPath::Avx2:
            return detail::kAvx2Stages;
        case FftPath::Avx512:
            return detail::kAvx512Stages;
    }
    return kScalarStages;
}

}  // namespace oskelon
