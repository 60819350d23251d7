#include "cli/thread_argument.h"

#include <algorithm>

#include "records/record_store.h"

namespace oskelon {

std::optional<int> parseThreadArgument(const std::string& text, int allowedCpus,
                                       std::string* error) {
    if (text == "all") return std::clamp(allowedCpus, 1, kMaxRecordThreads);
    const bool digits =
        !text.empty() && text.size() <= 4 &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const int count = digits ? std::stoi(text) : 0;
    if (count < 1 || count > kMaxRecordThreads) {
        if (error)
            *error = "bad --threads \"" + text + "\": give a count from 1 to " +
                     std::to_string(kMaxRecordThreads) + " or \"all\"";
        return std::nullopt;
    }
    return count;
}

}  // namespace oskelon
