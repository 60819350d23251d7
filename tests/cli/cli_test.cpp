// The runner as a user meets it: arguments, output, files, records, exit codes and Ctrl+C.
#include <gtest/gtest.h>

#include <filesystem>

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
    EXPECT_EQ(out.back(), "end of calculating");
    EXPECT_EQ(out[out.size() - 2].rfind("Code ", 0), 0u);

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
    std::string codeLine = out[out.size() - 2];
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
