#include "calc/sizes.h"

#include <array>

namespace oskelon {

std::string sizeDisplayName(int sizeIndex) {
    static constexpr std::array<const char*, kSizeCount> names = {
        "1.6万桁", "3.2万桁", "6.5万桁", "13万桁",  "26万桁",   "52万桁",
        "104万桁", "209万桁", "419万桁", "838万桁", "1677万桁", "3355万桁"};
    if (sizeIndex < 0 || sizeIndex >= kSizeCount) return {};
    return names[static_cast<std::size_t>(sizeIndex)];
}

}  // namespace oskelon
