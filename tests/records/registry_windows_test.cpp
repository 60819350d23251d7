// The records store in the Windows registry, checked through the registry's own functions: the
// key, the value types and bytes, the reads that fall back to their defaults, the exclusive unit
// and the first start of a user.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "calc/records_view.h"
#include "records/record_store.h"
#include "records/registry_key.h"
#include "support/recording_host.h"
#include "support/under_wine.h"

namespace oskelon {
namespace {

using test::RecordingHost;

struct RawValue {
    DWORD type;
    std::vector<unsigned char> bytes;
};

// Every test starts and ends without the program's key (HKCU\Software\Fenwarren).
class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::runningUnderWine()) GTEST_SKIP() << "resets the records key: run under Wine";
        removeKey();
    }
    void TearDown() override { removeKey(); }

    static void removeKey() { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Fenwarren"); }

    static std::optional<RawValue> raw(const char* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, recordsKeyPath, 0, KEY_QUERY_VALUE, &key) !=
            ERROR_SUCCESS)
            return std::nullopt;
        RawValue value{0, std::vector<unsigned char>(1024)};
        DWORD size = static_cast<DWORD>(value.bytes.size());
        const LONG status =
            RegQueryValueExA(key, name, nullptr, &value.type, value.bytes.data(), &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS) return std::nullopt;
        value.bytes.resize(size);
        return value;
    }

    static void plant(const char* name, DWORD type, const std::vector<unsigned char>& bytes) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, recordsKeyPath, 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(
            RegSetValueExA(key, name, 0, type, bytes.data(), static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
        RegCloseKey(key);
    }

    static std::vector<unsigned char> bytes(const std::string& text) {
        return {text.begin(), text.end()};
    }
};

TEST_F(RegistryTest, ValuesLandWithTheRegistrysTypesAndBytes) {
    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    ASSERT_TRUE(key.IsOpen());
    EXPECT_TRUE(key.WriteDword("ver1.1", 1));
    EXPECT_TRUE(key.WriteDword("52s", 0xFFFFFFFFu));
    EXPECT_TRUE(key.WriteString("52c", "2C082C14"));
    EXPECT_TRUE(key.WriteString("52o", ""));

    const auto version = raw("ver1.1");
    ASSERT_TRUE(version);
    EXPECT_EQ(version->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(version->bytes, (std::vector<unsigned char>{1, 0, 0, 0}));
    const auto seconds = raw("52s");
    ASSERT_TRUE(seconds);
    EXPECT_EQ(seconds->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(seconds->bytes, (std::vector<unsigned char>{0xFF, 0xFF, 0xFF, 0xFF}));
    const auto code = raw("52c");
    ASSERT_TRUE(code);
    EXPECT_EQ(code->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(code->bytes, bytes(std::string("2C082C14") + '\0'));
    const auto os = raw("52o");
    ASSERT_TRUE(os);
    EXPECT_EQ(os->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(os->bytes, std::vector<unsigned char>{0});

    // A second key on the same path sees them, and value names ignore case as on Linux.
    RegistryKey other(RootKey::CurrentUser, recordsKeyPath);
    EXPECT_EQ(other.ReadDword("VER1.1", 0), 1u);
    char buffer[10];
    EXPECT_STREQ(other.ReadString("52C", buffer, sizeof buffer, nullptr), "2C082C14");
}

TEST_F(RegistryTest, ReadsOfTheWrongTypeOrTooLongTextsGiveTheirDefaults) {
    plant("104s", REG_SZ, bytes(std::string("100") + '\0'));
    plant("104c", REG_DWORD, {7, 0, 0, 0});
    plant("104o", REG_SZ, bytes(std::string("123456789") + '\0'));   // 10 bytes
    plant("209c", REG_SZ, bytes(std::string("1234567890") + '\0'));  // 11 bytes
    plant("209s", REG_BINARY, {1, 0, 0, 0});

    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    EXPECT_EQ(key.ReadDword("104s", 42), 42u);
    EXPECT_EQ(key.ReadDword("209s", 42), 42u);
    EXPECT_EQ(key.ReadDword("missing", 42), 42u);
    char buffer[10] = "kept";
    EXPECT_EQ(key.ReadString("104c", buffer, sizeof buffer, nullptr), nullptr);
    EXPECT_STREQ(key.ReadString("104c", buffer, sizeof buffer, "dflt"), "dflt");
    EXPECT_STREQ(key.ReadString("104o", buffer, sizeof buffer, nullptr), "123456789");
    std::strcpy(buffer, "kept");
    EXPECT_EQ(key.ReadString("209c", buffer, sizeof buffer, nullptr), nullptr);
    EXPECT_STREQ(buffer, "kept");  // a failed read leaves the buffer as it was

    RegistryKey closed;
    EXPECT_EQ(closed.ReadDword("104s", 5), 5u);
    EXPECT_FALSE(closed.WriteDword("104s", 1));
}

TEST_F(RegistryTest, AUnitWritesAtItsCommitAndExcludesAnotherUnitUntilThen) {
    RegistryKey first(RootKey::CurrentUser, recordsKeyPath);
    ASSERT_TRUE(first.BeginExclusive());
    EXPECT_FALSE(first.BeginExclusive());
    EXPECT_TRUE(first.WriteDword("419s", 30));
    EXPECT_TRUE(first.WriteString("419c", "ABC"));
    EXPECT_FALSE(raw("419s"));  // nothing lands before the commit

    std::atomic<bool> committed{false};
    std::atomic<bool> secondSawCommit{false};
    std::thread second([&] {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        if (!key.BeginExclusive()) return;
        secondSawCommit = committed.load() && key.ReadDword("419s", 0) == 30;
        key.WriteDword("419s", 20);
        key.Commit();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    committed = true;
    EXPECT_TRUE(first.Commit());
    EXPECT_FALSE(first.Commit());
    second.join();
    EXPECT_TRUE(secondSawCommit);
    EXPECT_EQ(first.ReadDword("419s", 0), 20u);
    char buffer[10];
    EXPECT_STREQ(first.ReadString("419c", buffer, sizeof buffer, nullptr), "ABC");

    {
        RegistryKey abandoned(RootKey::CurrentUser, recordsKeyPath);
        ASSERT_TRUE(abandoned.BeginExclusive());
        abandoned.WriteDword("419s", 1);
    }  // destroyed inside its unit: nothing written, and the unit is free again
    EXPECT_EQ(first.ReadDword("419s", 0), 20u);
    ASSERT_TRUE(first.BeginExclusive());
    EXPECT_TRUE(first.Commit());
}

TEST_F(RegistryTest, AFirstStartCreatesTheKeyAndTwelveEmptyRecordsOnce) {
    RecordingHost host;
    for (int i = 0; i < 12; ++i) host.displayNames.push_back("size" + std::to_string(i));
    {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        CheckStoreVersion(key, host);
    }
    ASSERT_EQ(host.messages.size(), 1u);
    const auto marker = raw("ver1.1");
    ASSERT_TRUE(marker);
    EXPECT_EQ(marker->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(marker->bytes, (std::vector<unsigned char>{1, 0, 0, 0}));
    for (const char* name : {"1.6s", "104s", "3355s"}) {
        const auto seconds = raw(name);
        ASSERT_TRUE(seconds) << name;
        EXPECT_EQ(seconds->bytes, (std::vector<unsigned char>{0xFF, 0xFF, 0xFF, 0xFF})) << name;
    }
    for (const char* name : {"1.6c", "1.6o", "3355c", "3355o"}) {
        const auto text = raw(name);
        ASSERT_TRUE(text) << name;
        EXPECT_EQ(text->type, static_cast<DWORD>(REG_SZ)) << name;
        EXPECT_EQ(text->bytes, std::vector<unsigned char>{0}) << name;
    }

    ShowRecords(host);
    ASSERT_EQ(host.list.size(), 14u);
    EXPECT_EQ(host.list[0], "<Oskelon result>");
    EXPECT_EQ(host.list[2], "未計算 : [size0]");

    {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        CheckStoreVersion(key, host);
    }
    EXPECT_EQ(host.messages.size(), 1u);  // the next start says nothing
}

}  // namespace
}  // namespace oskelon
