// The result code of a completed run and the description of the system it ran on.
#pragma once

#include <cstdint>
#include <string>

#include "calc/os_version.h"

namespace oskelon {

using ResultCode = std::uint32_t;

// Four 8-bit lanes, each the build number modulo a divisor formed from the size and the version
// (a lane of 256 or more runs on into the lanes above), combined by OR with the seconds shifted
// left by 2 * sizeIndex bits. Bits shifted beyond bit 31 are lost.
ResultCode computeResultCode(int sizeIndex, std::uint32_t totalSeconds, const OsVersion& version);

// The "Code %X" text of a code: upper-case hexadecimal without leading zeros.
std::string formatResultCode(ResultCode code);

// The system's description as stored with a record, at most 255 characters.
std::string osDescription(const OsVersion& version);

}  // namespace oskelon
