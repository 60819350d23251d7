// The calculation job end to end against a recording host: its exact log, its failure and stop
// paths, and its digits against MPFR's pi.
#include "calc/calc_job.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <random>

#include "records/record_store.h"
#include "records/registry_key.h"
#include "support/fresh_store.h"
#include "support/recording_host.h"
#include "support/stop_during_run.h"
#include "support/temp_store.h"

namespace oskelon::test {
namespace {

OsVersion windows98() {
    OsVersion v;
    v.major = 4;
    v.minor = 10;
    v.build = 1998;
    v.family = 1;
    return v;
}

JobOptions optionsIn(const TempDir& dir) {
    JobOptions options;
    options.outputFile = dir.file("pi.dat");
    options.osVersion = windows98;
    options.clock = [] { return std::time_t{1000000}; };
    return options;
}

// The first `digits` decimal digits of pi after the point, from MPFR.
std::string piDigits(int digits) {
    mpfr_t pi;
    mpfr_init2(pi, static_cast<mpfr_prec_t>(digits * 3.33) + 128);
    mpfr_const_pi(pi, MPFR_RNDN);
    std::string text(static_cast<std::size_t>(digits) + 16, '\0');
    mpfr_exp_t exponent = 0;
    mpfr_get_str(text.data(), &exponent, 10, static_cast<std::size_t>(digits) + 10, pi, MPFR_RNDZ);
    mpfr_clear(pi);
    return text.substr(1, static_cast<std::size_t>(digits));  // drop the leading 3
}

TEST(CalcJob, SizeZeroWritesTheExactLogCodeFileAndRecord) {
    TempDir dir;
    resetStore();
    RecordingHost host(0);
    StopToken stop;
    CalcJob job(host, stop, optionsIn(dir));
    ASSERT_EQ(job.run(), kJobComplete);

    std::vector<std::string> expectedList = {"initializing...", "use memory 144 KB",
                                             "calculating PI in 16384 digits...", "",
                                             "AGM iteration past 0 sec"};
    std::string expectedText =
        "initializing...\r\nuse memory 144 KB\r\ncalculating PI in 16384 digits...\r\n\r\n"
        "AGM iteration \tpast 0 sec\r\n";
    for (int n = 1; n <= 10; ++n) {
        expectedList.push_back("loop " + std::to_string(n) + std::string(n < 10 ? 11 : 9, ' ') +
                               "past 0 sec");
        expectedText += "loop " + std::to_string(n) + "\t\tpast 0 sec\r\n";
    }
    // Windows 98 data, size 0, 0 seconds: lanes 10, 1998, 0, 1998.
    expectedList.insert(expectedList.end(),
                        {"", "total 0 sec.", "writing pi.dat...", "Code CE07CE0A"});
    expectedText += "\r\ntotal 0 sec.\r\nwriting pi.dat...\r\nCode CE07CE0A\r\n";
    EXPECT_EQ(host.list, expectedList);
    EXPECT_EQ(host.resultText, expectedText);

    // The buttons and the final message, in order, after the last line.
    const std::vector<std::string> tail(host.calls.end() - 5, host.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"disable:Stop", "enable:Copy", "enable:Calc",
                                              "enable:Record", "message:end of calculating"}));
    EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "enable:Stop"), host.calls.end());
    EXPECT_TRUE(host.workingSet().empty());

    const std::string file = readFile(dir.file("pi.dat"));
    ASSERT_EQ(file.size(), 2 + 16384 + 3u);
    EXPECT_EQ(file.substr(0, 2), "3.");
    EXPECT_EQ(file.substr(file.size() - 3), "e0\n");
    const std::string digits = file.substr(2, 16384);
    const std::string truth = piDigits(16384);
    EXPECT_EQ(digits.substr(0, 16370), truth.substr(0, 16370));

    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    char code[10], os[256];
    EXPECT_EQ(key.ReadDword("1.6s", 7), 0u);
    EXPECT_STREQ(key.ReadString("1.6c", code, sizeof code, nullptr), "CE07CE0A");
    EXPECT_STREQ(key.ReadString("1.6o", os, sizeof os, nullptr), "Windows98 Ver 4.10 Build 1998");
}

// A failing allocation at any of the nine slots: only the start line, the message, every slot
// empty, the buttons as after a normal end, exit code 1.
TEST(CalcJob, AllocationFailureAtEachSlot) {
    TempDir dir;
    for (int failing = 0; failing < WorkingSet::kSlots; ++failing) {
        RecordingHost host(3);
        int obtained = 0;
        host.workingSet().setAllocator([&](int slot, std::size_t bytes) -> WorkingSet::Block {
            if (slot == failing) return nullptr;
            ++obtained;
            return WorkingSet::allocateFromSystem(slot, bytes);
        });
        StopToken stop;
        CalcJob job(host, stop, optionsIn(dir));
        EXPECT_EQ(job.run(), kJobAllocationFailure) << failing;
        EXPECT_EQ(obtained, failing);
        EXPECT_EQ(host.list, std::vector<std::string>{"initializing..."});
        EXPECT_EQ(host.resultText, "initializing...\r\n");
        const std::vector<std::string> tail(host.calls.end() - 5, host.calls.end());
        EXPECT_EQ(tail,
                  (std::vector<std::string>{"disable:Stop", "enable:Copy", "enable:Calc",
                                            "enable:Record", "appMessage:Allocation Failure!"}));
        EXPECT_TRUE(host.workingSet().empty()) << failing;
        EXPECT_FALSE(std::filesystem::exists(dir.file("pi.dat")));
    }
}

// A stop requested at the k-th host call, for every k of a size-0 run: no further call, and
// "pi.dat" and the record exist only when the stop came after they were written.
TEST(CalcJob, StopAtEveryHostCallLeavesNoFurtherTrace) {
    TempDir dir;
    resetStore();
    std::filesystem::create_directories(dir.path() / "out");
    JobOptions options = optionsIn(dir);
    options.outputFile = (dir.path() / "out" / "pi.dat").string();

    RecordingHost complete(0);
    {
        StopToken stop;
        CalcJob job(complete, stop, options);
        ASSERT_EQ(job.run(), kJobComplete);
    }
    const int totalCalls = static_cast<int>(complete.calls.size());
    auto callNumber = [&](const std::string& call) {
        const auto it = std::find(complete.calls.begin(), complete.calls.end(), call);
        return static_cast<int>(it - complete.calls.begin()) + 1;
    };
    const int fileWritten = callNumber("text:writing pi.dat...\r\n");  // committed after it
    const int recordWritten = callNumber("text:Code CE07CE0A\r\n");    // updated after it
    ASSERT_LT(fileWritten, recordWritten);
    ASSERT_LT(recordWritten, totalCalls);

    for (int k = 1; k < totalCalls; ++k) {
        std::filesystem::remove(options.outputFile);
        {
            RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
            key.WriteDword("1.6s", noRecord);
        }
        RecordingHost host(0);
        StopToken stop;
        host.afterCall = [&](int count) {
            if (count == k) stop.requestStop();
        };
        CalcJob job(host, stop, options);
        EXPECT_EQ(job.run(), kJobStopped) << "k=" << k;
        EXPECT_EQ(static_cast<int>(host.calls.size()), k) << "a call after the stop, k=" << k;
        EXPECT_EQ(std::filesystem::exists(options.outputFile), k > fileWritten) << "k=" << k;
        int entries = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "out")) {
            (void)entry;
            ++entries;
        }
        EXPECT_EQ(entries, k > fileWritten ? 1 : 0) << "a temporary file is left, k=" << k;
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        EXPECT_EQ(key.ReadDword("1.6s", 0) != noRecord, k > recordWritten) << "k=" << k;
        host.workingSet().releaseAll();
    }
}

// A stop from another thread at random moments ends the job within half a second, inside the
// arithmetic as well as between operations.
TEST(CalcJob, StopFromAnotherThreadEndsTheJobPromptly) {
    TempDir dir;
    std::mt19937 rng(42);
    for (int sizeIndex : {0, 2, 4, 5}) {
        for (int trial = 0; trial < 4; ++trial) {
            RecordingHost host(sizeIndex);
            StopToken stop;
            JobOptions options = optionsIn(dir);
            CalcJob job(host, stop, options);
            const StopOutcome out = stopDuringRun(
                job, stop, host, std::chrono::milliseconds(rng() % (40 << sizeIndex)));
            EXPECT_LT(out.latency, 0.5) << "size " << sizeIndex;
            // At most the call in progress when the stop came may still arrive.
            EXPECT_TRUE(out.quietAfterStop) << "size " << sizeIndex;
            host.workingSet().releaseAll();
        }
    }
}

// Every run is verified: its digits against the reference, its iterations against the
// known-good checkpoints. An error injected after one iteration is reported at that iteration,
// the run still ends normally, and its time never becomes a record.
TEST(CalcJob, VerdictNamesTheFirstWrongIteration) {
    TempDir dir;
    resetStore();
    {
        RecordingHost host(0);
        StopToken stop;
        CalcJob job(host, stop, optionsIn(dir));
        ASSERT_EQ(job.run(), kJobComplete);
        EXPECT_TRUE(job.verified()) << job.verdictText();
        EXPECT_TRUE(job.checkpointsKnown());
        ASSERT_EQ(job.iterations().size(), 10u);
        for (const IterationRecord& r : job.iterations()) {
            EXPECT_TRUE(r.checkpointKnown);
            EXPECT_TRUE(r.checkpointMatches) << r.number;
        }
        EXPECT_EQ(job.digitsVerdict().checkedDigits, 16384 - 16);
        EXPECT_EQ(job.verdictText(), "verified: 16368 of 16384 digits");
        EXPECT_GT(job.clockCheck().steadyMs, 0.0);
    }
    {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        key.WriteDword("3.2s", noRecord);
    }
    for (int wrongAfter : {1, 3, 11}) {
        RecordingHost host(1);
        StopToken stop;
        JobOptions options = optionsIn(dir);
        options.corruptAfterIteration = wrongAfter;
        CalcJob job(host, stop, options);
        ASSERT_EQ(job.run(), kJobComplete);
        EXPECT_FALSE(job.verified());
        EXPECT_EQ(job.firstWrongIteration(), wrongAfter);
        EXPECT_EQ(job.verdictText().rfind("WRONG: iteration " + std::to_string(wrongAfter), 0), 0u)
            << job.verdictText();
        // The code line is shown as always.
        EXPECT_EQ(host.list.back().rfind("Code ", 0), 0u);
    }
    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    EXPECT_EQ(key.ReadDword("3.2s", 0), noRecord);
}

// pi.dat against MPFR's pi: every digit but the last few agrees, at sizes 0 to 6.
TEST(CalcJob, DigitsAgreeWithMpfr) {
    TempDir dir;
    for (int sizeIndex = 0; sizeIndex <= 6; ++sizeIndex) {
        RecordingHost host(sizeIndex);
        StopToken stop;
        CalcJob job(host, stop, optionsIn(dir));
        ASSERT_EQ(job.run(), kJobComplete);
        ASSERT_EQ(job.digitsPerWord(), 4);
        EXPECT_EQ(std::count(host.list.begin(), host.list.end(), std::string("")), 2);
        EXPECT_EQ(std::count_if(host.list.begin(), host.list.end(),
                                [](const std::string& l) { return l.rfind("loop ", 0) == 0; }),
                  CalcJob::expectedIterations(sizeIndex));
        EXPECT_GT(job.totalMilliseconds(), 0.0);
        const int digits = 16384 << sizeIndex;
        const std::string file = readFile(dir.file("pi.dat"));
        ASSERT_EQ(file.size(), static_cast<std::size_t>(digits) + 5) << sizeIndex;
        const std::string ours = file.substr(2, static_cast<std::size_t>(digits));
        const std::string truth = piDigits(digits);
        std::size_t agree = 0;
        while (agree < ours.size() && ours[agree] == truth[agree]) ++agree;
        const std::size_t trailing = ours.size() - agree;
        std::printf("size %d: %d digits, the last %zu differ\n", sizeIndex, digits, trailing);
        EXPECT_LE(trailing, 8u) << "size " << sizeIndex;
    }
}

}  // namespace
}  // namespace oskelon::test
