// Drivers and depth-first recursion of the complex transform.
//
// A block of M points is transformed by its first stage and then by block transforms of its four
// quarters: after the plain stage, P on quarters 0, 2, 3 and T on quarter 1; after the twisted
// stage, P on quarters 0 and 2 and T on quarters 1 and 3. The result is bit-reversed within the
// block. Blocks above 512 doubles recurse, blocks of 256 or 512 doubles are finished by
// straight-line calls, and blocks of 64 or 128 doubles end in the fixed 8- and 16-point kernels.
#include "fft/complex_fft.h"

#include "fft/stage_kernels.h"

namespace oskelon {
namespace {

// The quarters of the whole array after its first stage (n > 32), identical in both directions.
inline void transformQuarters(int n, double* data) {
    const int q = n >> 2;
    if (n > 512) {
        recursePlain(q, data);
        recurseTwisted(q, data + q);
        recursePlain(q, data + 2 * q);
        recursePlain(q, data + 3 * q);
    } else if (q > 32) {
        finishPlain(n, data);
    } else {
        leavesPlain(n, data);
    }
}

}  // namespace

void complexFft(int n, int sign, double* data) {
    if (sign >= 0) {
        fftForward(n, data);
    } else {
        fftInverse(n, data);
    }
}

void fftForward(int n, double* data) {
    if (n > 32) {
        quarterStage(n, data);
        transformQuarters(n, data);
        bitReverse(n, data);
    } else if (n > 8) {
        if (n == 32) {
            kernelPlain16(data);
            bitReverse16(data);
        } else {
            kernelPlain8(data);
            bitReverse8(data);
        }
    } else if (n == 8) {
        dft4Forward(data);
    } else if (n == 4) {
        dft2(data);
    }
}

// The conjugating first stage and the conjugating permutation turn the shared forward body into
// conj(forward(conj x)). For 16 and 32 doubles the forward kernel's result is read backwards
// instead: the inverse spectrum at k is the forward spectrum at (N - k) mod N.
void fftInverse(int n, double* data) {
    if (n > 32) {
        quarterStageConj(n, data);
        transformQuarters(n, data);
        bitReverseConj(n, data);
    } else if (n > 8) {
        if (n == 32) {
            kernelPlain16(data);
            bitReverseNegate16(data);
        } else {
            kernelPlain8(data);
            bitReverseNegate8(data);
        }
    } else if (n == 8) {
        dft4Inverse(data);
    } else if (n == 4) {
        dft2(data);
    }
}

// Each level applies its stage and transforms quarters 0..2 recursively; quarter 3 continues in
// the loop. Recursion depth is log4(n/512).
void recursePlain(int n, double* block) {
    quarterStage(n, block);
    while (n > 512) {
        const int q = n >> 2;
        recursePlain(q, block);
        recurseTwisted(q, block + q);
        recursePlain(q, block + 2 * q);
        block += 3 * q;
        n = q;
        quarterStage(n, block);
    }
    finishPlain(n, block);
}

void recurseTwisted(int n, double* block) {
    twistedQuarterStage(n, block);
    while (n > 512) {
        const int q = n >> 2;
        recursePlain(q, block);
        recurseTwisted(q, block + q);
        recursePlain(q, block + 2 * q);
        block += 3 * q;
        n = q;
        twistedQuarterStage(n, block);
    }
    finishTwisted(n, block);
}

void finishPlain(int n, double* block) {
    const int q = n >> 2;  // 64 or 128
    quarterStage(q, block);
    leavesPlain(q, block);
    twistedQuarterStage(q, block + q);
    leavesTwisted(q, block + q);
    quarterStage(q, block + 2 * q);
    leavesPlain(q, block + 2 * q);
    quarterStage(q, block + 3 * q);
    leavesPlain(q, block + 3 * q);
}

// Both plain quarters first, then both twisted ones.
void finishTwisted(int n, double* block) {
    const int q = n >> 2;
    quarterStage(q, block);
    leavesPlain(q, block);
    quarterStage(q, block + 2 * q);
    leavesPlain(q, block + 2 * q);
    twistedQuarterStage(q, block + q);
    leavesTwisted(q, block + q);
    twistedQuarterStage(q, block + 3 * q);
    leavesTwisted(q, block + 3 * q);
}

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

}  // namespace oskelon
