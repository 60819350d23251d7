// Digests of digit texts and of the numbers of a run (xxHash).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "mp/mp_number.h"

namespace oskelon {

struct Digest128 {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    bool operator==(const Digest128&) const = default;
};

// 128-bit digest of a digit text (XXH3-128).
Digest128 digitsDigest(const char* digits, std::size_t count);
// 32-bit digest of one block of a digit text (XXH32, seed 0).
std::uint32_t blockDigest(const char* digits, std::size_t count);
// 64-bit digest of the records a, b and t of wordCount words (sign, exponent and words, as laid
// out in memory), the checkpoint of one iteration.
std::uint64_t iterationDigest(int wordCount, const MpNumber& a, const MpNumber& b,
                              const MpNumber& t);

std::string toHex(std::uint64_t value);
std::string toHex(const Digest128& digest);

}  // namespace oskelon
