// The program's Fourier transform: in place, unscaled, no tables, no allocation.
//
// n is the length in doubles, a power of two >= 2; the array holds N = n/2 complex points as
// interleaved (real, imaginary) pairs, input and output in natural order.
//   forward (sign >= 0): X[k] = sum_j x[j] e^(+2 pi i jk/N)
//   inverse (sign <  0): X[k] = sum_j x[j] e^(-2 pi i jk/N)
// Inverse after forward returns N times the input. For every n the inverse equals, bit for bit,
// conj(forward(conj(x))).
//
// The transform is a depth-first decimation-in-frequency recursion over quarters with plain and
// twisted block transforms; it leaves the spectrum bit-reversed and one permutation at the end
// restores natural order (conjugating on the way in the inverse direction).
#pragma once

namespace oskelon {

// From this length (doubles) up, a transform on a thread with an active pool of several threads
// (parallel/work_pool.h) spreads over the pool; below it, or without such a pool, it runs on the
// calling thread alone. The result is bit-identical either way, for any number of threads.
// Measured on the 2-core machine (avx512, forward and inverse pairs back to back), 2 threads
// against 1, best of quiet windows: 0.76 to 0.88 at 2^13 doubles, 1.0 to 1.16 at 2^14, 1.10 to
// 1.36 at 2^15, 1.37 to 1.74 at 2^16, 1.7 to 1.9 at 2^17, 1.8 to 2.2 from 2^18 to 2^21 (two L2
// caches), 1.85 at 2^22 and 2^23 (bench/transform_bench.cpp, BM_TransformThreads). When the other
// core is taken, a part can wait on a preempted worker: the mean at 2^15 fell to 0.72, so the small
// gain there is not worth it.
inline constexpr int kFftParallelMinLength = 1 << 16;

void complexFft(int n, int sign, double* data);  // on activeFftPath() (fft/fft_path.h)
void fftForward(int n, double* data);
void fftInverse(int n, double* data);

// An inverse transform that reads its input as it is made ready, part by part: a pass that writes
// the input (the engine's pointwise products) runs in the same parts as the transform's first
// stage, so that each part's points are still in the cache of the core that wrote them when the
// stage reads them.
//
// The input's points come in fftPreludeUnits(n) units. For n >= 2048 doubles, with m = n/8 points
// per quarter of the array, unit u is the points whose offset x within their quarter lies in
// [128u, 128u + 128) or in [m - 128u - 128, m - 128u): each unit is closed under k <-> N - k (N the
// number of points). Below 2048 doubles there is one unit, all the points.
//
// fftInverseAfter calls ready(context, first, end) for ranges of units that cover [0, units) once
// each, and reads no point of a unit before the call that covers it has returned. The calls may run
// at once on the threads of the active pool, or one after the other on the calling thread; every
// call may itself use forEachPart. The result is fftInverse of the points the calls leave, bit for
// bit.
struct InversePrelude {
    void (*ready)(void* context, int first, int end);
    void* context;
};
int fftPreludeUnits(int n);
void fftInverseAfter(int n, double* data, const InversePrelude& prelude);

// The leaves blocks of the recursion on the scalar path (the reference of the vector paths'
// leaves); results bit-reversed within the block.
void leavesPlain(int n, double* block);    // P of a 64/128-double block after its stage
void leavesTwisted(int n, double* block);  // T of a 64/128-double block after its stage

// Permutations. bitReverse is an involution on the N points (valid for n >= 4);
// bitReverseConj performs the same permutation and conjugates every point.
void bitReverse(int n, double* data);
void bitReverseConj(int n, double* data);
// Part `part` of `parts` (0 <= part < parts) of the same permutation: the parts of one split touch
// disjoint points, and done once each, in any order or at once, they are the whole permutation.
void bitReversePart(int n, double* data, int part, int parts);
void bitReverseConjPart(int n, double* data, int part, int parts);
void bitReverse16(double* data);        // 16 points, fixed swaps
void bitReverseNegate16(double* data);  // out[p] = in[rev16((16 - p) mod 16)]
void bitReverse8(double* data);         // 8 points, fixed swaps
void bitReverseNegate8(double* data);   // out[p] = in[rev8((8 - p) mod 8)]

}  // namespace oskelon
