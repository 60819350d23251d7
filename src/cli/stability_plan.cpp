#include "cli/stability_plan.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "calc/sizes.h"
#include "calc/working_set.h"
#include "cli/cpu_set.h"
#include "cli/duration_argument.h"
#include "cli/size_argument.h"
#include "mp/mp_number.h"

namespace oskelon {
namespace {

// A count of at most nine digits; nullopt for anything else.
std::optional<long long> parseCount(const std::string& text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoll(text);
}

std::string mebibytes(std::uint64_t bytes) {
    char text[40];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
    return text;
}

}  // namespace

void addStabilityOptions(CLI::App& app, StabilityArguments& arguments) {
    const char* group = "Stability test";
    app.add_option("--loops", arguments.loops,
                   "run the size N times on every worker (0: until stopped); every run is "
                   "verified and the first wrong result ends the test")
        ->type_name("N")
        ->group(group);
    app.add_option("--duration", arguments.duration,
                   "run until the time budget is spent: a number with s, m or h (30m, 1.5h, "
                   "1h30m)")
        ->type_name("TIME")
        ->group(group);
    app.add_option("--instances", arguments.instances,
                   "run N workers at once, each pinned to its own logical CPU, or \"all\" for "
                   "one per CPU")
        ->type_name("N|all")
        ->group(group);
    app.add_option("--cpus", arguments.cpus,
                   "the CPUs of the workers, e.g. 0,2-5 (default: the first allowed CPUs)")
        ->type_name("LIST")
        ->group(group);
    app.add_flag("--keep-going", arguments.keepGoing,
                 "a wrong result stops only its own worker, not the others")
        ->group(group);
}

std::variant<StabilityPlan, std::string> makeStabilityPlan(const StabilityArguments& arguments,
                                                           int sizeIndex,
                                                           const std::vector<int>& allowed) {
    if (arguments.loops.empty() && arguments.duration.empty() && arguments.instances.empty() &&
        arguments.cpus.empty())
        return std::string("--keep-going needs --loops, --duration, --instances or --cpus");
    if (allowed.empty()) return std::string("no CPU is available to this process");

    StabilityPlan plan;
    plan.sizeIndex = sizeIndex;
    plan.keepGoing = arguments.keepGoing;
    if (!arguments.duration.empty()) {
        plan.duration = parseDuration(arguments.duration);
        if (!plan.duration)
            return "bad --duration \"" + arguments.duration +
                   "\": give a number with its unit s, m or h, such as 90s, 30m or 1h30m";
    }
    if (!arguments.loops.empty()) {
        const std::optional<long long> loops = parseCount(arguments.loops);
        if (!loops) return "bad --loops \"" + arguments.loops + "\": give a count, 0 for no limit";
        plan.loops = *loops;
    } else {
        plan.loops = plan.duration ? 0 : 1;
    }

    std::vector<int> pool = allowed;
    if (!arguments.cpus.empty()) {
        std::string reason;
        const std::optional<std::vector<int>> listed = parseCpuList(arguments.cpus, &reason);
        if (!listed) return "bad --cpus \"" + arguments.cpus + "\": " + reason;
        for (int cpu : *listed) {
            if (!std::binary_search(allowed.begin(), allowed.end(), cpu))
                return "CPU " + std::to_string(cpu) +
                       " is not available to this process (available: " + formatCpuList(allowed) +
                       ")";
        }
        pool = *listed;
    }

    std::size_t instances = arguments.cpus.empty() ? 1 : pool.size();
    if (arguments.instances == "all") {
        instances = pool.size();
    } else if (!arguments.instances.empty()) {
        const std::optional<long long> count = parseCount(arguments.instances);
        if (!count || *count == 0)
            return "bad --instances \"" + arguments.instances + "\": give a count or \"all\"";
        if (static_cast<unsigned long long>(*count) > pool.size())
            return std::to_string(*count) + " instances need as many CPUs, but only " +
                   std::to_string(pool.size()) + " (" + formatCpuList(pool) + ") are available";
        instances = static_cast<std::size_t>(*count);
    }
    plan.cpus.assign(pool.begin(), pool.begin() + static_cast<std::ptrdiff_t>(instances));
    return plan;
}

std::uint64_t workingSetBytes(int sizeIndex) {
    // The job's transform length is the requested length, a power of two already.
    const std::uint64_t words = static_cast<std::uint64_t>(requestedLength(sizeIndex)) + 2;
    return WorkingSet::kNumbers * (sizeof(MpNumber) + 2 * words) +
           WorkingSet::kArrays * sizeof(double) * words;
}

std::optional<std::uint64_t> availableMemoryBytes(const std::string& meminfoPath) {
    std::ifstream in(meminfoPath);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("MemAvailable:", 0) != 0) continue;
        std::istringstream fields(line.substr(13));
        unsigned long long value = 0;
        std::string unit;
        if (!(fields >> value)) return std::nullopt;
        fields >> unit;
        if (unit == "kB") return static_cast<std::uint64_t>(value) * 1024;
        if (unit.empty()) return static_cast<std::uint64_t>(value);
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> memoryShortage(int instances, int sizeIndex, std::uint64_t available) {
    const std::uint64_t each = workingSetBytes(sizeIndex);
    const std::uint64_t needed = static_cast<std::uint64_t>(instances) * each + kMemoryMarginBytes;
    if (needed <= available) return std::nullopt;
    return "not enough memory for " + std::to_string(instances) +
           (instances == 1 ? " instance" : " instances") + " of size " + std::to_string(sizeIndex) +
           " (" + sizeCommonName(sizeIndex) + " digits): " + std::to_string(instances) + " x " +
           mebibytes(each) + " working set + " + mebibytes(kMemoryMarginBytes) +
           " margin = " + mebibytes(needed) + ", but only " + mebibytes(available) +
           " are available; run fewer instances (--instances) or a smaller size";
}

TimeSpread timeSpread(std::vector<double> milliseconds) {
    TimeSpread spread;
    if (milliseconds.empty()) return spread;
    std::sort(milliseconds.begin(), milliseconds.end());
    const std::size_t n = milliseconds.size();
    spread.min = milliseconds.front();
    spread.max = milliseconds.back();
    spread.median =
        n % 2 == 1 ? milliseconds[n / 2] : (milliseconds[n / 2 - 1] + milliseconds[n / 2]) / 2;
    return spread;
}

}  // namespace oskelon
