// The pieces of the stability test that need no child process: CPU lists, time budgets, the
// plan made of the arguments, the memory check, the time spread and the pinning of a thread.
#include "cli/stability_plan.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "cli/cpu_set.h"
#include "cli/duration_argument.h"
#include "cli/run_process.h"
#include "support/temp_store.h"

namespace oskelon::test {
namespace {

using std::chrono::milliseconds;

TEST(CpuList, NumbersAndRangesInAnyOrder) {
    std::string error;
    EXPECT_EQ(parseCpuList("0,2-5", &error), (std::vector<int>{0, 2, 3, 4, 5}));
    EXPECT_EQ(parseCpuList("7", &error), (std::vector<int>{7}));
    EXPECT_EQ(parseCpuList("6,1-2,4", &error), (std::vector<int>{1, 2, 4, 6}));
    EXPECT_EQ(parseCpuList("3-3", &error), (std::vector<int>{3}));
    EXPECT_EQ(parseCpuList("65535", &error), (std::vector<int>{65535}));
}

TEST(CpuList, MalformedListsSayWhy) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "empty"},          {"5-2", "backwards"}, {"1,1", "twice"},
        {"0-3,2", "twice"},     {"a", "no CPU"},      {"0,,1", "no CPU"},
        {" 1", "no CPU"},       {"1,", "no CPU"},     {"-1", "no CPU range"},
        {"1-", "no CPU range"}, {"65536", "no CPU"},  {"1-2-3", "no CPU range"},
        {"+1", "no CPU"},       {"0x1", "no CPU"},
    };
    for (const auto& [text, reason] : cases) {
        std::string error;
        EXPECT_EQ(parseCpuList(text, &error), std::nullopt) << text;
        EXPECT_NE(error.find(reason), std::string::npos) << text << ": " << error;
    }
}

TEST(CpuList, FormatTakesConsecutiveCpusTogether) {
    EXPECT_EQ(formatCpuList({}), "");
    EXPECT_EQ(formatCpuList({3}), "3");
    EXPECT_EQ(formatCpuList({0, 1}), "0,1");
    EXPECT_EQ(formatCpuList({0, 1, 2, 3, 6}), "0-3,6");
    EXPECT_EQ(formatCpuList({0, 2, 3, 4, 8, 9}), "0,2-4,8,9");
    // What the formatter writes, the parser reads back.
    for (const std::vector<int>& cpus : {std::vector<int>{0, 2, 3, 4, 5}, {1, 3, 5, 6, 7, 8}})
        EXPECT_EQ(parseCpuList(formatCpuList(cpus), nullptr), cpus);
}

TEST(DurationArgument, UnitsFractionsAndSums) {
    EXPECT_EQ(parseDuration("45s"), milliseconds(45'000));
    EXPECT_EQ(parseDuration("30m"), milliseconds(1'800'000));
    EXPECT_EQ(parseDuration("2h"), milliseconds(7'200'000));
    EXPECT_EQ(parseDuration("1.5h"), milliseconds(5'400'000));
    EXPECT_EQ(parseDuration("0.25s"), milliseconds(250));
    EXPECT_EQ(parseDuration("1h30m"), milliseconds(5'400'000));
    EXPECT_EQ(parseDuration("1m30s"), milliseconds(90'000));
    EXPECT_EQ(parseDuration("8760h"), milliseconds(8760LL * 3'600'000));
    for (const char* bad : {"", "30", "m", "1m30", "-1m", "0s", "0.0001s", "1.s", ".5m", "1x",
                            "1 m", "1M", "1h-5m", "9000h", "99999999999999s"})
        EXPECT_EQ(parseDuration(bad), std::nullopt) << bad;
}

StabilityPlan plan(const StabilityArguments& arguments, const std::vector<int>& allowed) {
    auto planned = makeStabilityPlan(arguments, 3, allowed);
    if (auto* reason = std::get_if<std::string>(&planned)) {
        ADD_FAILURE() << *reason;
        return {};
    }
    return std::get<StabilityPlan>(planned);
}

std::string refusal(const StabilityArguments& arguments, const std::vector<int>& allowed) {
    auto planned = makeStabilityPlan(arguments, 3, allowed);
    if (auto* reason = std::get_if<std::string>(&planned)) return *reason;
    ADD_FAILURE() << "accepted";
    return {};
}

TEST(StabilityPlan, LoopsDurationAndTheirDefaults) {
    const std::vector<int> allowed = {0, 1, 2, 3};
    StabilityPlan p = plan({.loops = "5"}, allowed);
    EXPECT_EQ(p.sizeIndex, 3);
    EXPECT_EQ(p.loops, 5);
    EXPECT_EQ(p.duration, std::nullopt);
    EXPECT_EQ(p.cpus, std::vector<int>{0});  // one worker on the first allowed CPU
    EXPECT_FALSE(p.keepGoing);

    EXPECT_EQ(plan({.loops = "0"}, allowed).loops, 0);
    // A time budget alone runs until it is spent; with loops, whichever ends first.
    p = plan({.duration = "10m"}, allowed);
    EXPECT_EQ(p.loops, 0);
    EXPECT_EQ(p.duration, milliseconds(600'000));
    p = plan({.loops = "2", .duration = "1h"}, allowed);
    EXPECT_EQ(p.loops, 2);
    EXPECT_EQ(p.duration, milliseconds(3'600'000));
    // Instances alone run once each.
    EXPECT_EQ(plan({.instances = "2"}, allowed).loops, 1);

    for (const char* bad : {"-1", "x", "1.5", "1e3", "9999999999"})
        EXPECT_NE(refusal({.loops = bad}, allowed).find("--loops"), std::string::npos) << bad;
    EXPECT_NE(refusal({.duration = "30"}, allowed).find("--duration"), std::string::npos);
    EXPECT_NE(refusal({.keepGoing = true}, allowed).find("--keep-going"), std::string::npos);
    EXPECT_TRUE(plan({.loops = "1", .keepGoing = true}, allowed).keepGoing);
}

TEST(StabilityPlan, InstancesTakeTheAllowedOrListedCpus) {
    const std::vector<int> allowed = {0, 2, 3, 5, 6};
    EXPECT_EQ(plan({.instances = "all"}, allowed).cpus, allowed);
    EXPECT_EQ(plan({.instances = "3"}, allowed).cpus, (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(plan({.cpus = "6,2-3"}, allowed).cpus, (std::vector<int>{2, 3, 6}));
    EXPECT_EQ(plan({.instances = "all", .cpus = "5-6"}, allowed).cpus, (std::vector<int>{5, 6}));
    EXPECT_EQ(plan({.instances = "1", .cpus = "5-6"}, allowed).cpus, (std::vector<int>{5}));

    EXPECT_NE(refusal({.instances = "6"}, allowed).find("only 5"), std::string::npos);
    EXPECT_NE(refusal({.instances = "3", .cpus = "5,6"}, allowed).find("only 2"),
              std::string::npos);
    for (const char* bad : {"0", "-2", "two", "ALL"})
        EXPECT_NE(refusal({.instances = bad}, allowed).find("--instances"), std::string::npos)
            << bad;
    // A CPU outside the process's mask is refused and the mask is named.
    const std::string outside = refusal({.cpus = "1"}, allowed);
    EXPECT_NE(outside.find("CPU 1 is not available"), std::string::npos) << outside;
    EXPECT_NE(outside.find("0,2,3,5,6"), std::string::npos) << outside;
    EXPECT_NE(refusal({.cpus = "0,0"}, allowed).find("twice"), std::string::npos);
}

TEST(StabilityMemory, WorkingSetIsThirtySixBytesPerTransformPoint) {
    // Six numbers of 2-byte words and three arrays of doubles, each fftLength + 2 long, and the
    // numbers' 8-byte headers: 36 fftLength + 120.
    for (int size = 0; size < 12; ++size) {
        const std::uint64_t fftLength = 4096ull << size;
        EXPECT_EQ(workingSetBytes(size), 36 * fftLength + 120) << size;
    }
}

TEST(StabilityMemory, AvailableMemoryFromMeminfo) {
    TempDir dir;
    {
        std::ofstream out(dir.file("meminfo"));
        out << "MemTotal:       24683748 kB\nMemFree:        21404048 kB\n"
               "MemAvailable:   22810924 kB\nBuffers:          1024 kB\n";
    }
    EXPECT_EQ(availableMemoryBytes(dir.file("meminfo")), 22810924ull * 1024);
    {
        std::ofstream out(dir.file("old"));
        out << "MemTotal: 1000 kB\nMemFree: 500 kB\n";  // kernels before 3.14
    }
    EXPECT_EQ(availableMemoryBytes(dir.file("old")), std::nullopt);
    EXPECT_EQ(availableMemoryBytes(dir.file("missing")), std::nullopt);
    // The system's own file has the line on every supported kernel.
    ASSERT_TRUE(availableMemoryBytes("/proc/meminfo").has_value());
    EXPECT_GT(*availableMemoryBytes("/proc/meminfo"), 0u);
}

TEST(StabilityMemory, ShortageIsExplainedAtTheExactBoundary) {
    const std::uint64_t need = 4 * (36ull * (4096 << 11) + 120) + kMemoryMarginBytes;
    EXPECT_EQ(memoryShortage(4, 11, need), std::nullopt);
    const std::optional<std::string> message = memoryShortage(4, 11, need - 1);
    ASSERT_TRUE(message.has_value());
    for (const char* part : {"not enough memory", "4 instances", "size 11", "32M",
                             "288.0 MiB working set", "--instances"})
        EXPECT_NE(message->find(part), std::string::npos) << part << " in " << *message;
    EXPECT_EQ(memoryShortage(1, 0, kMemoryMarginBytes + 36 * 4096 + 120), std::nullopt);
    EXPECT_TRUE(memoryShortage(1, 0, kMemoryMarginBytes).has_value());
}

TEST(StabilitySummary, TimeSpreadOfOddEvenAndNoRuns) {
    const TimeSpread none = timeSpread({});
    EXPECT_EQ(none.min, 0);
    EXPECT_EQ(none.max, 0);
    const TimeSpread odd = timeSpread({30, 10, 20, 50, 40});
    EXPECT_EQ(odd.min, 10);
    EXPECT_EQ(odd.median, 30);
    EXPECT_EQ(odd.max, 50);
    const TimeSpread even = timeSpread({4, 1, 3, 10});
    EXPECT_EQ(even.min, 1);
    EXPECT_EQ(even.median, 3.5);
    EXPECT_EQ(even.max, 10);
    EXPECT_EQ(timeSpread({7}).median, 7);
}

// A pinned thread reports the CPU it runs on (asked of the system directly, and through
// currentCpu) as that CPU, whichever it is.
TEST(CpuPinning, AThreadRunsOnlyOnItsCpu) {
    const std::vector<int> cpus = processCpus();
    ASSERT_FALSE(cpus.empty());
    EXPECT_EQ(allowedCpus(), cpus);
    for (int cpu : cpus) {
        std::vector<int> seen, reported, mask;
        bool pinned = false;
        std::string error;
        std::jthread worker([&] {
            pinned = pinCurrentThread(cpu, &error);
            mask = currentThreadCpus();
            for (int i = 0; i < 20; ++i) {
                std::this_thread::yield();
                seen.push_back(threadCpu());
                reported.push_back(currentCpu());
            }
        });
        worker.join();
        ASSERT_TRUE(pinned) << error;
        EXPECT_EQ(mask, std::vector<int>{cpu});
        for (int where : seen) EXPECT_EQ(where, cpu);
        for (int where : reported) EXPECT_EQ(where, cpu);
    }
    // The pinning belongs to the thread: this one keeps its mask.
    EXPECT_EQ(processCpus(), cpus);

    std::string error;
    std::jthread([&] { EXPECT_FALSE(pinCurrentThread(65535, &error)); }).join();
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace oskelon::test
