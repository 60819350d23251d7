// Drivers and depth-first recursion of the complex transform.
//
// A block of M points is transformed by its first stage and then by block transforms of its four
// quarters: after the plain stage, P on quarters 0, 2, 3 and T on quarter 1; after the twisted
// stage, P on quarters 0 and 2 and T on quarters 1 and 3. The result is bit-reversed within the
// block. Blocks above 512 doubles recurse, blocks of 256 or 512 doubles are finished by
// straight-line calls, and blocks of 64 or 128 doubles end in the fixed 8- and 16-point kernels.
#include "fft/complex_fft.h"

#include "fft/fft_path.h"
#include "fft/stage_kernels.h"

namespace oskelon {
namespace {

// The recursion over one path's stages and leaves.
void finishPlainOn(const FftStages& s, int n, double* block) {
    const int q = n >> 2;  // 64 or 128
    s.quarterStage(q, block);
    s.leavesPlain(q, block);
    s.twistedQuarterStage(q, block + q);
    s.leavesTwisted(q, block + q);
    s.quarterStage(q, block + 2 * q);
    s.leavesPlain(q, block + 2 * q);
    s.quarterStage(q, block + 3 * q);
    s.leavesPlain(q, block + 3 * q);
}

// Both plain quarters first, then both twisted ones.
void finishTwistedOn(const FftStages& s, int n, double* block) {
    const int q = n >> 2;
    s.quarterStage(q, block);
    s.leavesPlain(q, block);
    s.quarterStage(q, block + 2 * q);
    s.leavesPlain(q, block + 2 * q);
    s.twistedQuarterStage(q, block + q);
    s.leavesTwisted(q, block + q);
    s.twistedQuarterStage(q, block + 3 * q);
    s.leavesTwisted(q, block + 3 * q);
}

void recurseTwistedOn(const FftStages& s, int n, double* block);

// Each level applies its stage and transforms quarters 0..2 recursively; quarter 3 continues in
// the loop. Recursion depth is log4(n/512).
void recursePlainOn(const FftStages& s, int n, double* block) {
    s.quarterStage(n, block);
    while (n > 512) {
        const int q = n >> 2;
        recursePlainOn(s, q, block);
        recurseTwistedOn(s, q, block + q);
        recursePlainOn(s, q, block + 2 * q);
        block += 3 * q;
        n = q;
        s.quarterStage(n, block);
    }
    finishPlainOn(s, n, block);
}

void recurseTwistedOn(const FftStages& s, int n, double* block) {
    s.twistedQuarterStage(n, block);
    while (n > 512) {
        const int q = n >> 2;
        recursePlainOn(s, q, block);
        recurseTwistedOn(s, q, block + q);
        recursePlainOn(s, q, block + 2 * q);
        block += 3 * q;
        n = q;
        s.twistedQuarterStage(n, block);
    }
    finishTwistedOn(s, n, block);
}

}  // namespace

// The scalar leaves: the reference for the vector paths and the scalar path's table entries.
void leavesPlain(int n, double* block) {
    if (n == 128) {
        kernelPlain16(block);
        kernelTwisted16(block + 32);
        kernelPlain16(block + 64);
        kernelPlain16(block + 96);
    } else {
        kernelPlain8(block);
        kernelTwisted8(block + 16);
        kernelPlain8(block + 32);
        kernelPlain8(block + 48);
    }
}

void leavesTwisted(int n, double* block) {
    if (n == 128) {
        kernelPlain16(block);
        kernelTwisted16(block + 32);
        kernelPlain16(block + 64);
        kernelTwisted16(block + 96);
    } else {
        kernelPlain8(block);
        kernelTwisted8(block + 16);
        kernelPlain8(block + 32);
        kernelTwisted8(block + 48);
    }
}

namespace {

// The quarters of the whole array after its first stage (n > 32), identical in both directions.
inline void transformQuarters(const FftStages& s, int n, double* data) {
    const int q = n >> 2;
    if (n > 512) {
        recursePlainOn(s, q, data);
        recurseTwistedOn(s, q, data + q);
        recursePlainOn(s, q, data + 2 * q);
        recursePlainOn(s, q, data + 3 * q);
    } else if (q > 32) {
        finishPlainOn(s, n, data);
    } else {
        s.leavesPlain(n, data);
    }
}

// The forward transform, or with Inverse its conjugate conj(forward(conj x)): the conjugating
// first stage and the conjugating permutation turn the shared body into the inverse. For 16 and
// 32 doubles the forward kernel's result is read backwards instead: the inverse spectrum at k is
// the forward spectrum at (N - k) mod N.
template <bool Inverse>
void transformOn(const FftStages& s, int n, double* data) {
    if (n > 32) {
        (Inverse ? s.quarterStageConj : s.quarterStage)(n, data);
        transformQuarters(s, n, data);
        (Inverse ? s.bitReverseConj : s.bitReverse)(n, data);
    } else if (n > 8) {
        if (n == 32) {
            kernelPlain16(data);
            (Inverse ? bitReverseNegate16 : bitReverse16)(data);
        } else {
            kernelPlain8(data);
            (Inverse ? bitReverseNegate8 : bitReverse8)(data);
        }
    } else if (n == 8) {
        (Inverse ? dft4Inverse : dft4Forward)(data);
    } else if (n == 4) {
        dft2(data);
    }
}

}  // namespace

void complexFft(int n, int sign, double* data) {
    complexFftOn(activeFftPath(), n, sign, data);
}

void complexFftOn(FftPath path, int n, int sign, double* data) {
    const FftStages& s = fftStages(path);
    if (sign >= 0) {
        transformOn<false>(s, n, data);
    } else {
        transformOn<true>(s, n, data);
    }
}

void fftForward(int n, double* data) {
    transformOn<false>(fftStages(activeFftPath()), n, data);
}

void fftInverse(int n, double* data) {
    transformOn<true>(fftStages(activeFftPath()), n, data);
}

}  // namespace oskelon
