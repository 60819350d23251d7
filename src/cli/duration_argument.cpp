#include "cli/duration_argument.h"

#include <cctype>
#include <cstdlib>

namespace oskelon {

std::optional<std::chrono::milliseconds> parseDuration(const std::string& text) {
    constexpr double kYearMs = 366.0 * 24 * 3600 * 1000;
    double totalMs = 0;
    std::size_t i = 0;
    if (text.empty()) return std::nullopt;
    while (i < text.size()) {
        const std::size_t numberStart = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
        if (i == numberStart) return std::nullopt;  // a part starts with its digits
        if (i < text.size() && text[i] == '.') {
            ++i;
            const std::size_t fractionStart = i;
            while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
            if (i == fractionStart) return std::nullopt;
        }
        if (i - numberStart > 12 || i >= text.size()) return std::nullopt;
        const double value =
            std::strtod(text.substr(numberStart, i - numberStart).c_str(), nullptr);
        double unitMs = 0;
        switch (text[i]) {
            case 's':
                unitMs = 1000.0;
                break;
            case 'm':
                unitMs = 60.0 * 1000;
                break;
            case 'h':
                unitMs = 3600.0 * 1000;
                break;
            default:
                return std::nullopt;
        }
        ++i;
        totalMs += value * unitMs;
        if (totalMs > kYearMs) return std::nullopt;
    }
    if (totalMs < 1.0) return std::nullopt;
    return std::chrono::milliseconds(static_cast<long long>(totalMs + 0.5));
}

}  // namespace oskelon
