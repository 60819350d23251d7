// The job on several threads: the same bits and checkpoint digests as the one-thread run, one
// more log line, the pool in place for the arithmetic, a thread that cannot start taken as
// missing memory, a prompt stop, and records kept apart from the classic ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <random>
#include <set>
#include <system_error>

#include "calc/calc_job.h"
#include "records/record_store.h"
#include "records/registry_key.h"
#include "support/fresh_store.h"
#include "support/linux_version.h"
#include "support/recording_host.h"
#include "support/stop_during_run.h"
#include "support/temp_store.h"

namespace oskelon::test {
namespace {

// Every run's clock reads t0 first and then t0 + seconds: the total is `seconds`.
JobOptions optionsIn(const TempDir& dir, const std::string& file, int threads,
                     std::time_t seconds = 0) {
    JobOptions options;
    options.outputFile = dir.file(file);
    options.osVersion = linuxVersion;
    options.threads = threads;
    auto calls = std::make_shared<int>(0);
    options.clock = [calls, seconds] {
        return std::time_t{1000000} + ((*calls)++ == 0 ? 0 : seconds);
    };
    return options;
}

struct JobRun {
    unsigned exit = 0;
    int threads = 0;
    std::vector<std::string> list;
    std::string text;
    std::string piDat;
    std::vector<std::uint64_t> digests;
};

JobRun runJob(int sizeIndex, JobOptions options) {
    RecordingHost host(sizeIndex);
    StopToken stop;
    const std::string file = options.outputFile;
    CalcJob job(host, stop, std::move(options));
    JobRun run;
    run.exit = job.run();
    run.threads = job.threads();
    run.list = host.list;
    run.text = host.resultText;
    run.piDat = readFile(file);
    for (const IterationRecord& r : job.iterations()) run.digests.push_back(r.digest);
    EXPECT_TRUE(host.workingSet().empty());
    return run;
}

// The one-thread log with the thread line after the digits line, where the blank line that ends
// the plan moves below it.
void expectOneThreadLogPlusThreadLine(const JobRun& one, const JobRun& many, int threads) {
    const std::string threadLine = "use " + std::to_string(threads) + " threads";
    std::vector<std::string> list = one.list;
    ASSERT_GE(list.size(), 3u);
    ASSERT_EQ(list[2].rfind("calculating PI in ", 0), 0u);
    list.insert(list.begin() + 3, threadLine);
    EXPECT_EQ(many.list, list);
    std::string text = one.text;
    const std::size_t plan = text.find(" digits...\r\n\r\n");
    ASSERT_NE(plan, std::string::npos);
    text.insert(plan + std::string(" digits...\r\n").size(), threadLine + "\r\n");
    EXPECT_EQ(many.text, text);
}

TEST(ThreadsJob, TwoAndThreeThreadsGiveTheOneThreadBitsAndOneMoreLine) {
    TempDir dir;
    resetStore();
    for (int sizeIndex : {0, 1, 2}) {
        const JobRun one = runJob(sizeIndex, optionsIn(dir, "one.dat", 1));
        ASSERT_EQ(one.exit, kJobComplete);
        EXPECT_EQ(one.threads, 1);
        EXPECT_EQ(std::count_if(one.list.begin(), one.list.end(),
                                [](const std::string& l) { return l.find("thread") != l.npos; }),
                  0);
        ASSERT_EQ(one.digests.size(),
                  static_cast<std::size_t>(CalcJob::expectedIterations(sizeIndex)));
        for (int threads : {2, 3}) {
            SCOPED_TRACE("size " + std::to_string(sizeIndex) + ", " + std::to_string(threads) +
                         " threads");
            JobOptions options = optionsIn(dir, "many.dat", threads);
            std::mutex mutex;
            std::multiset<int> started;
            options.onWorkerStart = [&](int index) {
                std::lock_guard<std::mutex> lock(mutex);
                started.insert(index);
            };
            const JobRun many = runJob(sizeIndex, std::move(options));
            ASSERT_EQ(many.exit, kJobComplete);
            EXPECT_EQ(many.threads, threads);
            EXPECT_TRUE(many.piDat == one.piDat) << "pi.dat differs";
            EXPECT_EQ(many.digests, one.digests);
            expectOneThreadLogPlusThreadLine(one, many, threads);
            std::multiset<int> workers;
            for (int i = 1; i < threads; ++i) workers.insert(i);
            EXPECT_EQ(started, workers);  // each worker started once, the job's thread is member 0
        }
    }
}

TEST(ThreadsJob, OneThreadOrLessMakesNoPool) {
    TempDir dir;
    resetStore();
    const JobRun reference = runJob(0, optionsIn(dir, "a.dat", 1));
    for (int threads : {1, 0, -3}) {
        JobOptions options = optionsIn(dir, "b.dat", threads);
        bool made = false;
        options.makePool = [&](int n, WorkPool::WorkerStart start) {
            made = true;
            return std::make_unique<WorkPool>(n, std::move(start));
        };
        options.onIteration = [](const IterationRecord&) {
            EXPECT_EQ(activePool(), nullptr);  // the arithmetic runs in order on the job's thread
        };
        const JobRun run = runJob(0, std::move(options));
        EXPECT_FALSE(made) << threads;
        EXPECT_EQ(run.threads, 1);
        EXPECT_EQ(run.list, reference.list);
        EXPECT_EQ(run.text, reference.text);
    }
}

// At a size whose transforms are large enough to be split, the pool really takes steps of the
// arithmetic: it is installed on the job's thread for the formula.
TEST(ThreadsJob, ThePoolCarriesTheArithmetic) {
    TempDir dir;
    resetStore();
    JobOptions options = optionsIn(dir, "pi.dat", 2);
    WorkPool* made = nullptr;
    options.makePool = [&](int n, WorkPool::WorkerStart start) {
        auto pool = std::make_unique<WorkPool>(n, std::move(start));
        made = pool.get();
        return pool;
    };
    std::uint64_t runsSeen = 0;
    options.onIteration = [&](const IterationRecord&) {
        EXPECT_EQ(activePool(), made);
        if (made) runsSeen = made->runs();
    };
    const JobRun run = runJob(4, std::move(options));
    ASSERT_EQ(run.exit, kJobComplete);
    ASSERT_NE(made, nullptr);
    EXPECT_GT(runsSeen, 0u) << "no step of a 65536-word run was spread over the pool";
}

// A thread that cannot be started is treated as memory that cannot be had: only the first line,
// the message, every slot freed, the buttons as at the end of a run.
TEST(ThreadsJob, AThreadThatCannotStartTakesTheAllocationFailurePath) {
    TempDir dir;
    resetStore();
    for (bool systemError : {true, false}) {
        RecordingHost host(2);
        StopToken stop;
        JobOptions options = optionsIn(dir, "pi.dat", 2);
        options.makePool = [systemError](int, WorkPool::WorkerStart) -> std::unique_ptr<WorkPool> {
            if (systemError)
                throw std::system_error(
                    std::make_error_code(std::errc::resource_unavailable_try_again));
            throw std::bad_alloc();
        };
        CalcJob job(host, stop, std::move(options));
        EXPECT_EQ(job.run(), kJobAllocationFailure);
        EXPECT_EQ(host.list, std::vector<std::string>{"initializing..."});
        EXPECT_EQ(host.resultText, "initializing...\r\n");
        EXPECT_TRUE(host.workingSet().empty());
        ASSERT_FALSE(host.calls.empty());
        EXPECT_EQ(host.calls.back(), "appMessage:Allocation Failure!");
        EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "enable:Stop"), 0);
        EXPECT_FALSE(host.enabled[static_cast<int>(MainButton::Stop)]);
        EXPECT_TRUE(host.enabled[static_cast<int>(MainButton::Calc)]);
        EXPECT_TRUE(host.enabled[static_cast<int>(MainButton::Copy)]);
        EXPECT_TRUE(host.enabled[static_cast<int>(MainButton::Record)]);
        EXPECT_FALSE(std::filesystem::exists(dir.file("pi.dat")));
    }
}

// A stop from another thread ends a two-thread run within half a second (the pool's parts
// finish the transform in progress) and nothing arrives after the call in progress.
TEST(ThreadsJob, AStopEndsATwoThreadRunPromptly) {
    TempDir dir;
    resetStore();
    std::mt19937 rng(7);
    for (int sizeIndex : {4, 5}) {
        for (int trial = 0; trial < 4; ++trial) {
            RecordingHost host(sizeIndex);
            StopToken stop;
            CalcJob job(host, stop, optionsIn(dir, "pi.dat", 2));
            const StopOutcome out =
                stopDuringRun(job, stop, host, std::chrono::milliseconds(50 + rng() % 400));
            EXPECT_LT(out.latency, 0.5) << "size " << sizeIndex;
            EXPECT_TRUE(out.quietAfterStop) << "size " << sizeIndex;
            // A run that ended before the stop came is complete; any other is stopped.
            EXPECT_TRUE(out.exit == kJobStopped || out.exit == kJobComplete) << out.exit;
            host.workingSet().releaseAll();
        }
    }
}

std::uint32_t storedSeconds(const std::string& name) {
    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    return key.ReadDword(name.c_str(), 12345);
}

// A multi-threaded run never writes the classic record; its best is kept per thread count and
// replaced only by a faster run.
TEST(ThreadsJob, MultiThreadedBestsAreKeptApartPerThreadCount) {
    TempDir dir;
    resetStore();
    RecordNames classic, two, three;
    GetRecordNames(1, classic);
    GetThreadRecordNames(1, 2, two);
    GetThreadRecordNames(1, 3, three);

    ASSERT_EQ(runJob(1, optionsIn(dir, "pi.dat", 2, 7)).exit, kJobComplete);
    EXPECT_EQ(storedSeconds(classic.seconds), noRecord);
    EXPECT_EQ(storedSeconds(two.seconds), 7u);
    EXPECT_EQ(storedSeconds(three.seconds), 12345u);  // not written at all

    ASSERT_EQ(runJob(1, optionsIn(dir, "pi.dat", 3, 9)).exit, kJobComplete);
    ASSERT_EQ(runJob(1, optionsIn(dir, "pi.dat", 2, 8)).exit, kJobComplete);  // slower
    EXPECT_EQ(storedSeconds(two.seconds), 7u);
    EXPECT_EQ(storedSeconds(three.seconds), 9u);
    ASSERT_EQ(runJob(1, optionsIn(dir, "pi.dat", 2, 5)).exit, kJobComplete);  // faster
    EXPECT_EQ(storedSeconds(two.seconds), 5u);
    EXPECT_EQ(storedSeconds(classic.seconds), noRecord);

    ASSERT_EQ(runJob(1, optionsIn(dir, "pi.dat", 1, 11)).exit, kJobComplete);
    EXPECT_EQ(storedSeconds(classic.seconds), 11u);
    EXPECT_EQ(storedSeconds(two.seconds), 5u);

    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    EXPECT_EQ(ReadRecordedThreadCounts(key), (std::vector<int>{2, 3}));
}

}  // namespace
}  // namespace oskelon::test
