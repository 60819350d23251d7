// The version data of the operating system that a result code and a record carry.
//
// On Windows they are the platform's own version data; on other systems the kernel release
// stands in: "6.1.0-18-amd64" gives major 6, minor 1, build 0, with family 0 (neither Windows
// family). Each platform provides queryOsVersion() in a file of its own.
#pragma once

#include <cstdint>
#include <string>

namespace oskelon {

struct OsVersion {
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::uint32_t build = 0;   // only the low 16 bits take part in the code
    std::int32_t family = 0;   // 1: Windows 95 family, 2: NT family, 0: other systems
    std::string servicePack;   // the NT family's service-pack text
    std::string distribution;  // other systems: the distribution's name, when known
};

// Asks the platform, once per call.
OsVersion queryOsVersion();

// Parses a kernel release such as "6.1.0-18-amd64" into major, minor and build (missing
// numbers are 0).
void parseKernelRelease(const std::string& release, OsVersion& version);

// The distribution's PRETTY_NAME from os-release text, unquoted; empty when absent.
std::string prettyNameFromOsRelease(const std::string& osReleaseText);

}  // namespace oskelon
