#include "cli/cpu_set.h"

#include <algorithm>

namespace oskelon {
namespace {

bool parseNumber(const std::string& text, int& value) {
    if (text.empty() || text.size() > 5) return false;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    value = std::stoi(text);
    return value <= kMaxCpuNumber;
}

}  // namespace

std::optional<std::vector<int>> parseCpuList(const std::string& text, std::string* error) {
    auto fail = [&](const std::string& reason) -> std::optional<std::vector<int>> {
        if (error) *error = reason;
        return std::nullopt;
    };
    if (text.empty()) return fail("empty CPU list");
    std::vector<int> cpus;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const std::size_t dash = item.find('-');
        int first = 0, last = 0;
        if (dash == std::string::npos) {
            if (!parseNumber(item, first)) return fail("\"" + item + "\" is no CPU number");
            last = first;
        } else {
            if (!parseNumber(item.substr(0, dash), first) ||
                !parseNumber(item.substr(dash + 1), last))
                return fail("\"" + item + "\" is no CPU range");
            if (last < first) return fail("the range \"" + item + "\" runs backwards");
        }
        for (int cpu = first; cpu <= last; ++cpu) cpus.push_back(cpu);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    std::sort(cpus.begin(), cpus.end());
    const auto twice = std::adjacent_find(cpus.begin(), cpus.end());
    if (twice != cpus.end()) return fail("CPU " + std::to_string(*twice) + " is listed twice");
    return cpus;
}

std::string formatCpuList(const std::vector<int>& cpus) {
    std::string text;
    for (std::size_t i = 0; i < cpus.size();) {
        std::size_t j = i;
        while (j + 1 < cpus.size() && cpus[j + 1] == cpus[j] + 1) ++j;
        if (!text.empty()) text += ',';
        text += std::to_string(cpus[i]);
        if (j > i) {
            text += j == i + 1 ? ',' : '-';
            text += std::to_string(cpus[j]);
        }
        i = j + 1;
    }
    return text;
}

}  // namespace oskelon
