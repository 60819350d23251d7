// The record update rules against a real store in a temporary directory.
#include "calc/record_update.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "records/record_store.h"
#include "support/linux_version.h"
#include "support/temp_store.h"

namespace oskelon::test {
namespace {

struct SilentHost : StoreMessages {
    void ShowMessage(const std::string&) override {}
};

struct Record {
    std::uint32_t seconds;
    std::string code, os;
};

Record readRecord(int sizeIndex) {
    RecordNames names;
    GetRecordNames(sizeIndex, names);
    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    char code[10] = "", os[256] = "";
    Record r{key.ReadDword(names.seconds.c_str(), 12345), "", ""};
    if (key.ReadString(names.code.c_str(), code, sizeof code, nullptr)) r.code = code;
    if (key.ReadString(names.os.c_str(), os, sizeof os, nullptr)) r.os = os;
    return r;
}

void update(int sizeIndex, std::uint32_t seconds, ResultCode code) {
    RegistryKey key;
    updateRecord(key, sizeIndex, seconds, code, linuxVersion());
    EXPECT_TRUE(key.IsOpen());  // the key stays open for the job
}

TEST(RecordUpdate, StrictlyFasterRunsReplaceTheWholeRecord) {
    TempDir dir;
    SilentHost host;
    {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        CheckStoreVersion(key, host);
    }
    // noRecord accepts any time, even the largest.
    update(6, 0xFFFFFFFEu, 0x11);
    EXPECT_EQ(readRecord(6).seconds, 0xFFFFFFFEu);
    update(6, 100, 0xABC);
    Record r = readRecord(6);
    EXPECT_EQ(r.seconds, 100u);
    EXPECT_EQ(r.code, "ABC");
    EXPECT_EQ(r.os, "Linux Ver 6.1 Build 0");

    // An equal time writes nothing: a marker in the code value survives.
    {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        key.WriteString("104c", "MARK");
    }
    update(6, 100, 0xDEF);
    EXPECT_EQ(readRecord(6).code, "MARK");
    update(6, 101, 0xDEF);
    EXPECT_EQ(readRecord(6).code, "MARK");
    update(6, 99, 0xDEF);
    r = readRecord(6);
    EXPECT_EQ(r.seconds, 99u);
    EXPECT_EQ(r.code, "DEF");

    // Other sizes are untouched.
    EXPECT_EQ(readRecord(5).seconds, noRecord);
    EXPECT_EQ(readRecord(7).seconds, noRecord);
}

TEST(RecordUpdate, MissingSecondsNeverReceiveARecord) {
    TempDir dir;
    update(3, 0, 0x1);  // a store that was never reset: the value is missing, read as 0
    EXPECT_EQ(readRecord(3).seconds, 12345u);  // still missing
    {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        key.WriteString("13s", "not a number");  // of the wrong type
    }
    update(3, 0, 0x1);
    EXPECT_EQ(readRecord(3).seconds, 12345u);
}

// Two processes finishing the same size at the same moment: the better time wins and the
// record's three values come from one run.
TEST(RecordUpdate, ConcurrentUpdatesNeverMixTwoRuns) {
    TempDir dir;
    SilentHost host;
    {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        CheckStoreVersion(key, host);
    }
    for (int round = 0; round < 20; ++round) {
        {
            RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
            key.WriteDword("26s", noRecord);
        }
        std::vector<pid_t> children;
        for (int child = 0; child < 4; ++child) {
            const pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                RegistryKey key;
                OsVersion v = linuxVersion();
                v.build = static_cast<std::uint32_t>(child);  // tells the runs apart
                updateRecord(key, 4, static_cast<std::uint32_t>(50 + child), 0x100u + child, v);
                _exit(0);
            }
            children.push_back(pid);
        }
        for (pid_t pid : children) {
            int status = 0;
            waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        const Record r = readRecord(4);
        EXPECT_EQ(r.seconds, 50u) << "round " << round;
        EXPECT_EQ(r.code, "100") << "round " << round;
        EXPECT_EQ(r.os, "Linux Ver 6.1 Build 0") << "round " << round;
    }
}

}  // namespace
}  // namespace oskelon::test
