// The twelve sizes of a run.
#pragma once

#include <string>

namespace oskelon {

inline constexpr int kSizeCount = 12;
inline constexpr int kDefaultSizeIndex = 6;  // "104万桁", 1,048,576 digits

// The transform length a size requests: 4096 * 2^i.
constexpr int requestedLength(int sizeIndex) {
    return 4096 << sizeIndex;
}

// The item text of the size list ("1.6万桁" ... "3355万桁"), UTF-8.
std::string sizeDisplayName(int sizeIndex);

}  // namespace oskelon
