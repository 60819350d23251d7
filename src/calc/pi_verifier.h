// Verification of a result against the true digits of pi.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "calc/sizes.h"

namespace oskelon {

// The length of the longest result text: "3.", the digits of the largest size at four digits
// per word, "e0" and a CR LF line end. No file longer than this is a result of this program.
inline constexpr std::size_t kLongestResultBytes =
    2 + 4 * static_cast<std::size_t>(requestedLength(kSizeCount - 1)) + 2 + 2;

struct DigitsVerdict {
    enum class Status {
        Verified,   // every checked digit is right
        Wrong,      // a digit differs from pi; firstWrongFrom..firstWrongTo holds the first one
        Malformed,  // the text is not a result ("3." digits "e0" and a line end), or its length
                    // is no digit count of any size; firstWrongFrom is the first bad position
        TooLong,    // the file is longer than kLongestResultBytes; only that much was read
        Unreadable  // the file could not be read, or is a directory
    };
    Status status = Status::Unreadable;
    long long digits = 0;          // digits after the point
    long long checkedDigits = 0;   // how many of them the reference covers
    long long firstWrongFrom = 0;  // 1-based positions after the point; 0 when none
    long long firstWrongTo = 0;
    std::string detail;  // what is wrong, for messages

    bool verified() const { return status == Status::Verified; }
};

// Checks the digits after the point of a result (count digits at `digits`).
DigitsVerdict verifyPiDigits(const char* digits, std::size_t count);

// Checks a whole result text as written to pi.dat: "3.", the digits, "e0" and a line end.
DigitsVerdict verifyPiText(std::string_view text);

// Reads and checks a file, reading at most kLongestResultBytes + 1 bytes of it.
DigitsVerdict verifyPiFile(const std::string& path);

// One line for people: "verified: 1048571 of 1048576 digits" or where it went wrong.
std::string describeVerdict(const DigitsVerdict& verdict);

}  // namespace oskelon
