// The number record of the arithmetic.
//
// An MpNumber is one block of 8 + 2*wordCount bytes: a signed 32-bit sign (+1, -1, 0), a signed
// 32-bit exponent counted in words, then wordCount signed 16-bit digit words, word 0 the most
// significant:
//     value = sign * sum_i words[i] * radix^(exponent - i),   radix = 10^digitsPerWord (10..10000).
// Every stored word lies in 0 .. radix-1. Normal form: a non-zero number has words[0] != 0; zero
// is sign 0, exponent 0 and all words 0. wordCount is not stored: every operation receives it.
// An operation reads and writes only the first wordCount words it is given, so it may run on the
// leading part of a longer record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

namespace oskelon {

struct MpNumber {
    std::int32_t sign;
    std::int32_t exponent;

    // The digit words follow the two fields directly in the caller's block.
    std::int16_t* words() noexcept { return reinterpret_cast<std::int16_t*>(this + 1); }
    const std::int16_t* words() const noexcept {
        return reinterpret_cast<const std::int16_t*>(this + 1);
    }
};
static_assert(sizeof(MpNumber) == 8, "the record's header is two 32-bit fields");

// Bytes of storage one number of wordCount words occupies.
constexpr std::size_t mpNumberBytes(int wordCount) noexcept {
    return sizeof(MpNumber) + 2 * static_cast<std::size_t>(wordCount);
}

// Views caller-provided storage (at least mpNumberBytes(wordCount) bytes, aligned for int32_t)
// as a number record. The contents are left as they are.
inline MpNumber* mpNumberAt(void* storage) noexcept {
    return std::launder(reinterpret_cast<MpNumber*>(storage));
}

}  // namespace oskelon
