#include "calc/result_code.h"

#include <cstdio>

namespace oskelon {

ResultCode computeResultCode(int sizeIndex, std::uint32_t totalSeconds, const OsVersion& version) {
    const std::int32_t i = sizeIndex;
    const std::int32_t M = version.major;
    const std::int32_t N = version.minor;
    const std::uint32_t B = version.build & 0xFFFFu;
    // Divisors in signed arithmetic, taken as unsigned: a negative divisor exceeds any 16-bit
    // build, so its lane is the build itself. A zero divisor becomes 7.
    const std::int32_t divisors[4] = {i + M + N, i - N + M, i - M + N, i - M - N};
    std::uint32_t lanes = 0;
    for (int k = 0; k < 4; ++k) {
        std::uint32_t m = static_cast<std::uint32_t>(divisors[k]);
        if (m == 0) m = 7;
        lanes += (B % m) << (8 * k);
    }
    return lanes | (totalSeconds << (2 * sizeIndex));
}

std::string formatResultCode(ResultCode code) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(code));
    return text;
}

std::string osDescription(const OsVersion& v) {
    char text[256];
    const int build = static_cast<int>(v.build & 0xFFFFu);
    switch (v.family) {
        case 1:
            if (v.minor == 10)
                std::snprintf(text, sizeof text, "Windows98 Ver %d.%d Build %d", v.major, 10,
                              build);
            else
                std::snprintf(text, sizeof text, "Windows95 Ver %d.%d Build %d", v.major, v.minor,
                              build);
            break;
        case 2:
            if (v.minor == 0)
                std::snprintf(text, sizeof text, "WindowsNT Ver %d.%d Build %d %s", v.major, 0,
                              build, v.servicePack.c_str());
            else
                std::snprintf(text, sizeof text, "Windows2000 Ver %d.%d Build %d", v.major, v.minor,
                              build);
            break;
        default:
            if (v.distribution.empty())
                std::snprintf(text, sizeof text, "Linux Ver %d.%d Build %d", v.major, v.minor,
                              build);
            else
                std::snprintf(text, sizeof text, "Linux Ver %d.%d Build %d (%s)", v.major, v.minor,
                              build, v.distribution.c_str());
            break;
    }
    return text;  // snprintf cut it to 255 characters
}

}  // namespace oskelon
