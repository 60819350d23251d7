#include "calc/pi_verifier.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "calc/digest.h"
#include "calc/pi_reference.h"

namespace oskelon {
namespace {

// The first block (by the block digests) in which the digits differ from pi, as a range of
// 1-based positions; {0, 0} when the first `count` digits all match their blocks. A final
// partial block is compared by the caller.
std::pair<long long, long long> firstWrongBlock(const char* digits, long long count) {
    const long long fullBlocks = std::min<long long>(count / kPiBlockDigits, piBlockCount());
    for (long long b = 0; b < fullBlocks; ++b) {
        const char* block = digits + b * kPiBlockDigits;
        if (blockDigest(block, kPiBlockDigits) != piBlockDigest(static_cast<int>(b)))
            return {b * kPiBlockDigits + 1, (b + 1) * kPiBlockDigits};
    }
    return {0, 0};
}

// The nearest digit counts below and above n among all sizes.
void neighbours(long long n, long long& below, long long& above) {
    int count = 0;
    const PiReferenceEntry* entries = piReferenceEntries(count);
    below = 0;
    above = 0;
    for (int i = 0; i < count; ++i) {
        if (entries[i].digits < n) below = entries[i].digits;
        if (entries[i].digits > n && above == 0) above = entries[i].digits;
    }
}

}  // namespace

DigitsVerdict verifyPiDigits(const char* digits, std::size_t count) {
    DigitsVerdict v;
    v.digits = static_cast<long long>(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (digits[i] < '0' || digits[i] > '9') {
            v.status = DigitsVerdict::Status::Malformed;
            v.firstWrongFrom = v.firstWrongTo = static_cast<long long>(i) + 1;
            v.detail = "not a digit at position " + std::to_string(i + 1);
            return v;
        }
    }
    const PiReferenceEntry* entry = findPiReference(static_cast<int>(
        std::min<std::size_t>(count, static_cast<std::size_t>(kPiReferenceDigits) + 1)));
    if (entry == nullptr) {
        // No size writes this many digits: a truncated or over-long result. Locate the first
        // digit that should not be there (over-long) or is missing (truncated), after checking
        // the digits that are there.
        long long below = 0, above = 0;
        neighbours(v.digits, below, above);
        v.status = DigitsVerdict::Status::Malformed;
        const auto wrong = firstWrongBlock(digits, std::min<long long>(v.digits, below));
        if (wrong.first != 0) {
            v.firstWrongFrom = wrong.first;
            v.firstWrongTo = wrong.second;
            v.detail = "wrong digits and an unexpected length of " + std::to_string(v.digits);
        } else if (below > 0 && (above == 0 || v.digits - below <= above - v.digits)) {
            v.firstWrongFrom = v.firstWrongTo = below + 1;
            v.detail = std::to_string(v.digits - below) + " digits more than a result of " +
                       std::to_string(below) + " digits";
        } else {
            v.firstWrongFrom = v.firstWrongTo = v.digits + 1;
            v.detail = "truncated: " + std::to_string(v.digits) + " digits, a result has " +
                       std::to_string(above);
        }
        return v;
    }

    v.checkedDigits = entry->checkedDigits;
    const Digest128 got = digitsDigest(digits, static_cast<std::size_t>(entry->checkedDigits));
    if (got == Digest128{entry->digestHigh, entry->digestLow}) {
        v.status = DigitsVerdict::Status::Verified;
        return v;
    }
    v.status = DigitsVerdict::Status::Wrong;
    const long long checked = entry->checkedDigits;
    const long long partialFrom = checked / kPiBlockDigits * kPiBlockDigits + 1;  // 1-based
    const long long tailFrom = checked - kPiTailDigits + 1;
    const auto wrong = firstWrongBlock(digits, checked);
    if (wrong.first != 0) {
        v.firstWrongFrom = wrong.first;
        v.firstWrongTo = wrong.second;
    } else if (tailFrom > partialFrom &&
               blockDigest(digits + partialFrom - 1,
                           static_cast<std::size_t>(tailFrom - partialFrom)) !=
                   entry->partialDigest) {
        // The difference lies between the last full block and the tail.
        v.firstWrongFrom = partialFrom;
        v.firstWrongTo = tailFrom - 1;
    } else {
        v.firstWrongFrom = std::min(partialFrom, tailFrom);
        v.firstWrongTo = checked;
    }
    // The true digits of the tail narrow the range: a difference found there is the first one
    // when the range starts inside the tail, and bounds it otherwise.
    if (v.firstWrongTo >= tailFrom) {
        long long found = 0;
        for (long long pos = std::max(tailFrom, v.firstWrongFrom); pos <= v.firstWrongTo; ++pos) {
            if (digits[pos - 1] != entry->tail[pos - tailFrom]) {
                found = pos;
                break;
            }
        }
        if (found == 0) {
            v.firstWrongTo = tailFrom - 1;
        } else {
            if (v.firstWrongFrom >= tailFrom || wrong.first == 0) v.firstWrongFrom = found;
            v.firstWrongTo = found;
        }
    }
    v.detail = v.firstWrongFrom == v.firstWrongTo
                   ? "first wrong digit at position " + std::to_string(v.firstWrongFrom)
                   : "first wrong digit in positions " + std::to_string(v.firstWrongFrom) + "-" +
                         std::to_string(v.firstWrongTo);
    return v;
}

DigitsVerdict verifyPiText(std::string_view text) {
    DigitsVerdict v;
    v.status = DigitsVerdict::Status::Malformed;
    if (text.size() < 2 || text.substr(0, 2) != "3.") {
        v.detail = "a result starts with \"3.\"";
        v.firstWrongFrom = v.firstWrongTo = 0;
        return v;
    }
    std::string_view rest = text.substr(2);
    std::size_t end = rest.size();
    if (rest.size() >= 2 && rest.substr(rest.size() - 2) == "\r\n") {
        end -= 2;
    } else if (!rest.empty() && rest.back() == '\n') {
        end -= 1;
    } else {
        v.detail = "no line end after the exponent";
    }
    if (v.detail.empty() && (end < 2 || rest.substr(end - 2, 2) != "e0"))
        v.detail = "no \"e0\" after the digits";
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
    if (v.detail.empty() && digits != end - 2)
        v.detail = "not a digit at position " + std::to_string(digits + 1);
    if (!v.detail.empty()) {
        v.digits = static_cast<long long>(digits);
        v.firstWrongFrom = v.firstWrongTo = static_cast<long long>(digits) + 1;
        return v;
    }
    return verifyPiDigits(rest.data(), digits);
}

DigitsVerdict verifyPiFile(const std::string& path) {
    DigitsVerdict v;
    v.status = DigitsVerdict::Status::Unreadable;
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        v.detail = "cannot read " + path + ": it is a directory";
        return v;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        v.detail = "cannot read " + path + ": " + std::strerror(errno);
        return v;
    }
    // One byte beyond the longest result tells a longer file from it; an endless one
    // (/dev/zero) ends the reading there too.
    std::string content;
    const std::size_t limit = kLongestResultBytes + 1;
    const std::size_t chunk = std::size_t{1} << 20;
    bool more = true;
    while (more && content.size() < limit) {
        const std::size_t had = content.size();
        const std::size_t want = std::min(chunk, limit - had);
        content.resize(had + want);
        const std::size_t got = std::fread(content.data() + had, 1, want, file);
        content.resize(had + got);
        more = got == want;
    }
    const bool failed = std::ferror(file) != 0;
    const int readError = errno;
    std::fclose(file);
    if (failed) {
        v.detail = "cannot read " + path + ": " + std::strerror(readError);
        return v;
    }
    if (content.size() > kLongestResultBytes) {
        v.status = DigitsVerdict::Status::TooLong;
        v.detail = "longer than any result (" + std::to_string(kLongestResultBytes) + " bytes)";
        return v;
    }
    return verifyPiText(content);
}

std::string describeVerdict(const DigitsVerdict& v) {
    switch (v.status) {
        case DigitsVerdict::Status::Verified:
            return "verified: " + std::to_string(v.checkedDigits) + " of " +
                   std::to_string(v.digits) + " digits";
        case DigitsVerdict::Status::Wrong:
            return "WRONG: " + v.detail;
        case DigitsVerdict::Status::Malformed:
            return "not a valid result: " + v.detail;
        case DigitsVerdict::Status::TooLong:
            return "not a result of this program: " + v.detail;
        case DigitsVerdict::Status::Unreadable:
            return v.detail;
    }
    return {};
}

}  // namespace oskelon
