// What a stability test runs: the size, the runs per worker, the time budget and the CPUs, from
// the runner's arguments; and whether the working sets of all workers fit in memory.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace CLI {
class App;
}

namespace oskelon {

// The stability options as given on the command line (empty when not given).
struct StabilityArguments {
    std::string loops{};      // runs per worker, 0 = until stopped
    std::string duration{};   // time budget ("30m")
    std::string instances{};  // worker count or "all"
    std::string cpus{};       // CPU list ("0,2-5")
    bool keepGoing = false;

    // Any stability option makes the run a stability test.
    bool given() const {
        return !loops.empty() || !duration.empty() || !instances.empty() || !cpus.empty() ||
               keepGoing;
    }
};

// Declares --loops, --duration, --instances, --cpus and --keep-going.
void addStabilityOptions(CLI::App& app, StabilityArguments& arguments);

struct StabilityPlan {
    int sizeIndex = 0;
    long long loops = 1;  // runs per worker; 0 = until stopped or the time budget is spent
    std::optional<std::chrono::milliseconds> duration;
    std::vector<int> cpus;  // one worker per CPU, ascending
    bool keepGoing = false;
};

// The plan for the arguments on this process's CPUs (ascending, not empty). Without --loops a
// worker runs once, or with --duration until the budget is spent. Without --cpus the workers
// take the first of the allowed CPUs; --instances all takes every allowed (or listed) CPU.
// Returns the reason for arguments that make no test.
std::variant<StabilityPlan, std::string> makeStabilityPlan(const StabilityArguments& arguments,
                                                           int sizeIndex,
                                                           const std::vector<int>& allowed);

// The bytes of one worker's working set at a size: six numbers and three transform arrays.
std::uint64_t workingSetBytes(int sizeIndex);

// What the system can still give without swapping: MemAvailable of a meminfo file, in bytes.
std::optional<std::uint64_t> availableMemoryBytes(const std::string& meminfoPath);

// Room kept free beside the working sets (stacks, output buffers, the rest of the program).
inline constexpr std::uint64_t kMemoryMarginBytes = 64ull << 20;

// A message for people when `instances` working sets of the size and the margin do not fit in
// `available` bytes; nullopt when they fit.
std::optional<std::string> memoryShortage(int instances, int sizeIndex, std::uint64_t available);

// The fastest, median and slowest of a set of run times (the median of an even count is the
// mean of the middle two). All zero for no times.
struct TimeSpread {
    double min = 0;
    double median = 0;
    double max = 0;
};
TimeSpread timeSpread(std::vector<double> milliseconds);

}  // namespace oskelon
