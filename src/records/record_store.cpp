// Record value names and the one-time version reset.
//
// The Japanese texts are byte strings in the platform's text encoding; this file is UTF-8 and so
// are the narrow literals the compiler makes of it (the tests check the bytes).
#include "records/record_store.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

namespace oskelon {

namespace {

constexpr int sizeCount = 12;

// Value-name prefix of each size: its display name without the trailing "万桁".
constexpr const char* recordPrefixes[sizeCount] = {"1.6", "3.2", "6.5", "13",  "26",   "52",
                                                   "104", "209", "419", "838", "1677", "3355"};

constexpr const char* versionValueName = "ver1.1";
constexpr std::uint32_t currentStoreVersion = 1;
constexpr const char* versionResetMessage =
    "Version1.0から1.1へのアップで、Codeの出力アルゴリズムが変更されたため\r\n記録を消去します";

}  // namespace

void GetRecordNames(int sizeIndex, RecordNames& names) {
    if (sizeIndex < 0 || sizeIndex >= sizeCount) return;
    const std::string prefix = recordPrefixes[sizeIndex];
    names.seconds = prefix + "s";
    names.code = prefix + "c";
    names.os = prefix + "o";
}

bool GetThreadRecordNames(int sizeIndex, int threads, RecordNames& names) {
    if (sizeIndex < 0 || sizeIndex >= sizeCount || threads < 2 || threads > kMaxRecordThreads)
        return false;
    // "<prefix><letter>-<threads>t"
    char name[32];
    for (auto [letter, out] :
         {std::pair{'s', &names.seconds}, std::pair{'c', &names.code}, std::pair{'o', &names.os}}) {
        std::snprintf(name, sizeof name, "%s%c-%dt", recordPrefixes[sizeIndex], letter, threads);
        *out = name;
    }
    return true;
}

std::vector<int> ReadRecordedThreadCounts(RegistryKey& key) {
    std::string text(kThreadCountsTextBytes, '\0');
    std::vector<int> counts;
    if (!key.ReadString(threadCountsValueName, text.data(), text.size(), nullptr)) return counts;
    text.resize(text.find('\0'));
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string item = text.substr(start, comma - start);
        start = comma + 1;
        if (item.empty() || item.size() > 4 ||
            !std::all_of(item.begin(), item.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const int count = std::stoi(item);
        if (count >= 2 && count <= kMaxRecordThreads) counts.push_back(count);
    }
    std::sort(counts.begin(), counts.end());
    counts.erase(std::unique(counts.begin(), counts.end()), counts.end());
    return counts;
}

void AddRecordedThreadCount(RegistryKey& key, int threads) {
    std::vector<int> counts = ReadRecordedThreadCounts(key);
    if (std::binary_search(counts.begin(), counts.end(), threads)) return;
    counts.insert(std::upper_bound(counts.begin(), counts.end(), threads), threads);
    std::string text;
    for (int count : counts) {
        if (!text.empty()) text += ',';
        text += std::to_string(count);
    }
    key.WriteString(threadCountsValueName, text.c_str());
}

std::vector<ThreadRecord> ReadThreadRecords(RegistryKey& key) {
    // The buffers of the classic view: a code of at most 9 characters, an os text of at most 255.
    constexpr std::size_t codeBytes = 10;
    constexpr std::size_t osBytes = 256;
    const std::vector<int> counts = ReadRecordedThreadCounts(key);
    std::vector<ThreadRecord> records;
    RecordNames names;
    for (int i = 0; i < sizeCount; ++i) {
        for (int threads : counts) {
            GetThreadRecordNames(i, threads, names);
            const std::uint32_t seconds = key.ReadDword(names.seconds.c_str(), noRecord);
            if (seconds == noRecord) continue;
            char code[codeBytes] = {};
            char os[osBytes] = {};
            ThreadRecord record{i, threads, seconds, {}, {}};
            // A missing, mistyped or too long text shows as empty.
            if (key.ReadString(names.code.c_str(), code, codeBytes, nullptr)) record.code = code;
            if (key.ReadString(names.os.c_str(), os, osBytes, nullptr)) record.os = os;
            records.push_back(std::move(record));
        }
    }
    return records;
}

void CheckStoreVersion(RegistryKey& key, StoreMessages& messages) {
    if (key.ReadDword(versionValueName, 0) == currentStoreVersion) return;
    messages.ShowMessage(versionResetMessage);

    // The reset is one exclusive unit: its thirteen values land together, and when another
    // process finished the reset while the message was up (and may have recorded a run since),
    // the store is current and is left as it is. Without a unit (no key, or the store is held
    // too long by another writer) the writes go one by one.
    const bool exclusive = key.BeginExclusive();
    if (exclusive && key.ReadDword(versionValueName, 0) == currentStoreVersion) {
        key.Commit();
        return;
    }
    key.WriteDword(versionValueName, currentStoreVersion);
    RecordNames names;
    for (int i = 0; i < sizeCount; ++i) {
        GetRecordNames(i, names);
        key.WriteDword(names.seconds.c_str(), noRecord);
        key.WriteString(names.code.c_str(), "");
        key.WriteString(names.os.c_str(), "");
    }
    if (exclusive) key.Commit();
}

}  // namespace oskelon
