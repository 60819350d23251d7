// The runner as a user meets it: arguments, output, files, records, exit codes and Ctrl+C.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "calc/temp_dir.h"
#include "cli/run_process.h"
#include "cli/size_argument.h"

namespace oskelon::test {
namespace {

const std::string kCli = OSKELON_CLI_PATH;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            out.push_back(text.substr(start));
            break;
        }
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CliSizeArgument, IndicesDisplayNamesAndCommonNames) {
    EXPECT_EQ(parseSizeArgument("0"), 0);
    EXPECT_EQ(parseSizeArgument("11"), 11);
    EXPECT_EQ(parseSizeArgument("104万桁"), 6);
    EXPECT_EQ(parseSizeArgument("3355万桁"), 11);
    EXPECT_EQ(parseSizeArgument("1.6万桁"), 0);
    EXPECT_EQ(parseSizeArgument("16K"), 0);
    EXPECT_EQ(parseSizeArgument("512k"), 5);
    EXPECT_EQ(parseSizeArgument("1M"), 6);
    EXPECT_EQ(parseSizeArgument("32m"), 11);
    for (const char* bad : {"12", "-1", "", "1G", "04M", "1 M", "104", "6.0", "100"})
        EXPECT_EQ(parseSizeArgument(bad), std::nullopt) << bad;
    EXPECT_EQ(sizeCommonName(6), "1M");
}

TEST(Cli, HelpVersionAndBadArguments) {
    TempDir dir;
    ProcessResult r = runProcess(kCli, {"--help"}, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(contains(r.out, "--size"));
    EXPECT_TRUE(contains(r.out, "records"));

    r = runProcess(kCli, {"--version"}, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(contains(r.out, "Oskelon Version 1.2"));

    for (const std::vector<std::string>& args : {std::vector<std::string>{"--size", "12"},
                                                 {"--size", "huge"},
                                                 {"--frobnicate"},
                                                 {"--size"},
                                                 {"extra"}}) {
        r = runProcess(kCli, args, dir.path());
        EXPECT_EQ(r.exitCode, 2) << args[0];
        EXPECT_TRUE(contains(lines(r.err).at(0), "error")) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    // Nothing was written: no pi.dat and no store.
    EXPECT_FALSE(std::filesystem::exists(dir.file("pi.dat")));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "data"));
}

TEST(Cli, RunWritesDigitsCodeRecordAndResultText) {
    TempDir dir;
    ProcessResult r =
        runProcess(kCli, {"--size", "16K", "--result-text", "result.txt"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> out = lines(r.out);
    // A fresh store: the version message first, then the job's lines.
    ASSERT_GE(out.size(), 20u);
    EXPECT_TRUE(contains(out[0], "Version1.0から1.1へのアップで"));
    const auto first = std::find(out.begin(), out.end(), "initializing...");
    ASSERT_NE(first, out.end());
    EXPECT_EQ(*(first + 1), "use memory 144 KB");
    EXPECT_EQ(*(first + 2), "calculating PI in 16384 digits...");
    // The job's last lines, then the runner's verdict and time.
    ASSERT_EQ(out[out.size() - 3], "end of calculating");
    EXPECT_EQ(out[out.size() - 4].rfind("Code ", 0), 0u);
    EXPECT_EQ(out[out.size() - 2], "verified: 16368 of 16384 digits");
    EXPECT_EQ(out.back().rfind("time: ", 0), 0u);

    const std::string digits = readFile(dir.file("pi.dat"));
    EXPECT_EQ(digits.size(), 16384u + 5);
    EXPECT_EQ(digits.substr(0, 12), "3.1415926535");

    const std::string text = readFile(dir.file("result.txt"));
    EXPECT_EQ(text.rfind("initializing...\r\nuse memory 144 KB\r\n", 0), 0u);
    EXPECT_TRUE(contains(text, "\r\nwriting pi.dat...\r\nCode "));

    // The record of the size, in the records view; the message does not come again.
    r = runProcess(kCli, {"records"}, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    const std::vector<std::string> view = lines(r.out);
    ASSERT_GE(view.size(), 7u);
    EXPECT_EQ(view[0], "<Oskelon result>");
    EXPECT_EQ(view[1], "");
    EXPECT_EQ(view[2], "<1.6万桁>");
    EXPECT_EQ(view[3].rfind("[total]:", 0), 0u);
    std::string codeLine = out[out.size() - 4];
    EXPECT_EQ(view[4], codeLine.replace(0, 5, "[code]:"));
    EXPECT_EQ(view[5].rfind("[os]:Linux Ver ", 0), 0u);
    EXPECT_EQ(view[7], "未計算 : [3.2万桁]");
}

TEST(Cli, UnwritableOutputIsReportedAndStillRecorded) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "pi.dat");  // a directory of that name
    ProcessResult r = runProcess(kCli, {"-s", "0"}, dir.path());
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(contains(r.err, "pi.dat")) << r.err;
    EXPECT_TRUE(contains(r.out, "Code ")) << r.out;
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "pi.dat"));
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos);
    r = runProcess(kCli, {"records"}, dir.path());
    EXPECT_TRUE(contains(r.out, "<1.6万桁>"));
}

TEST(Cli, CtrlCTakesTheStopPath) {
    TempDir dir;
    bool signalled = false;
    ProcessResult r =
        runProcess(kCli, {"--size", "7"}, dir.path(), [&](pid_t pid, const std::string& out) {
            if (!signalled && contains(out, "loop 2 ")) {
                kill(pid, SIGINT);
                signalled = true;
            }
        });
    ASSERT_TRUE(signalled) << r.out;
    EXPECT_EQ(r.exitCode, 130);
    const std::vector<std::string> out = lines(r.out);
    ASSERT_GE(out.size(), 4u);
    EXPECT_EQ(out[out.size() - 4], "計算を中断します");
    EXPECT_EQ(out[out.size() - 3], "大きな桁数の計算を中断する場合");
    EXPECT_EQ(out[out.size() - 2], "中断処理に時間がかかります");
    EXPECT_EQ(out.back(), "stop of calculating");
    EXPECT_FALSE(contains(r.out, "total "));
    EXPECT_FALSE(std::filesystem::exists(dir.file("pi.dat")));
    r = runProcess(kCli, {"records"}, dir.path());
    EXPECT_TRUE(contains(r.out, "未計算 : [209万桁]"));
}

}  // namespace
}  // namespace oskelon::test

namespace oskelon::test {
namespace {

TEST(CliContract, JsonReportAndJsonLinesHoldConsistentNumbers) {
    TempDir dir;
    ProcessResult r =
        runProcess(kCli, {"--size", "1", "--json", "report.json", "--json-lines"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<nlohmann::json> events;
    for (const std::string& line : lines(r.out)) {
        ASSERT_TRUE(nlohmann::json::accept(line)) << line;
        events.push_back(nlohmann::json::parse(line));
    }
    int iterations = 0, loopLines = 0;
    double lastMs = -1;
    for (const auto& e : events) {
        ASSERT_TRUE(e.contains("event"));
        if (e["event"] == "iteration") {
            ++iterations;
            EXPECT_EQ(e["number"].get<int>(), iterations);
            EXPECT_GE(e["milliseconds"].get<double>(), lastMs);
            lastMs = e["milliseconds"].get<double>();
            EXPECT_EQ(e["checkpoint"], "ok");
        }
        if (e["event"] == "line" && e["text"].get<std::string>().rfind("loop ", 0) == 0)
            ++loopLines;
    }
    EXPECT_EQ(iterations, 11);
    EXPECT_EQ(loopLines, 11);
    ASSERT_EQ(events.back()["event"], "result");

    const nlohmann::json report = nlohmann::json::parse(readFile(dir.file("report.json")));
    EXPECT_EQ(report, events.back()["report"]);
    EXPECT_EQ(report["digits"], 32768);
    EXPECT_EQ(report["digitsPerWord"], 4);
    EXPECT_EQ(report["size"]["index"], 1);
    EXPECT_EQ(report["size"]["name"], "32K");
    EXPECT_EQ(report["iterations"].size(), 11u);
    EXPECT_GE(report["totalMilliseconds"].get<double>(),
              report["iterations"].back()["milliseconds"].get<double>());
    // The whole seconds come from a second clock of whole-second resolution.
    EXPECT_NEAR(report["totalSeconds"].get<double>(),
                report["totalMilliseconds"].get<double>() / 1000.0, 1.0);
    EXPECT_EQ(report["verdict"]["status"], "verified");
    EXPECT_EQ(report["verdict"]["checkedDigits"], 32768 - 16);
    EXPECT_EQ(report["exitCode"], 0);
    EXPECT_TRUE(report["clockCheck"]["verified"].is_boolean());
    EXPECT_FALSE(report["code"].get<std::string>().empty());
    EXPECT_FALSE(report["os"].get<std::string>().empty());
    for (const char* path : {"scalar", "sse2", "avx2", "avx512"})
        if (report["transformPath"] == path) return;
    ADD_FAILURE() << "unknown transform path " << report["transformPath"];
}

TEST(CliContract, VerifySaysSizeDigitsAndVerdict) {
    TempDir dir;
    ASSERT_EQ(runProcess(kCli, {"-s", "0"}, dir.path()).exitCode, 0);
    ProcessResult r = runProcess(kCli, {"verify"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "16384 digits")) << r.out;
    EXPECT_TRUE(contains(r.out, "size 0")) << r.out;
    EXPECT_TRUE(contains(r.out, "verified")) << r.out;

    std::string text = readFile(dir.file("pi.dat"));
    text[2 + 9999] = text[2 + 9999] == '1' ? '2' : '1';
    {
        std::ofstream out(dir.file("bad.dat"), std::ios::binary);
        out << text;
    }
    r = runProcess(kCli, {"verify", "bad.dat"}, dir.path());
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_TRUE(contains(r.out, "WRONG")) << r.out;
    EXPECT_TRUE(contains(r.out, "9217-10240")) << r.out;  // the block of digit 10000

    r = runProcess(kCli, {"verify", "missing.dat"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(r.err.empty());
}

}  // namespace
}  // namespace oskelon::test

namespace oskelon::test {
namespace {

// A machine that computes wrongly (an error injected after iteration 4) fails verification:
// the verdict names the iteration and the runner exits with 4.
TEST(CliContract, AWrongResultExitsWithFour) {
    TempDir dir;
    setenv("OSKELON_INJECT_ERROR_AFTER_ITERATION", "4", 1);
    ProcessResult r = runProcess(kCli, {"-s", "0", "--json", "r.json"}, dir.path());
    unsetenv("OSKELON_INJECT_ERROR_AFTER_ITERATION");
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_TRUE(contains(r.out, "WRONG: iteration 4")) << r.out;
    const nlohmann::json report = nlohmann::json::parse(readFile(dir.file("r.json")));
    EXPECT_EQ(report["verdict"]["status"], "wrong");
    EXPECT_EQ(report["verdict"]["firstWrongIteration"], 4);
    EXPECT_EQ(report["iterations"][3]["checkpoint"], "mismatch");
    EXPECT_EQ(report["iterations"][2]["checkpoint"], "ok");
    EXPECT_EQ(report["exitCode"], 4);
}

}  // namespace
}  // namespace oskelon::test
