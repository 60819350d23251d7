// The pointwise loops of the spectrum kernels: the split of the real spectra, the product and the
// merge back, pair by pair.
//
// Real data of n doubles is transformed as n/2 complex points. The real spectrum is recovered by a
// "split" of every pair of positions (j, n-j) with the twiddle pair
//     wkr(j) = 1/2 - 1/2 sin(pi j/n),   wki(j) = 1/2 cos(pi j/n),
// and folded back by the inverse "merge" after the pointwise product. The zero-frequency pair and
// the middle element are not pairs; the kernels in engine.cpp do those.
#pragma once

#include "fft/fft_path.h"

namespace oskelon {

// Each loop names its arrays a, b, c (each a transform array + 1, so that a[j] is element j of
// the spectrum). "split(x)" is x's split values; "x split" means x is split in place and left
// so; an array given as already split is one a kernel left split (a kept transform). Arrays the
// loop does not assign are only read. The arrays must be distinct.
enum class SpectrumPairs {
    MultiplyIntoUnsplit,   // a already split; b := merge(a * split(b))
    SplitAndMultiplyInto,  // a split; b := merge(a * split(b))
    MultiplyIntoKept,      // a split; b already split, b := merge(a * b)
    MultiplyKeep,          // a split; b := a * split(b), left unmerged
    MultiplyAccumulate,    // a already split; c unmerged, c := merge(c + a * split(b))
    Square,                // a := merge(split(a)^2)
    SquareInto,            // a split; b := merge(a^2), b's old values unused
    SquareKept,            // a already split, a := merge(a^2)
};

// Runs the loop over every pair of a transform of n doubles on the active path, spread over the
// active pool from detail::kSpreadPairsFrom on.
void spectrumPairs(SpectrumPairs loop, int n, double* a, double* b = nullptr, double* c = nullptr);

// The same on a chosen path (for tests and benchmarks; the path must be supported). The scalar
// path visits the pairs one by one, the reference; the others compute 8 segments' twiddles side
// by side and the pairs of a segment in vector lanes (baseline, AVX2 or AVX-512 code), with the
// same operations per pair, so every path writes the same bits.
void spectrumPairsOn(FftPath path, SpectrumPairs loop, int n, double* a, double* b = nullptr,
                     double* c = nullptr);

// The loop, then the inverse transform (fftInverse) of the array it merges into: b, or c for
// MultiplyAccumulate, or a for Square and SquareKept (MultiplyKeep merges nothing). Bit-identical
// to spectrumPairs followed by fftInverse, but the loop is done in the units of the transform's
// prelude (fftInverseAfter): on a pool each part of the loop is followed, on the same thread, by
// the transform's first stage on the points it wrote, and on one thread at large n the stage finds
// them in the cache.
void spectrumPairsThenInverse(SpectrumPairs loop, int n, double* a, double* b = nullptr,
                              double* c = nullptr);
void spectrumPairsThenInverseOn(FftPath path, SpectrumPairs loop, int n, double* a,
                                double* b = nullptr, double* c = nullptr);

}  // namespace oskelon
