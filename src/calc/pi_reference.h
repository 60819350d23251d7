// Reference data of the true digits of pi, for verifying results without a second computation.
//
// For every digit count the program can produce (fftLength * digitsPerWord) an entry gives how
// many leading digits a correct run always gets right (checkedDigits; the last few digits of a
// run are cut from a longer expansion and may differ), the digest of those digits and the true
// digits just before the checked end. Block digests of the first 33,554,432 digits locate the
// first wrong block of a result.
#pragma once

#include <cstdint>

namespace oskelon {

inline constexpr int kPiTailDigits = 32;     // true digits kept before each checked end
inline constexpr int kPiBlockDigits = 1024;  // digits per located block
inline constexpr int kPiReferenceDigits = 33554432;

struct PiReferenceEntry {
    int digits;                           // digits after the point that a run writes
    int checkedDigits;                    // leading digits every correct run gets right
    std::uint64_t digestHigh, digestLow;  // XXH3-128 of the checked digits
    const char* tail;                     // the kPiTailDigits true digits ending at checkedDigits
    // XXH32 of the digits between the last full block and the tail (positions
    // floor(checkedDigits / kPiBlockDigits) * kPiBlockDigits + 1 .. checkedDigits - kPiTailDigits),
    // or 0 when the tail reaches back to the last full block.
    std::uint32_t partialDigest;
};

// The entry for a digit count, or nullptr when no size produces that many digits.
const PiReferenceEntry* findPiReference(int digits);
// All entries, by increasing digit count.
const PiReferenceEntry* piReferenceEntries(int& count);
// XXH32 of block i of the digits after the point (digits i*1024+1 .. (i+1)*1024).
std::uint32_t piBlockDigest(int block);
int piBlockCount();

}  // namespace oskelon
