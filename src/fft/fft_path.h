// Instruction-set paths of the transform, chosen once per process.
//
// Every path performs, for every element, the same IEEE double operations in the same order as
// the scalar reference (stage_kernels.cpp, bit_reverse.cpp): the vector paths only compute
// independent points side by side in the lanes of a vector and never contract a*b+c into a fused
// multiply-add. Whichever path runs, every transform, product and release gives the same bits.
//
//   scalar  the plain reference code, always available
//   sse2    the stage template on 2-lane vectors and the cache-blocked bit reversal; the baseline
//           of every x86-64 machine
//   avx2    the same template on 4 lanes (AVX2); the release truncates with roundsd
//   avx512  the same template on 8 lanes (AVX-512 F, CD, BW, DQ and VL: every AVX-512 CPU but
//           the Xeon Phi, which takes the avx2 path)
//
// The environment variable OSKELON_FFT_PATH=scalar|sse2|avx2|avx512 forces a path; a path the
// CPU does not offer falls back to the best one it does.
#pragma once

#include "fft/complex_fft.h"
#include "fft/stage_kernels.h"

namespace oskelon {

enum class FftPath { Scalar, Sse2, Avx2, Avx512 };

inline constexpr FftPath kAllFftPaths[] = {FftPath::Scalar, FftPath::Sse2, FftPath::Avx2,
                                           FftPath::Avx512};

const char* fftPathName(FftPath path);

// Whether this CPU (and OS) can run the path.
bool fftPathSupported(FftPath path);

// The best supported path.
FftPath bestFftPath();

// The path complexFft and the engine use: OSKELON_FFT_PATH if set and supported, else the best.
// Read once, on first use.
FftPath activeFftPath();

// The stages, leaves and permutations of one path. The recursion is shared.
struct FftStages {
    void (*quarterStage)(int n, double* block);
    void (*quarterStageConj)(int n, double* block);
    void (*twistedQuarterStage)(int n, double* block);
    void (*bitReverse)(int n, double* data);
    void (*bitReverseConj)(int n, double* data);
    // The four fixed kernels of a 64- or 128-double block after its stage (leavesPlain and
    // leavesTwisted of complex_fft.h in the scalar path).
    void (*leavesPlain)(int n, double* block);
    void (*leavesTwisted)(int n, double* block);
    // The same stages on seed blocks [first, end) with the stage's angle evaluated by the caller
    // (stageSeedBlocks and StageAngle in stage_kernels.h), and the same permutations in parts
    // (bitReversePart in complex_fft.h); each part computes its elements exactly as the whole
    // call does. The recursion does every stage through these, with each length's angle
    // evaluated once per transform.
    void (*quarterStagePart)(int n, double* block, int first, int end, const StageAngle& angle);
    void (*quarterStageConjPart)(int n, double* block, int first, int end, const StageAngle& angle);
    void (*twistedQuarterStagePart)(int n, double* block, int first, int end,
                                    const StageAngle& angle);
    void (*bitReversePart)(int n, double* data, int part, int parts);
    void (*bitReverseConjPart)(int n, double* data, int part, int parts);
    // The stages of the quarters of `count` blocks of 256 or 512 doubles after their own stages,
    // and the leaves below them (finishBlocks in block_finish.h).
    void (*finishBlocks)(int n, double* const* blocks, int count, unsigned twisted,
                         const StageAngle& plain, const StageAngle& twistedAngle);
    // The whole first stages of `count` blocks of n doubles (up to kMaxStageBlocks), plain or,
    // where bit i of `twisted` is set, twisted (stageBlocks in block_finish.h): each block's own
    // stage, bit for bit.
    void (*stageBlocks)(int n, double* const* blocks, int count, unsigned twisted,
                        const StageAngle& plain, const StageAngle& twistedAngle);
};

// The table of a path; for an unsupported path the table is still valid but must not be called.
const FftStages& fftStages(FftPath path);

// complexFft on a chosen path (for tests and benchmarks); the path must be supported.
void complexFftOn(FftPath path, int n, int sign, double* data);
void complexFftInverseAfterOn(FftPath path, int n, double* data, const InversePrelude& prelude);

// The first two levels of the recursion are done in one pass over the data from 2^23 doubles on
// one thread and from 2^21 on several, there in groups of chunks (complex_fft.cpp). complexFftOn
// with that pass at any n from kFusedTopMinLength to 2^26 (in groups when a pool is active), for
// tests: the same bits. An inverse (sign < 0) may take a prelude, as fftInverseAfter.
inline constexpr int kFusedTopMinLength = 1 << 14;
void complexFftFusedOn(FftPath path, int n, int sign, double* data,
                       const InversePrelude* prelude = nullptr);

// Cache-blocked bit reversal: the same permutation as bitReverse / bitReverseConj (every point
// moved to its bit-reversed index, conjugated in the second form), done tile by tile so that each
// cache line is read and written once per pass. Plain C++, valid for every n >= 4.
void bitReverseBlocked(int n, double* data);
void bitReverseConjBlocked(int n, double* data);
// Part `part` of `parts` of the same, as bitReversePart: tile pairs (or, below the smallest tiled
// length, the steps of bitReversePart) in contiguous ranges.
void bitReverseBlockedPart(int n, double* data, int part, int parts);
void bitReverseConjBlockedPart(int n, double* data, int part, int parts);

namespace detail {
extern const FftStages kSse2Stages;
extern const FftStages kAvx2Stages;
extern const FftStages kAvx512Stages;
}  // namespace detail

}  // namespace oskelon
