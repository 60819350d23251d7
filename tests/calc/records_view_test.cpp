// Record names, the store's version reset and the records view above it, against a fake window
// and against the stored bytes. The expected Japanese texts are written as UTF-8 byte escapes here,
// independently of the literals in the code.
#include "calc/records_view.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "records/record_store.h"
#include "records/registry_key.h"
#include "support/store_access.h"

namespace oskelon {
namespace {

using test::bytesOf;
using test::numbered;
using test::RawStore;
using test::RecordingHost;
using test::runInChildProcess;
using test::StoreTest;
using Bytes = std::vector<unsigned char>;
using Lines = std::vector<std::string>;

const std::string manKeta = "\xE4\xB8\x87\xE6\xA1\x81";                  // 万桁
const std::string notComputed = "\xE6\x9C\xAA\xE8\xA8\x88\xE7\xAE\x97";  // 未計算
const std::string resetMessage =
    "Version1.0\xE3\x81\x8B\xE3\x82\x89"
    "1.1\xE3\x81\xB8\xE3\x81\xAE\xE3\x82\xA2\xE3\x83\x83"
    "\xE3\x83\x97\xE3\x81\xA7\xE3\x80\x81"
    "Code\xE3\x81\xAE\xE5\x87\xBA\xE5\x8A\x9B\xE3\x82\xA2"
    "\xE3\x83\xAB\xE3\x82\xB4\xE3\x83\xAA\xE3\x82\xBA\xE3\x83\xA0\xE3\x81\x8C\xE5\xA4\x89\xE6\x9B"
    "\xB4\xE3\x81\x95\xE3\x82\x8C\xE3\x81\x9F\xE3\x81\x9F\xE3\x82\x81\r\n"
    "\xE8\xA8\x98\xE9\x8C\xB2\xE3\x82\x92\xE6\xB6\x88\xE5\x8E\xBB\xE3\x81\x97\xE3\x81\xBE\xE3\x81"
    "\x99";

// The value-name prefixes, as the size list shows them without "万桁".
const std::vector<std::string> prefixes = {"1.6", "3.2", "6.5", "13",  "26",   "52",
                                           "104", "209", "419", "838", "1677", "3355"};

std::vector<std::string> realDisplayNames() {
    std::vector<std::string> names;
    for (const std::string& p : prefixes) names.push_back(p + manKeta);
    return names;
}

// A host whose size list shows names.
void nameSizes(RecordingHost& host, std::vector<std::string> names = realDisplayNames()) {
    host.displayNames = std::move(names);
}

// ---- GetRecordNames ---------------------------------------------------------------------------

TEST(RecordNamesTest, EverySizeHasItsThreeNames) {
    const char* expected[12][3] = {
        {"1.6s", "1.6c", "1.6o"}, {"3.2s", "3.2c", "3.2o"},    {"6.5s", "6.5c", "6.5o"},
        {"13s", "13c", "13o"},    {"26s", "26c", "26o"},       {"52s", "52c", "52o"},
        {"104s", "104c", "104o"}, {"209s", "209c", "209o"},    {"419s", "419c", "419o"},
        {"838s", "838c", "838o"}, {"1677s", "1677c", "1677o"}, {"3355s", "3355c", "3355o"}};
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        RecordNames names{"old", "old", "old"};
        GetRecordNames(i, names);
        EXPECT_EQ(names.seconds, expected[i][0]);
        EXPECT_EQ(names.code, expected[i][1]);
        EXPECT_EQ(names.os, expected[i][2]);
    }
}

TEST(RecordNamesTest, AnIndexOutsideTheSizesLeavesTheNamesAsTheyWere) {
    for (int i : {12, 13, -1, -12, 1 << 30, INT32_MIN}) {
        SCOPED_TRACE(i);
        RecordNames names{"a", "b", "c"};
        GetRecordNames(i, names);
        EXPECT_EQ(names.seconds, "a");
        EXPECT_EQ(names.code, "b");
        EXPECT_EQ(names.os, "c");
    }
}

// ---- CheckStoreVersion ------------------------------------------------------------------------

class VersionTest : public StoreTest {
  protected:
    // Every record reset: seconds 0xFFFFFFFF, code and os one NUL byte each; "ver1.1" the DWORD 1.
    void ExpectResetStore() {
        RawStore raw(storeFile());
        ASSERT_TRUE(raw.IsOpen());
        const auto version = raw.Get(recordsKeyPath, "ver1.1");
        ASSERT_TRUE(version);
        EXPECT_EQ(version->type, 4);
        EXPECT_EQ(version->bytes, (Bytes{1, 0, 0, 0}));
        for (const std::string& p : prefixes) {
            SCOPED_TRACE(p);
            const auto seconds = raw.Get(recordsKeyPath, p + "s");
            const auto code = raw.Get(recordsKeyPath, p + "c");
            const auto os = raw.Get(recordsKeyPath, p + "o");
            ASSERT_TRUE(seconds && code && os);
            EXPECT_EQ(seconds->type, 4);
            EXPECT_EQ(seconds->bytes, (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
            EXPECT_EQ(code->type, 1);
            EXPECT_EQ(code->bytes, Bytes{0});
            EXPECT_EQ(os->type, 1);
            EXPECT_EQ(os->bytes, Bytes{0});
        }
        EXPECT_EQ(raw.Column("SELECT count(*) FROM store_values"), Lines{"37"});
    }

    // A record for size 6 and one for size 11, as a previous version would have left them.
    static void WriteOldRecords(RegistryKey& key) {
        ASSERT_TRUE(key.WriteDword("104s", 100));
        ASSERT_TRUE(key.WriteString("104c", "CE064312"));
        ASSERT_TRUE(key.WriteString("104o", "Windows98 Ver 4.10 Build 1998"));
        ASSERT_TRUE(key.WriteDword("3355s", 5000));
    }
};

TEST_F(VersionTest, FirstStartShowsTheMessageOnceAndLeavesTwelveEmptyRecords) {
    RecordingHost host;
    {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        ASSERT_TRUE(key.IsOpen());
        CheckStoreVersion(key, host);
        EXPECT_EQ(host.messages, Lines{resetMessage});
        EXPECT_EQ(host.calls, Lines{"message:" + resetMessage});
        ExpectResetStore();
        CheckStoreVersion(key, host);  // same key: the store is current now
        EXPECT_EQ(host.messages.size(), 1u);
    }
    // The next start.
    RecordingHost next;
    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    CheckStoreVersion(key, next);
    EXPECT_TRUE(next.calls.empty());
    ExpectResetStore();
}

TEST_F(VersionTest, AnyVersionMarkerButTheDword1ResetsEveryRecord) {
    const std::vector<std::pair<const char*, std::pair<int, Bytes>>> markers = {
        {"DWORD 0", {4, {0, 0, 0, 0}}},
        {"DWORD 2", {4, {2, 0, 0, 0}}},
        {"DWORD 0x101", {4, {1, 1, 0, 0}}},
        {"DWORD 0x01000000", {4, {0, 0, 0, 1}}},
        {"DWORD 0xFFFFFFFF", {4, {0xFF, 0xFF, 0xFF, 0xFF}}},
        {"text \"1\"", {1, {'1', 0}}},
        {"binary 1", {3, {1, 0, 0, 0}}},
        {"two-byte DWORD 1", {4, {1, 0}}},
    };
    for (const auto& [label, marker] : markers) {
        SCOPED_TRACE(label);
        std::filesystem::remove_all(dataHome());
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        WriteOldRecords(key);
        {
            RawStore raw(storeFile());
            ASSERT_TRUE(raw.Put(recordsKeyPath, "ver1.1", marker.first, marker.second));
        }
        RecordingHost host;
        CheckStoreVersion(key, host);
        EXPECT_EQ(host.messages, Lines{resetMessage});
        ExpectResetStore();
    }
}

TEST_F(VersionTest, ACurrentStoreIsLeftAsItIs) {
    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    ASSERT_TRUE(key.WriteDword("ver1.1", 1));
    WriteOldRecords(key);
    RecordingHost host;
    CheckStoreVersion(key, host);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(key.ReadDword("104s", 0), 100u);
    EXPECT_EQ(key.ReadDword("3355s", 0), 5000u);
    EXPECT_EQ(key.ReadDword("13s", 0xABCu), 0xABCu);  // never written, not reset
}

TEST_F(VersionTest, TheResetFollowsOnlyAfterTheMessageIsClosed) {
    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    WriteOldRecords(key);
    RecordingHost host;
    std::vector<std::uint32_t> seenDuringMessage;
    host.onMessage = [&] {
        RegistryKey other(RootKey::CurrentUser, recordsKeyPath);
        seenDuringMessage = {other.ReadDword("ver1.1", 77), other.ReadDword("104s", 0),
                             other.ReadDword("3355s", 0)};
    };
    CheckStoreVersion(key, host);
    EXPECT_EQ(seenDuringMessage, (std::vector<std::uint32_t>{77, 100, 5000}));
    ExpectResetStore();
}

// Two programs start on an old store: both show the message; the one that closes it first resets
// the store, and its run then records a time. The other must not wipe that record.
TEST_F(VersionTest, AResetFinishedElsewhereWhileTheMessageIsUpIsNotRepeated) {
    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    WriteOldRecords(key);
    RecordingHost host;
    host.onMessage = [] {
        RegistryKey other(RootKey::CurrentUser, recordsKeyPath);
        RecordingHost otherHost;
        CheckStoreVersion(other, otherHost);
        other.WriteDword("104s", 42);
        other.WriteString("104c", "ABC");
    };
    CheckStoreVersion(key, host);
    EXPECT_EQ(host.messages, Lines{resetMessage});
    EXPECT_EQ(key.ReadDword("ver1.1", 0), 1u);
    EXPECT_EQ(key.ReadDword("104s", 0), 42u);
    char code[10];
    EXPECT_STREQ(key.ReadString("104c", code, sizeof code, nullptr), "ABC");
    EXPECT_EQ(key.ReadDword("3355s", 0), 0xFFFFFFFFu);
}

TEST_F(VersionTest, WithoutAStoreTheMessageComesAtEveryStart) {
    std::ofstream(dataHome()) << "not a directory";
    for (int start = 1; start <= 2; ++start) {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        ASSERT_FALSE(key.IsOpen());
        RecordingHost host;
        CheckStoreVersion(key, host);
        EXPECT_EQ(host.messages, Lines{resetMessage});
    }
}

// ---- ShowRecords ------------------------------------------------------------------------------

class ViewTest : public StoreTest {
  protected:
    void ResetStore() {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        RecordingHost host;
        CheckStoreVersion(key, host);
        ASSERT_EQ(host.messages.size(), 1u);
    }
    // The view shown on a window that still holds a line and text of its own.
    static void Show(RecordingHost& host, std::vector<std::string> names = realDisplayNames()) {
        nameSizes(host, std::move(names));
        host.list = {"stale line"};
        host.resultText = "stale text\r\n";
        ShowRecords(host);
    }
};

const std::string header = "<Oskelon result>";

TEST_F(ViewTest, AnEmptyStoreShowsFourteenLinesAndTwelveNotComputedLines) {
    ResetStore();
    RecordingHost host;
    Show(host);

    Lines expectedList = {header, ""};
    std::string expectedText = header + "\r\n\r\n";
    for (const std::string& p : prefixes) {
        const std::string line = notComputed + " : [" + p + manKeta + "]";
        expectedList.push_back(line);
        expectedText += line + "\r\n";
    }
    EXPECT_EQ(host.list.size(), 14u);
    EXPECT_EQ(host.list, expectedList);
    EXPECT_EQ(host.resultText, expectedText);
    EXPECT_EQ(host.buttonChanges,
              (std::vector<std::pair<MainButton, bool>>{{MainButton::Copy, true}}));
    ASSERT_GE(host.calls.size(), 3u);
    EXPECT_EQ(Lines(host.calls.begin(), host.calls.begin() + 3),
              (Lines{"enable:Copy", "clearList", "clearText"}));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(ViewTest, ComputedSizesShowFourLinesAndABlankWithTheTimeAsASignedNumber) {
    ResetStore();
    {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        ASSERT_TRUE(key.WriteDword("1.6s", 0));  // empty code and os from the reset
        ASSERT_TRUE(key.WriteDword("13s", 0x80000000u));
        ASSERT_TRUE(key.WriteString("13c", "FFFFFFFF"));
        ASSERT_TRUE(key.WriteString("13o", "WindowsNT Ver 4.0 Build 1381 Service Pack 6"));
        ASSERT_TRUE(key.WriteDword("52s", 0xFFFFFFFFu));  // not computed, whatever the texts say
        ASSERT_TRUE(key.WriteString("52c", "ABC"));
        ASSERT_TRUE(key.WriteString("52o", "Windows95 Ver 4.0 Build 950"));
        ASSERT_TRUE(key.WriteDword("104s", 100));
        ASSERT_TRUE(key.WriteString("104c", "CE064312"));
        ASSERT_TRUE(key.WriteString("104o", "Windows98 Ver 4.10 Build 1998"));
        ASSERT_TRUE(key.WriteDword("3355s", 0xFFFFFFFEu));
        ASSERT_TRUE(key.WriteString("3355c", "1"));
    }
    // Display names from the window, not from the value names.
    std::vector<std::string> names;
    for (int i = 0; i < 12; ++i) names.push_back(numbered("size ", i));
    RecordingHost host;
    Show(host, names);

    Lines list = {header, ""};
    std::string text = header + "\r\n\r\n";
    auto computed = [&](const std::string& name, const std::string& total, const std::string& code,
                        const std::string& os) {
        const Lines lines = {"<" + name + ">", "[total]:" + total + "s", "[code]:" + code,
                             "[os]:" + os};
        for (const std::string& line : lines) {
            list.push_back(line);
            text += line + "\r\n";
        }
        list.emplace_back("");
        text += "\r\n";
    };
    auto open = [&](const std::string& name) {
        list.push_back(notComputed + " : [" + name + "]");
        text += list.back() + "\r\n";
    };
    computed("size 0", "0", "", "");
    open("size 1");
    open("size 2");
    computed("size 3", "-2147483648", "FFFFFFFF", "WindowsNT Ver 4.0 Build 1381 Service Pack 6");
    open("size 4");
    open("size 5");
    computed("size 6", "100", "CE064312", "Windows98 Ver 4.10 Build 1998");
    for (int i = 7; i <= 10; ++i) open(numbered("size ", i));
    computed("size 11", "-2", "1", "");

    EXPECT_EQ(host.list.size(), 2u + 4 * 5 + 8);
    EXPECT_EQ(host.list, list);
    EXPECT_EQ(host.resultText, text);
}

TEST_F(ViewTest, TextsThatFitTheViewsBuffersShowWholeAndOthersShowEmpty) {
    ResetStore();
    const std::string code9 = "123456789";
    const std::string os255(255, 'o');
    {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        for (const char* seconds : {"1.6s", "3.2s", "6.5s", "13s"}) {
            ASSERT_TRUE(key.WriteDword(seconds, 1));
        }
        ASSERT_TRUE(key.WriteString("1.6c", code9.c_str()));
        ASSERT_TRUE(key.WriteString("1.6o", os255.c_str()));
        ASSERT_TRUE(key.WriteString("3.2c", "123456789A"));
        ASSERT_TRUE(key.WriteString("3.2o", (os255 + "o").c_str()));
        ASSERT_TRUE(key.WriteDword("6.5c", 0x41414141u));  // wrong types
        ASSERT_TRUE(key.WriteDword("6.5o", 0x41414141u));
    }
    {
        RawStore raw(storeFile());  // size 3: code and os missing altogether
        ASSERT_TRUE(raw.Execute("DELETE FROM store_values WHERE name IN ('13c', '13o')"));
    }
    RecordingHost host;
    Show(host);
    // Lines 2..5: size 0; 7..10: size 1; 12..15: size 2; 17..20: size 3.
    ASSERT_GE(host.list.size(), 21u);
    EXPECT_EQ(host.list[4], "[code]:" + code9);
    EXPECT_EQ(host.list[5], "[os]:" + os255);
    for (std::size_t first : {7u, 12u, 17u}) {
        SCOPED_TRACE(first);
        EXPECT_EQ(host.list[first + 1], "[total]:1s");
        EXPECT_EQ(host.list[first + 2], "[code]:");
        EXPECT_EQ(host.list[first + 3], "[os]:");
    }
    EXPECT_NE(host.resultText.find("[os]:" + os255 + "\r\n\r\n"), std::string::npos);
}

TEST_F(ViewTest, AMissingTimeShowsAsARecordOfZeroSeconds) {
    ResetStore();
    {
        RawStore raw(storeFile());
        ASSERT_TRUE(raw.Execute("DELETE FROM store_values WHERE name = '209s'"));
    }
    RecordingHost host;
    Show(host);
    const Lines expected = {"<209" + manKeta + ">", "[total]:0s", "[code]:", "[os]:", ""};
    ASSERT_EQ(host.list.size(), 14u + 4);
    EXPECT_EQ(Lines(host.list.begin() + 9, host.list.begin() + 14), expected);
}

// No key at all (the store cannot be made): every time reads as 0, so every size is a record.
TEST_F(ViewTest, WithoutAStoreEverySizeShowsAsARecordOfZeroSeconds) {
    std::ofstream(dataHome()) << "not a directory";
    RecordingHost host;
    Show(host);
    ASSERT_EQ(host.list.size(), 2u + 12 * 5);
    std::string text = header + "\r\n\r\n";
    for (int i = 0; i < 12; ++i) {
        const std::string name = prefixes[i] + manKeta;
        const Lines expected = {"<" + name + ">", "[total]:0s", "[code]:", "[os]:", ""};
        EXPECT_EQ(Lines(host.list.begin() + 2 + 5 * i, host.list.begin() + 7 + 5 * i), expected);
        text += "<" + name + ">\r\n[total]:0s\r\n[code]:\r\n[os]:\r\n\r\n";
    }
    EXPECT_EQ(host.resultText, text);
}

// Start-up holds one key across the version check and the view; the view opens its own.
TEST_F(ViewTest, TheViewReadsBesideAnOpenKeyAndSeesARecordWrittenByAnotherProcess) {
    const int run = runInChildProcess([] {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        RecordingHost host;
        CheckStoreVersion(key, host);
        if (host.messages.size() != 1) return 1;
        if (!key.BeginExclusive()) return 2;
        if (key.ReadDword("104s", 0) <= 61) return 3;
        key.WriteDword("104s", 61);
        key.WriteString("104c", "F4064312");
        key.WriteString("104o", "Windows98 Ver 4.10 Build 1998");
        return key.Commit() ? 0 : 4;
    });
    ASSERT_EQ(run, 0);

    RegistryKey startup(RootKey::CurrentUser, recordsKeyPath);
    RecordingHost host;
    nameSizes(host);
    CheckStoreVersion(startup, host);
    EXPECT_TRUE(host.messages.empty());
    ShowRecords(host);
    ASSERT_EQ(host.list.size(), 14u + 4);
    EXPECT_EQ(Lines(host.list.begin() + 8, host.list.begin() + 13),
              (Lines{"<104" + manKeta + ">", "[total]:61s", "[code]:F4064312",
                     "[os]:Windows98 Ver 4.10 Build 1998", ""}));
}

}  // namespace
}  // namespace oskelon
