// The runner as a user meets it: arguments, output, files, records, exit codes and Ctrl+C.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "calc/pi_verifier.h"
#include "cli/run_process.h"
#include "cli/runner_output.h"
#include "cli/size_argument.h"
#include "support/temp_store.h"

namespace oskelon::test {
namespace {

const std::string kCli = OSKELON_CLI_PATH;

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
                                                 {"extra"},
                                                 {"-s", "0", "--json", ""},
                                                 {"-s", "0", "--result-text", ""}}) {
        r = runProcess(kCli, args, dir.path());
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_TRUE(contains(lines(r.err).at(0), "error")) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    // Nothing was written: no pi.dat and no store.
    EXPECT_FALSE(std::filesystem::exists(dir.file("pi.dat")));
    EXPECT_FALSE(std::filesystem::exists(dir.dataHome()));
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

    // One line: "3.", the digits, "e0" and the platform's text line end.
    const std::string digits = readFile(dir.file("pi.dat"));
    const std::string lineEnd = textModeLineEnd(dir.path() / "line-end");
    EXPECT_EQ(digits.size(), 16384u + 4 + lineEnd.size());
    EXPECT_EQ(digits.substr(0, 12), "3.1415926535");
    EXPECT_EQ(digits.substr(digits.size() - 2 - lineEnd.size()), "e0" + lineEnd);

    // The result text has CR LF line ends on every platform, and no CR of its own besides.
    const std::string text = readFile(dir.file("result.txt"));
    EXPECT_EQ(text.rfind("initializing...\r\nuse memory 144 KB\r\n", 0), 0u);
    EXPECT_TRUE(contains(text, "\r\nwriting pi.dat...\r\nCode "));
    EXPECT_FALSE(contains(text, "\r\r"));
    EXPECT_EQ(withLf(text).find('\r'), std::string::npos);

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
    EXPECT_EQ(view[5].rfind("[os]:", 0), 0u);
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
        runProcess(kCli, {"--size", "7"}, dir.path(), [&](ProcessId pid, const std::string& out) {
            if (!signalled && contains(out, "loop 2 ")) {
                interruptProcess(pid);
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

// A result file carries LF on Linux and CR LF on Windows; verify accepts both on every platform,
// and nothing else after "e0".
TEST(CliContract, VerifyAcceptsBothLineEnds) {
    TempDir dir;
    ASSERT_EQ(runProcess(kCli, {"-s", "1"}, dir.path()).exitCode, 0);
    std::string text = readFile(dir.file("pi.dat"));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    ASSERT_EQ(text.size(), 32768u + 4);
    struct Case {
        const char* name;
        std::string lineEnd;
        int exitCode;
    };
    for (const Case& c :
         {Case{"lf.dat", "\n", 0}, Case{"crlf.dat", "\r\n", 0}, Case{"cr.dat", "\r", 4},
          Case{"crcrlf.dat", "\r\r\n", 4}, Case{"lflf.dat", "\n\n", 4}, Case{"none.dat", "", 4}}) {
        {
            std::ofstream out(dir.file(c.name), std::ios::binary);
            out << text << c.lineEnd;
        }
        const ProcessResult r = runProcess(kCli, {"verify", c.name}, dir.path());
        EXPECT_EQ(r.exitCode, c.exitCode) << c.name << "\n" << r.out << r.err;
        if (c.exitCode == 0)
            EXPECT_TRUE(contains(r.out, "32768 digits, size 1 (32K, 4 digits per word): verified"))
                << r.out;
        else
            EXPECT_TRUE(contains(r.out, "not a valid result")) << c.name << ": " << r.out;
    }
}

}  // namespace
}  // namespace oskelon::test

namespace oskelon::test {
namespace {

// A machine that computes wrongly (an error injected after iteration 4) fails verification:
// the verdict names the iteration and the runner exits with 4.
TEST(CliContract, AWrongResultExitsWithFour) {
    TempDir dir;
    setEnvironment("OSKELON_INJECT_ERROR_AFTER_ITERATION", "4");
    ProcessResult r = runProcess(kCli, {"-s", "0", "--json", "r.json"}, dir.path());
    unsetEnvironment("OSKELON_INJECT_ERROR_AFTER_ITERATION");
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_TRUE(contains(r.out, "WRONG: iteration 4")) << r.out;
    EXPECT_EQ(lines(r.err), std::vector<std::string>{"oskelon-cli: test seam "
                                                     "OSKELON_INJECT_ERROR_AFTER_ITERATION=4 is "
                                                     "active: the result is made wrong after "
                                                     "iteration 4"});
    const nlohmann::json report = nlohmann::json::parse(readFile(dir.file("r.json")));
    EXPECT_EQ(report["verdict"]["status"], "wrong");
    EXPECT_EQ(report["verdict"]["firstWrongIteration"], 4);
    EXPECT_EQ(report["iterations"][3]["checkpoint"], "mismatch");
    EXPECT_EQ(report["iterations"][2]["checkpoint"], "ok");
    EXPECT_EQ(report["exitCode"], 4);
}

}  // namespace
}  // namespace oskelon::test

namespace oskelon::test {
namespace {

// Input a user or a script may give by mistake: one line on the error stream and the documented
// exit code, never an abort, a hang or success.
TEST(CliBadInput, VerifyReadsNoFurtherThanTheLongestResult) {
    TempDir dir;
    {
        std::ofstream out(dir.file("huge.dat"), std::ios::binary);
        out << "3." << std::string(kLongestResultBytes - 2 + 1, '1');
    }
    const ProcessResult r = runProcess(kCli, {"verify", "huge.dat"}, dir.path());
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(lines(r.err), std::vector<std::string>{"oskelon-cli: huge.dat is not a result of "
                                                     "this program: longer than any result "
                                                     "(33554438 bytes)"});
}

TEST(CliBadInput, VerifyOfADirectoryIsAnUnreadableFile) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "results");
    const ProcessResult r = runProcess(kCli, {"verify", "results"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(lines(r.err),
              std::vector<std::string>{"oskelon-cli: cannot read results: it is a directory"});
}

TEST(CliBadInput, AnUnknownTransformPathIsSaidOnce) {
    TempDir dir;
    setEnvironment("OSKELON_FFT_PATH", "avx3");
    const ProcessResult r = runProcess(kCli, {"--cpu"}, dir.path());
    unsetEnvironment("OSKELON_FFT_PATH");
    EXPECT_EQ(r.exitCode, 0);
    ASSERT_TRUE(startsWith(r.out, "transform path: ")) << r.out;
    const std::string used = lines(r.out).at(0).substr(16);
    EXPECT_EQ(lines(r.err), std::vector<std::string>{"oskelon-cli: OSKELON_FFT_PATH=avx3 is not "
                                                     "a transform path (scalar, sse2, avx2, "
                                                     "avx512); using " +
                                                     used});
}

// The lines are part of the run's result: lost, they fail it, while pi.dat and the record follow
// their own rules. Windows has no device that is always full.
TEST(CliBadInput, AStandardOutputThatCannotBeWrittenFailsTheRun) {
#ifdef _WIN32
    GTEST_SKIP() << "needs /dev/full";
#else
    TempDir dir;
    const ProcessResult r =
        runProcess("/bin/sh", {"-c", "exec \"$0\" -s 0 >/dev/full", kCli}, dir.path());
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(lines(r.err), std::vector<std::string>{"oskelon-cli: cannot write to standard "
                                                     "output: No space left on device"});
    EXPECT_EQ(runProcess(kCli, {"verify"}, dir.path()).exitCode, 0);
    EXPECT_TRUE(contains(runProcess(kCli, {"records"}, dir.path()).out, "<1.6万桁>"));
#endif
}

}  // namespace
}  // namespace oskelon::test
