// Decimal text in and out of MpNumber. Both conversions take digitsPerWord (1..4) instead of the
// radix; radix = 10^digitsPerWord.
#pragma once

#include <cstddef>

#include "mp/mp_number.h"

namespace oskelon {

// Reads a NUL-terminated decimal constant ("1", "0.625", "-3.5", "1e5") into out, cut (not
// rounded) to wordCount words. Text without significant digits gives zero.
void mpFromText(int wordCount, int digitsPerWord, const char* text, MpNumber& out);

// Writes words 0 .. count-1 of x as "[-]d.ddd...e<exp>", NUL-terminated, cut not rounded.
// buffer must hold at least mpTextBytes(count, digitsPerWord) bytes.
void mpToText(int count, int digitsPerWord, const MpNumber& x, char* buffer);

constexpr std::size_t mpTextBytes(int count, int digitsPerWord) noexcept {
    return static_cast<std::size_t>(count) * static_cast<std::size_t>(digitsPerWord) + 15;
}

}  // namespace oskelon
