#include "cli/size_argument.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "calc/sizes.h"

namespace oskelon {
namespace {
constexpr std::array<const char*, kSizeCount> commonNames = {
    "16K", "32K", "64K", "128K", "256K", "512K", "1M", "2M", "4M", "8M", "16M", "32M"};
}

std::optional<int> parseSizeArgument(const std::string& text) {
    if (!text.empty() && text.size() <= 2 &&
        std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
        const int index = std::stoi(text);
        if (index >= 0 && index < kSizeCount) return index;
        return std::nullopt;
    }
    std::string upper;
    for (unsigned char c : text) upper += static_cast<char>(std::toupper(c));
    for (int i = 0; i < kSizeCount; ++i) {
        if (upper == commonNames[static_cast<std::size_t>(i)] || text == sizeDisplayName(i))
            return i;
    }
    return std::nullopt;
}

std::string sizeCommonName(int sizeIndex) {
    if (sizeIndex < 0 || sizeIndex >= kSizeCount) return {};
    return commonNames[static_cast<std::size_t>(sizeIndex)];
}

}  // namespace oskelon
