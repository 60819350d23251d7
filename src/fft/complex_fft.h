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

void complexFft(int n, int sign, double* data);  // on activeFftPath() (fft/fft_path.h)
void fftForward(int n, double* data);
void fftInverse(int n, double* data);

// The leaves blocks of the recursion on the scalar path (the reference of the vector paths'
// leaves); results bit-reversed within the block.
void leavesPlain(int n, double* block);    // P of a 64/128-double block after its stage
void leavesTwisted(int n, double* block);  // T of a 64/128-double block after its stage

// Permutations. bitReverse is an involution on the N points (valid for n >= 4);
// bitReverseConj performs the same permutation and conjugates every point.
void bitReverse(int n, double* data);
void bitReverseConj(int n, double* data);
void bitReverse16(double* data);        // 16 points, fixed swaps
void bitReverseNegate16(double* data);  // out[p] = in[rev16((16 - p) mod 16)]
void bitReverse8(double* data);         // 8 points, fixed swaps
void bitReverseNegate8(double* data);   // out[p] = in[rev8((8 - p) mod 8)]

}  // namespace oskelon
