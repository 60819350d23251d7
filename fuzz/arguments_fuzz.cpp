// Fuzz target: the runner's own argument parsers (sizes, time budgets, CPU lists). The first
// byte picks the parser. None may crash, and what they accept must hold together: a size is an
// index 0..11, a budget lies between a millisecond and a year, a CPU list is ascending without
// repeats and reads back from its formatted text.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/cpu_set.h"
#include "cli/duration_argument.h"
#include "cli/size_argument.h"

namespace {
void check(bool condition) {
    if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
        case 0: {
            const auto index = oskelon::parseSizeArgument(text);
            if (index) {
                check(*index >= 0 && *index <= 11);
                check(oskelon::parseSizeArgument(oskelon::sizeCommonName(*index)) == index);
            }
            break;
        }
        case 1: {
            const auto budget = oskelon::parseDuration(text);
            if (budget) {
                check(budget->count() >= 1);
                check(*budget <= std::chrono::hours(24 * 366));
            }
            break;
        }
        default: {
            std::string error;
            const auto cpus = oskelon::parseCpuList(text, &error);
            if (cpus) {
                check(!cpus->empty());
                for (std::size_t i = 1; i < cpus->size(); ++i) check((*cpus)[i - 1] < (*cpus)[i]);
                const auto again = oskelon::parseCpuList(oskelon::formatCpuList(*cpus), &error);
                check(again && *again == *cpus);
            } else {
                check(!error.empty());
            }
            break;
        }
    }
    return 0;
}
