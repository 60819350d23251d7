// Fuzz target: decimal text into numbers and back. The first byte picks the digits per word, the
// second the word count; the rest is the text. Every result must be in normal form with words in
// range, and writing it out and reading it back must give the same record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "mp/decimal.h"
#include "mp/mp_number.h"

namespace {

struct Number {
    explicit Number(int words) : storage((oskelon::mpNumberBytes(words) + 3) / 4 + 1) {}
    oskelon::MpNumber& get() { return *oskelon::mpNumberAt(storage.data()); }
    std::vector<std::uint32_t> storage;
};

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const int digitsPerWord = 1 + data[0] % 4;
    const int wordCount = 1 + data[1] % 48;
    int radix = 1;
    for (int i = 0; i < digitsPerWord; ++i) radix *= 10;
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

    Number x(wordCount);
    oskelon::mpFromText(wordCount, digitsPerWord, text.c_str(), x.get());
    const oskelon::MpNumber& n = x.get();
    check(n.sign >= -1 && n.sign <= 1);
    for (int i = 0; i < wordCount; ++i) check(n.words()[i] >= 0 && n.words()[i] < radix);
    if (n.sign == 0) {
        check(n.exponent == 0);
        for (int i = 0; i < wordCount; ++i) check(n.words()[i] == 0);
    } else {
        check(n.words()[0] != 0);
    }

    // The decimal exponent of the text must fit the reader's integer for a round trip.
    const long long decimalExponent = static_cast<long long>(n.exponent) * digitsPerWord;
    if (decimalExponent > 2000000000LL || decimalExponent < -2000000000LL) return 0;

    std::vector<char> buffer(oskelon::mpTextBytes(wordCount, digitsPerWord));
    oskelon::mpToText(wordCount, digitsPerWord, n, buffer.data());
    Number y(wordCount);
    oskelon::mpFromText(wordCount, digitsPerWord, buffer.data(), y.get());
    check(y.get().sign == n.sign);
    check(y.get().exponent == n.exponent);
    for (int i = 0; i < wordCount; ++i) check(y.get().words()[i] == n.words()[i]);
    return 0;
}
