// The runner's --threads argument: how many threads one run's arithmetic uses.
#pragma once

#include <optional>
#include <string>

namespace oskelon {

// A count from 1 to kMaxRecordThreads (the most a record can name), or "all" for allowedCpus,
// the CPUs this process may run on (at least 1, at most the cap). nullopt, with the reason in
// *error, for anything else.
std::optional<int> parseThreadArgument(const std::string& text, int allowedCpus,
                                       std::string* error);

}  // namespace oskelon
