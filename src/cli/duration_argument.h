// The runner's --duration argument: a time budget such as "90s", "30m", "1.5h" or "1h30m".
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace oskelon {

// One or more parts, each a number (digits, optionally a fraction) followed by its unit s, m or
// h; the parts add up. nullopt for anything else, for a part without its unit and for a budget
// that is not at least one millisecond or exceeds a year.
std::optional<std::chrono::milliseconds> parseDuration(const std::string& text);

}  // namespace oskelon
