// The multi-threaded bests in the records store: their value names, the index of thread counts,
// the record update for them, and the records view that shows them after the classic records.
#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "calc/record_update.h"
#include "calc/records_view.h"
#include "calc/result_code.h"
#include "records/record_store.h"
#include "records/registry_key.h"
#include "support/fresh_store.h"
#include "support/linux_version.h"
#include "support/recording_host.h"
#include "support/temp_store.h"

namespace oskelon::test {
namespace {

TEST(ThreadRecordNames, SuffixTheClassicNamesAndNeverMeetThem) {
    RecordNames names;
    ASSERT_TRUE(GetThreadRecordNames(6, 2, names));
    EXPECT_EQ(names.seconds, "104s-2t");
    EXPECT_EQ(names.code, "104c-2t");
    EXPECT_EQ(names.os, "104o-2t");
    ASSERT_TRUE(GetThreadRecordNames(11, kMaxRecordThreads, names));
    EXPECT_EQ(names.os, "3355o-1024t");

    const RecordNames before = names;
    for (auto [size, threads] :
         {std::pair{6, 1}, {6, 0}, {6, kMaxRecordThreads + 1}, {12, 2}, {-1, 2}}) {
        EXPECT_FALSE(GetThreadRecordNames(size, threads, names)) << size << " " << threads;
        EXPECT_EQ(names.seconds, before.seconds);
    }

    std::set<std::string> classic = {threadCountsValueName, "ver1.1"};
    for (int i = 0; i < 12; ++i) {
        GetRecordNames(i, names);
        classic.insert({names.seconds, names.code, names.os});
    }
    std::set<std::string> threaded;
    for (int i = 0; i < 12; ++i) {
        for (int threads = 2; threads <= kMaxRecordThreads; ++threads) {
            ASSERT_TRUE(GetThreadRecordNames(i, threads, names));
            for (const std::string& name : {names.seconds, names.code, names.os}) {
                EXPECT_EQ(classic.count(name), 0u) << name;
                EXPECT_TRUE(threaded.insert(name).second) << name << " twice";
            }
        }
    }
}

TEST(ThreadRecordIndex, ReadsCountsAndSkipsWhatIsNoCount) {
    TempDir dir;
    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    EXPECT_TRUE(ReadRecordedThreadCounts(key).empty());
    key.WriteString(threadCountsValueName, "8,x,,1,2,1025,99999,4,2,-3,3 ,16");
    EXPECT_EQ(ReadRecordedThreadCounts(key), (std::vector<int>{2, 4, 8, 16}));
    key.WriteDword(threadCountsValueName, 2);  // of the wrong type: no index
    EXPECT_TRUE(ReadRecordedThreadCounts(key).empty());

    key.WriteString(threadCountsValueName, "");
    for (int threads : {8, 2, 8, 1024, 3}) AddRecordedThreadCount(key, threads);
    char text[64] = {};
    ASSERT_NE(key.ReadString(threadCountsValueName, text, sizeof text, nullptr), nullptr);
    EXPECT_STREQ(text, "2,3,8,1024");
}

std::uint32_t readSeconds(const std::string& name, std::uint32_t missing) {
    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    return key.ReadDword(name.c_str(), missing);
}

TEST(ThreadRecordUpdate, AMissingBestAcceptsAnyTimeAndOnlyFasterRunsReplaceIt) {
    TempDir dir;
    resetStore();
    RecordNames names, classic;
    GetThreadRecordNames(3, 4, names);
    GetRecordNames(3, classic);
    auto update = [](std::uint32_t seconds, ResultCode code) {
        RegistryKey key;
        updateRecord(key, 3, seconds, code, linuxVersion(), 4);
    };
    update(0xFFFFFFFEu, 0x1);
    EXPECT_EQ(readSeconds(names.seconds, 0), 0xFFFFFFFEu);
    update(50, 0xAB);
    update(50, 0xCD);  // equal: nothing written
    update(60, 0xEF);
    EXPECT_EQ(readSeconds(names.seconds, 0), 50u);
    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    char code[10] = {};
    ASSERT_NE(key.ReadString(names.code.c_str(), code, sizeof code, nullptr), nullptr);
    EXPECT_STREQ(code, "AB");
    EXPECT_EQ(ReadRecordedThreadCounts(key), std::vector<int>{4});
    // The classic record of the size is as the reset left it.
    EXPECT_EQ(readSeconds(classic.seconds, 0), noRecord);
}

struct View {
    std::vector<std::string> list;
    std::string text;
};

View showRecords() {
    RecordingHost host;
    ShowRecords(host);
    return {host.list, host.resultText};
}

void update(int sizeIndex, int threads, std::uint32_t seconds, ResultCode code) {
    RegistryKey key;
    updateRecord(key, sizeIndex, seconds, code, linuxVersion(), threads);
}

// The classic view stays what it was; the multi-threaded bests follow it, by size and then thread
// count, in the classic records' form, and only when the store holds any.
TEST(ThreadRecordsView, FollowTheClassicRecordsOnlyWhenThereAreAny) {
    TempDir dir;
    resetStore();
    update(0, 1, 3, 0x9);
    const View classic = showRecords();
    {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        key.WriteString(threadCountsValueName, "2,5");  // counts without any record
        RecordNames names;
        GetThreadRecordNames(2, 5, names);
        key.WriteDword(names.seconds.c_str(), noRecord);
    }
    const View listedOnly = showRecords();
    EXPECT_EQ(listedOnly.list, classic.list);
    EXPECT_EQ(listedOnly.text, classic.text);

    update(6, 2, 12, 0x1A);
    update(0, 3, 4, 0x2B);
    update(0, 2, 5, 0x3C);
    const View both = showRecords();

    const std::string os = "[os]:" + osDescription(linuxVersion());
    const std::string size0 = "1.6\xE4\xB8\x87\xE6\xA1\x81";  // 1.6万桁
    const std::string size6 = "104\xE4\xB8\x87\xE6\xA1\x81";
    std::vector<std::string> list = classic.list;
    std::string text = classic.text;
    list.insert(list.end(), {"<Oskelon multi-threaded result>", ""});
    text += "<Oskelon multi-threaded result>\r\n\r\n";
    for (const auto& [name, threads, seconds, code] :
         {std::tuple{size0, 2, 5, "3C"}, {size0, 3, 4, "2B"}, {size6, 2, 12, "1A"}}) {
        const std::vector<std::string> block = {
            "<" + name + " " + std::to_string(threads) + " threads>",
            "[total]:" + std::to_string(seconds) + "s", std::string("[code]:") + code, os};
        list.insert(list.end(), block.begin(), block.end());
        list.push_back("");
        for (const std::string& line : block) text += line + "\r\n";
        text += "\r\n";
    }
    EXPECT_EQ(both.list, list);
    EXPECT_EQ(both.text, text);

    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    const std::vector<ThreadRecord> records = ReadThreadRecords(key);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[2].sizeIndex, 6);
    EXPECT_EQ(records[2].threads, 2);
    EXPECT_EQ(records[2].seconds, 12u);
    EXPECT_EQ(records[2].code, "1A");
}

}  // namespace
}  // namespace oskelon::test
