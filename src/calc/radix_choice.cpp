#include "calc/radix_choice.h"

#include "mp/engine.h"

namespace oskelon {

RadixChoice chooseRadix(int wordCount, int fftLength, double* array) {
    RadixChoice choice{1, 10, 0.0, 0.0};
    choice.radixTest = radixTest(wordCount, 10, fftLength, array);
    // The estimate adds the spacing of doubles at 1 for every word of a product (25 per word,
    // formed as wordCount * 100 / 4), then scales to the next radix: each further digit per word
    // multiplies the squared coefficients, and so their rounding error, by 100.
    const double eps = 2.220446049250313e-16;
    double e = (choice.radixTest + (wordCount * 100 / 4) * eps) * 100.0;
    while (e < 0.4 && choice.radix <= 1638) {
        e *= 100.0;
        choice.digitsPerWord += 1;
        choice.radix *= 10;
    }
    choice.estimate = e / 100.0;  // e is the estimate for the next larger radix
    return choice;
}

}  // namespace oskelon
