// The runner with a records store it cannot use: damaged, read-only, in a directory that cannot
// be made, or held locked by another process. The run goes on, the view shows its defaults, the
// user is told once, and a damaged file is never overwritten without a copy.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "cli/run_process.h"
#include "support/temp_store.h"

namespace oskelon::test {
namespace {

namespace fs = std::filesystem;
const std::string kCli = OSKELON_CLI_PATH;

int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

std::vector<fs::path> damagedCopies(const TempDir& dir) {
    std::vector<fs::path> copies;
    for (const auto& e : fs::directory_iterator(dir.storeFile().parent_path()))
        if (e.path().filename().string().find(".damaged-") != std::string::npos &&
            e.path().extension() != ".sqlite3-wal" &&
            e.path().filename().string().find("-wal") == std::string::npos &&
            e.path().filename().string().find("-shm") == std::string::npos)
            copies.push_back(e.path());
    return copies;
}

// A run with a computed size-0 record, so that the store holds something worth keeping.
void makeStore(const TempDir& dir) {
    ASSERT_EQ(runProcess(kCli, {"-s", "0"}, dir.path()).exitCode, 0);
    ASSERT_TRUE(fs::exists(dir.storeFile()));
    // Fold the write-ahead log into the file, so that the file alone holds the records.
    sqlite3* db = nullptr;
    sqlite3_open(dir.storeFile().c_str(), &db);
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE); PRAGMA journal_mode=DELETE", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
}

TEST(StoreFaults, DamagedStoresAreKeptAsCopiesAndReplaced) {
    std::mt19937 rng(7);
    for (const std::string kind : {"random", "truncated", "zero"}) {
        TempDir dir;
        makeStore(dir);
        std::string bytes;
        if (kind == "random") {
            bytes.resize(8192);
            for (char& c : bytes) c = static_cast<char>(rng());
        } else if (kind == "truncated") {
            bytes = readFile(dir.storeFile().string());
            ASSERT_GT(bytes.size(), 4096u);
            bytes.resize(bytes.size() / 2 + 100);
        }
        fs::remove(dir.storeFile().string() + "-wal");
        fs::remove(dir.storeFile().string() + "-shm");
        {
            std::ofstream out(dir.storeFile(), std::ios::binary | std::ios::trunc);
            out << bytes;
        }
        ProcessResult r = runProcess(kCli, {"records"}, dir.path());
        EXPECT_EQ(r.exitCode, 0) << kind << r.err;
        // The view with the defaults of a new store: twelve sizes not computed yet.
        EXPECT_EQ(count(r.out, "未計算 : ["), 12) << kind << r.out;
        if (kind == "zero") {
            // An empty file holds nothing to lose: it simply becomes the store.
            EXPECT_EQ(r.err, "") << kind;
            EXPECT_TRUE(damagedCopies(dir).empty());
            continue;
        }
        EXPECT_EQ(count(r.err, "oskelon-cli: "), 1) << kind << r.err;
        EXPECT_NE(r.err.find("was damaged"), std::string::npos) << kind << r.err;
        const auto copies = damagedCopies(dir);
        ASSERT_EQ(copies.size(), 1u) << kind;
        EXPECT_EQ(readFile(copies[0].string()), bytes) << kind;
        // The next start finds a sound store and says nothing.
        r = runProcess(kCli, {"records"}, dir.path());
        EXPECT_EQ(r.err, "") << kind;
        EXPECT_EQ(damagedCopies(dir).size(), 1u);
    }
}

TEST(StoreFaults, ADirectoryThatCannotBeMadeLeavesTheRunGoing) {
    TempDir dir;
    { std::ofstream(dir.dataHome()) << "a file, not a directory"; }
    ProcessResult r = runProcess(kCli, {"-s", "0"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(count(r.err, "oskelon-cli: "), 1) << r.err;
    EXPECT_NE(r.err.find("cannot create the directory"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("verified: 16368 of 16384 digits"), std::string::npos);
    EXPECT_EQ(readFile((dir.dataHome()).string()), "a file, not a directory");
    // Without a store the view shows every size with its default of 0 seconds.
    r = runProcess(kCli, {"records"}, dir.path());
    EXPECT_EQ(count(r.out, "[total]:0s"), 12) << r.out;
}

// A store held locked past the busy timeout by another process: the record cannot be written,
// the user is told, and the run's other results stand.
TEST(StoreFaults, AStoreLockedByAnotherProcess) {
    TempDir dir;
    ASSERT_EQ(runProcess(kCli, {"records"}, dir.path()).exitCode, 0);  // a current store
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(dir.storeFile().c_str(), &db);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        const char go = 'x';
        if (write(ready[1], &go, 1) != 1) _exit(1);
        sleep(9);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        _exit(0);
    }
    char go = 0;
    ASSERT_EQ(read(ready[0], &go, 1), 1);
    ProcessResult r = runProcess(kCli, {"-s", "0"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(count(r.err, "oskelon-cli: "), 1) << r.err;
    EXPECT_NE(r.err.find("the record was not saved"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("Code "), std::string::npos);
    int status = 0;
    waitpid(holder, &status, 0);
    r = runProcess(kCli, {"records"}, dir.path());
    EXPECT_NE(r.out.find("未計算 : [1.6万桁]"), std::string::npos) << r.out;
}

// Mounting needs root; CI runs as root. Each test mounts in a mount namespace of its own, so
// nothing outlives the process.
bool canMount() {
    return geteuid() == 0 && runProcess("/usr/bin/unshare", {"-m", "/bin/true"}, "/").exitCode == 0;
}

TEST(StoreFaults, AReadOnlyStore) {
    if (!canMount()) GTEST_SKIP() << "needs root and mount namespaces";
    TempDir dir;
    ASSERT_EQ(runProcess(kCli, {"records"}, dir.path()).exitCode, 0);
    const std::string data = (dir.dataHome()).string();
    const std::string script = "mount --bind '" + data + "' '" + data +
                               "' && mount -o remount,ro,bind '" + data + "' && exec '" + kCli +
                               "' -s 0";
    ProcessResult r =
        runProcess("/usr/bin/unshare", {"-m", "--propagation", "private", "/bin/sh", "-c", script},
                   dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(count(r.err, "oskelon-cli: "), 1) << r.err;
    EXPECT_NE(r.out.find("verified: 16368 of 16384 digits"), std::string::npos) << r.out;
}

// "pi.dat" on a full device: a clear message, the previous pi.dat intact, code and record done.
TEST(OutputFaults, AFullDeviceKeepsThePreviousFile) {
    if (!canMount()) GTEST_SKIP() << "needs root and mount namespaces";
    TempDir dir;
    fs::create_directory(dir.path() / "out");
    const std::string out = (dir.path() / "out").string();
    const std::string previous = "3.14e0\n";
    // A 64 KiB device already holding a small pi.dat: a size-2 result (65,541 bytes) cannot fit.
    const std::string script = "mount -t tmpfs -o size=64k tmpfs '" + out + "' && printf '" +
                               "3.14e0\\n' > '" + out + "/pi.dat' && cd '" + out + "' && '" + kCli +
                               "' -s 2; code=$?; cat pi.dat; ls; exit $code";
    ProcessResult r =
        runProcess("/usr/bin/unshare", {"-m", "--propagation", "private", "/bin/sh", "-c", script},
                   dir.path());
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_NE(r.err.find("Cannot write pi.dat"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("Code "), std::string::npos);
    EXPECT_NE(r.out.find(previous + "pi.dat\n"), std::string::npos) << r.out;  // intact, alone
    r = runProcess(kCli, {"records"}, dir.path());
    EXPECT_NE(r.out.find("<6.5万桁>"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace oskelon::test

namespace oskelon::test {
namespace {

// A failing allocation at each of the nine slots: the exact message, exit code 1, nothing
// written; the next run works.
TEST(AllocationFaults, EverySlotInTheRunner) {
    TempDir dir;
    for (int slot = 0; slot < 9; ++slot) {
        setenv("OSKELON_FAIL_ALLOCATION_SLOT", std::to_string(slot).c_str(), 1);
        ProcessResult r = runProcess(kCli, {"-s", "3"}, dir.path());
        unsetenv("OSKELON_FAIL_ALLOCATION_SLOT");
        EXPECT_EQ(r.exitCode, 1) << slot;
        const std::string tail = r.out.substr(r.out.find("initializing..."));
        EXPECT_EQ(tail, "initializing...\nAllocation Failure!\n") << slot;
        EXPECT_FALSE(fs::exists(dir.path() / "pi.dat"));
    }
    ProcessResult r = runProcess(kCli, {"-s", "3"}, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(fs::exists(dir.path() / "pi.dat"));
}

}  // namespace
}  // namespace oskelon::test
