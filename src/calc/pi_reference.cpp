#include "calc/pi_reference.h"

#include <iterator>

namespace oskelon {
namespace {
#include "calc/pi_reference_table.inc"
}  // namespace

const PiReferenceEntry* findPiReference(int digits) {
    for (const PiReferenceEntry& entry : kPiReferenceEntries)
        if (entry.digits == digits && entry.checkedDigits > 0) return &entry;
    return nullptr;
}

const PiReferenceEntry* piReferenceEntries(int& count) {
    count = static_cast<int>(std::size(kPiReferenceEntries));
    return kPiReferenceEntries;
}

std::uint32_t piBlockDigest(int block) {
    return block >= 0 && block < piBlockCount() ? kPiBlockDigests[block] : 0;
}

int piBlockCount() {
    return static_cast<int>(std::size(kPiBlockDigests)) - 1;
}

}  // namespace oskelon
