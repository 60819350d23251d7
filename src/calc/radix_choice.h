// Choice of the digits per word for a run: the largest radix whose rounding error stays safe.
#pragma once

namespace oskelon {

struct RadixChoice {
    int digitsPerWord;  // 1 .. 4
    int radix;          // 10^digitsPerWord
    double radixTest;   // the radix test's value at radix 10
    double estimate;    // the error estimate at the chosen radix (below 0.4)
};

// Runs the radix test at radix 10 on `array` (wordCount doubles, scratch) and grows the radix
// tenfold while the estimate, which grows a hundredfold with it, stays below 0.4.
RadixChoice chooseRadix(int wordCount, int fftLength, double* array);

}  // namespace oskelon
