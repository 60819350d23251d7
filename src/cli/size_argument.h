// The runner's --size argument.
#pragma once

#include <optional>
#include <string>

namespace oskelon {

// An index 0..11, a display name ("104万桁") or a common name (16K 32K 64K 128K 256K 512K 1M 2M
// 4M 8M 16M 32M, letters in either case); nullopt for anything else.
std::optional<int> parseSizeArgument(const std::string& text);

// The common name of a size index ("1M" for 6).
std::string sizeCommonName(int sizeIndex);

}  // namespace oskelon
