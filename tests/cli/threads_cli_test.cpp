// The runner's --threads: the count it accepts, the same file and digests as one thread with one
// more line, the thread count in the report and the records, Ctrl+C during a run on two threads,
// a thread that cannot start, and the stability test's refusal.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli/run_process.h"
#include "cli/runner_output.h"
#include "cli/thread_argument.h"
#include "support/temp_store.h"

namespace oskelon::test {
namespace {

const std::string kCli = OSKELON_CLI_PATH;

TEST(ThreadArgument, CountsFromOneToTheCapOrAll) {
    std::string error;
    EXPECT_EQ(parseThreadArgument("1", 8, &error), 1);
    EXPECT_EQ(parseThreadArgument("2", 8, &error), 2);
    EXPECT_EQ(parseThreadArgument("1024", 8, &error), 1024);
    EXPECT_EQ(parseThreadArgument("all", 8, &error), 8);
    EXPECT_EQ(parseThreadArgument("all", 0, &error), 1);
    EXPECT_EQ(parseThreadArgument("all", 5000, &error), 1024);
    for (const char* bad : {"0", "1025", "x", "", "-1", "2.5", "ALL", "all2", " 2", "00000002"}) {
        error.clear();
        EXPECT_EQ(parseThreadArgument(bad, 8, &error), std::nullopt) << bad;
        EXPECT_TRUE(contains(error, "--threads")) << bad;
    }
}

TEST(ThreadsCli, ABadCountIsAUsageErrorOfOneLine) {
    TempDir dir;
    for (const char* bad : {"0", "x", "1025", "-2", ""}) {
        const ProcessResult r = runProcess(kCli, {"--size", "0", "--threads", bad}, dir.path());
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_TRUE(contains(r.err, "error")) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("pi.dat")));
}

struct CliRun {
    ProcessResult result;
    std::string piDat;
    nlohmann::json report;
};

CliRun runIn(const TempDir& dir, const std::string& sub, std::vector<std::string> args) {
    std::filesystem::create_directories(dir.path() / sub);
    args.insert(args.end(), {"--json", "report.json"});
    CliRun run{runProcess(kCli, args, dir.path() / sub), {}, {}};
    run.piDat = readFile((dir.path() / sub / "pi.dat").string());
    const std::string json = readFile((dir.path() / sub / "report.json").string());
    if (!json.empty()) run.report = nlohmann::json::parse(json);
    return run;
}

std::vector<std::string> digestsOf(const nlohmann::json& report) {
    std::vector<std::string> digests;
    for (const auto& iteration : report.at("iterations"))
        digests.push_back(iteration.at("digest").get<std::string>());
    return digests;
}

TEST(ThreadsCli, TwoThreadsWriteTheSameFileSayHowManyAndKeepTheirOwnRecord) {
    TempDir dir;
    const CliRun one = runIn(dir, "one", {"--size", "1"});
    const CliRun two = runIn(dir, "two", {"--size", "1", "--threads", "2"});
    ASSERT_EQ(one.result.exitCode, 0) << one.result.err;
    ASSERT_EQ(two.result.exitCode, 0) << two.result.err;
    ASSERT_FALSE(one.piDat.empty());
    EXPECT_TRUE(one.piDat == two.piDat) << "pi.dat differs";
    EXPECT_EQ(digestsOf(two.report), digestsOf(one.report));
    EXPECT_EQ(one.report.at("threads"), 1);
    EXPECT_EQ(two.report.at("threads"), 2);

    const std::vector<std::string> outOne = lines(one.result.out);
    const std::vector<std::string> outTwo = lines(two.result.out);
    const auto digitsOne =
        std::find(outOne.begin(), outOne.end(), "calculating PI in 32768 digits...");
    const auto digitsTwo =
        std::find(outTwo.begin(), outTwo.end(), "calculating PI in 32768 digits...");
    ASSERT_NE(digitsOne, outOne.end());
    ASSERT_NE(digitsTwo, outTwo.end());
    EXPECT_EQ(*(digitsOne + 1), "");
    EXPECT_EQ(*(digitsTwo + 1), "use 2 threads");
    EXPECT_EQ(*(digitsTwo + 2), "");
    for (const std::string& line : outOne) EXPECT_FALSE(contains(line, "thread")) << line;

    // The classic view holds the one-thread run; the two-thread run follows it.
    ProcessResult r = runProcess(kCli, {"records"}, dir.path());
    ASSERT_EQ(r.exitCode, 0);
    const std::vector<std::string> view = lines(r.out);
    const auto header = std::find(view.begin(), view.end(), "<Oskelon multi-threaded result>");
    ASSERT_NE(header, view.end()) << r.out;
    EXPECT_EQ(std::count(view.begin(), header, "<3.2万桁>"), 1);
    ASSERT_GE(view.end() - header, 4);
    EXPECT_EQ(*(header + 2), "<3.2万桁 2 threads>");
    EXPECT_EQ(*(header + 4), "[code]:" + two.report.at("code").get<std::string>());

    r = runProcess(kCli, {"records", "--threads"}, dir.path());
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(lines(r.out),
              std::vector<std::string>{"size 1 (3.2万桁), 2 threads: " +
                                       std::to_string(two.report.at("totalSeconds").get<int>()) +
                                       " s, code " + two.report.at("code").get<std::string>() +
                                       ", os " + two.report.at("os").get<std::string>()});
}

TEST(ThreadsCli, AllIsEveryCpuOfTheProcessAndNoRecordsSaySo) {
    TempDir dir;
    ProcessResult r = runProcess(kCli, {"records", "--threads"}, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(contains(r.out, "no multi-threaded records")) << r.out;

    const int cpus = static_cast<int>(processCpus().size());
    const CliRun all = runIn(dir, "all", {"--size", "0", "--threads", "all"});
    ASSERT_EQ(all.result.exitCode, 0) << all.result.err;
    EXPECT_EQ(all.report.at("threads"), cpus);
    const std::vector<std::string> out = lines(all.result.out);
    EXPECT_EQ(std::count(out.begin(), out.end(), "use " + std::to_string(cpus) + " threads"),
              cpus > 1 ? 1 : 0);
}

TEST(ThreadsCli, CtrlCStopsATwoThreadRunPromptly) {
    TempDir dir;
    bool signalled = false;
    std::chrono::steady_clock::time_point interrupted;
    const ProcessResult r = runProcess(kCli, {"--size", "7", "--threads", "2"}, dir.path(),
                                       [&](ProcessId pid, const std::string& out) {
                                           if (!signalled && contains(out, "loop 2 ")) {
                                               interrupted = std::chrono::steady_clock::now();
                                               interruptProcess(pid);
                                               signalled = true;
                                           }
                                       });
    const double latency =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - interrupted).count();
    ASSERT_TRUE(signalled) << r.out;
    EXPECT_EQ(r.exitCode, 130);
    EXPECT_LT(latency, 0.5);
    EXPECT_EQ(lines(r.out).back(), "stop of calculating");
    EXPECT_FALSE(contains(r.out, "total "));
    EXPECT_FALSE(std::filesystem::exists(dir.file("pi.dat")));
}

TEST(ThreadsCli, AThreadThatCannotStartEndsAsMissingMemory) {
    TempDir dir;
    setEnvironment("OSKELON_FAIL_THREAD_START", "1");
    const ProcessResult failed = runProcess(kCli, {"--size", "0", "--threads", "2"}, dir.path());
    const ProcessResult classic = runProcess(kCli, {"--size", "0"}, dir.path());
    unsetEnvironment("OSKELON_FAIL_THREAD_START");
    EXPECT_EQ(failed.exitCode, 1);
    const std::vector<std::string> out = lines(failed.out);
    const auto first = std::find(out.begin(), out.end(), "initializing...");
    ASSERT_NE(first, out.end()) << failed.out;
    EXPECT_EQ(std::vector<std::string>(first, out.end()),
              (std::vector<std::string>{"initializing...", "Allocation Failure!"}));
    EXPECT_TRUE(contains(failed.err, "OSKELON_FAIL_THREAD_START")) << failed.err;
    EXPECT_EQ(classic.exitCode, 0) << "one thread starts no thread: " << classic.err;
}

TEST(ThreadsCli, TheStabilityTestRefusesThreads) {
    TempDir dir;
    ProcessResult r =
        runProcess(kCli, {"--size", "0", "--threads", "2", "--loops", "1"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    EXPECT_TRUE(contains(r.err, "--instances")) << r.err;
    r = runProcess(kCli, {"--size", "0", "--threads", "1", "--loops", "1"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

}  // namespace
}  // namespace oskelon::test
