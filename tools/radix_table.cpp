// Developer command: for each of the twelve transform lengths, the radix test's value and the
// digits per word a run would choose. Not part of the product's user interface.
#include <cstdio>
#include <vector>

#include "calc/radix_choice.h"

int main() {
    std::printf("%5s %10s %10s %14s %14s %6s %11s\n", "size", "fftLength", "wordCount",
                "radixTest(10)", "estimate", "digits", "total");
    for (int i = 0; i < 12; ++i) {
        const int fftLength = 4096 << i;
        const int wordCount = fftLength + 2;
        std::vector<double> array(static_cast<std::size_t>(wordCount));
        const oskelon::RadixChoice c = oskelon::chooseRadix(wordCount, fftLength, array.data());
        std::printf("%5d %10d %10d %14.6e %14.6e %6d %11lld\n", i, fftLength, wordCount,
                    c.radixTest, c.estimate, c.digitsPerWord,
                    static_cast<long long>(fftLength) * c.digitsPerWord);
    }
    return 0;
}
