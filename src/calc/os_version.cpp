#include "calc/os_version.h"

#include <cctype>
#include <sstream>

namespace oskelon {

void parseKernelRelease(const std::string& release, OsVersion& version) {
    std::uint32_t parts[3] = {0, 0, 0};
    std::size_t pos = 0;
    for (int k = 0; k < 3; ++k) {
        if (pos >= release.size() || !std::isdigit(static_cast<unsigned char>(release[pos]))) break;
        std::uint32_t value = 0;
        while (pos < release.size() && std::isdigit(static_cast<unsigned char>(release[pos]))) {
            value = value * 10 + static_cast<std::uint32_t>(release[pos] - '0');
            if (value > 0x7FFFFFFF) value = 0x7FFFFFFF;
            ++pos;
        }
        parts[k] = value;
        if (pos >= release.size() || release[pos] != '.') break;
        ++pos;
    }
    version.major = static_cast<std::int32_t>(parts[0]);
    version.minor = static_cast<std::int32_t>(parts[1]);
    version.build = parts[2];
}

std::string prettyNameFromOsRelease(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "PRETTY_NAME=";
        if (line.compare(0, key.size(), key) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return {};
}

}  // namespace oskelon
