// First stages and fixed kernels of the complex transform.
//
// A block is n consecutive doubles: n/2 complex points, real part first. A stage splits it into
// four quarters of m = n/8 points each and applies the radix-4 decimation-in-frequency step with
// its twiddle factors; the fixed kernels transform 16, 8, 4 or 2 points completely.
//
// No table of factors exists: a stage starts from cos/sin of its step angle, advances the factors
// with a two-step recurrence, re-seeds them from a fresh cos/sin every 64 points and takes the
// upper half of each quarter by symmetry. Every factor stays within about 1e-15 of its exact
// value.
#pragma once

namespace oskelon {

// The step angle of a stage and the values its factor recurrences start from: delta = (pi/2) /
// divisor with the stored pi/2, and theta = delta + delta, the step between neighbouring points;
// the divisor is n/4 for the plain stages on n doubles and n/2 for the twisted one. cos theta and
// sin theta are correctly rounded (roundedSinCos), so the value depends on the divisor alone and is
// the same on every platform. A whole stage evaluates it itself; the transform evaluates it once
// per length and hands it to every stage part of that length, which gives the same bits.
struct StageAngle {
    int divisor;
    double delta;
    double c1, s1;  // cos theta, sin theta
    double ss;      // 2 sin theta: sigma of the single-angle sequences
    double c3, s3;  // (cos 3 theta, -sin 3 theta): step of the conjugated triple-angle sequences
    double ss3;     // -2 sin 3 theta: their sigma
};
StageAngle stageAngle(int divisor);
inline StageAngle plainStageAngle(int n) {
    return stageAngle(n >> 2);
}
inline StageAngle twistedStageAngle(int n) {
    return stageAngle(n >> 1);
}

// Plain quarter stage, the first stage of the plain block transform P_{n/2} (n >= 64, a power
// of two). For point j of the quarters (a, b, c, d):
//   z[j] = (a+c)+(b+d), z[j+m] = (a+c)-(b+d),
//   z[j+2m] = w^j ((a-c) + i(b-d)), z[j+3m] = w^(3j) ((a-c) - i(b-d)),  w = e^(2 pi i/(n/2)).
void quarterStage(int n, double* block);

// quarterStage applied to the conjugate of the block; bit-identical to conjugating the input
// first. The only place where the inverse transform differs from the forward one.
void quarterStageConj(int n, double* block);

// Twisted quarter stage, the first stage of the twisted block transform T_{n/2} (n >= 64), with
// alpha = e^(pi i/(n/2)):
//   z[j]    = alpha^j (a + ic) + alpha^(j+m) (b + id),    z[j+m]  = the same with -,
//   z[j+2m] = alpha^(3j) (a - ic) + alpha^(3j+3m) (b - id), z[j+3m] = the same with -.
void twistedQuarterStage(int n, double* block);

// The seed blocks of a stage on n doubles (n >= 64, a multiple of 32): its front points
// 1 .. n/16 - 2 cut into blocks of 64 (the last one shorter), each starting from its own cos/sin
// seed. The stage can therefore be done in parts, part by part in any order or on several threads
// at once:
//   *StagePart(n, block, first, end, angle), 0 <= first < end <= stageSeedBlocks(n), does the front
//   points of seed blocks [first, end) and their mirrors; the part with first == 0 also does point
//   0, the part with end == stageSeedBlocks(n) also the three middle points (which continue from
//   the factors of the last block). `angle` is the stage's own: plainStageAngle(n) for the plain
//   and conjugating stages, twistedStageAngle(n) for the twisted one.
// Parts covering [0, stageSeedBlocks(n)) once each give the whole stage's bits; parts touch
// disjoint doubles of the block.
inline constexpr int kStageSeedInterval = 64;  // front points per seed block
constexpr int stageSeedBlocks(int n) {
    return (n / 16 - 2 + kStageSeedInterval - 1) / kStageSeedInterval;
}
void quarterStagePart(int n, double* block, int first, int end, const StageAngle& angle);
void quarterStageConjPart(int n, double* block, int first, int end, const StageAngle& angle);
void twistedQuarterStagePart(int n, double* block, int first, int end, const StageAngle& angle);

// Fixed kernels; results in bit-reversed order within the block.
void kernelPlain16(double* block);    // P_16 on 32 doubles
void kernelTwisted16(double* block);  // T_16 on 32 doubles
void kernelPlain8(double* block);     // P_8 on 16 doubles
void kernelTwisted8(double* block);   // T_8 on 16 doubles

// Small transforms in natural order.
void dft4Forward(double* block);  // 4-point DFT, exponent +, 8 doubles
void dft4Inverse(double* block);  // 4-point DFT, exponent -, 8 doubles
void dft2(double* block);         // (z0, z1) -> (z0 + z1, z0 - z1), 4 doubles

}  // namespace oskelon
