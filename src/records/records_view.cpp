// Record value names, the one-time version reset and the records view.
//
// The Japanese texts are byte strings in the platform's text encoding; this file is UTF-8 and so
// are the narrow literals the compiler makes of it (the tests check the bytes).
#include "records/records_view.h"

#include <cstdint>
#include <string>

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

// The view's read buffers: a code of at most 9 characters, an os text of at most 255.
constexpr std::size_t codeBufferSize = 10;
constexpr std::size_t osBufferSize = 256;

struct StoredRecord {
    std::uint32_t seconds = 0;
    char code[codeBufferSize] = {};
    char os[osBufferSize] = {};
};

// Both the list line and its result-text form.
void addLine(RecordsHost& host, const std::string& line, const char* lineEnd) {
    host.AddListLine(line);
    host.AppendResultText(line + lineEnd);
}

}  // namespace

void GetRecordNames(int sizeIndex, RecordNames& names) {
    if (sizeIndex < 0 || sizeIndex >= sizeCount) return;
    const std::string prefix = recordPrefixes[sizeIndex];
    names.seconds = prefix + "s";
    names.code = prefix + "c";
    names.os = prefix + "o";
}

void CheckStoreVersion(RegistryKey& key, RecordsHost& host) {
    if (key.ReadDword(versionValueName, 0) == currentStoreVersion) return;
    host.ShowMessage(versionResetMessage);

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

void ShowRecords(RecordsHost& host) {
    host.EnableButton(MainButton::Copy, true);
    host.ClearList();
    host.ClearResultText();

    StoredRecord records[sizeCount];
    {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        RecordNames names;
        for (int i = 0; i < sizeCount; ++i) {
            GetRecordNames(i, names);
            records[i].seconds = key.ReadDword(names.seconds.c_str(), 0);
            // A failed read may leave anything in its buffer; a missing, mistyped or too long text
            // shows as empty.
            if (!key.ReadString(names.code.c_str(), records[i].code, codeBufferSize, nullptr)) {
                records[i].code[0] = '\0';
            }
            if (!key.ReadString(names.os.c_str(), records[i].os, osBufferSize, nullptr)) {
                records[i].os[0] = '\0';
            }
        }
    }

    addLine(host, "<Oskelon result>", "\r\n\r\n");
    host.AddListLine("");
    for (int i = 0; i < sizeCount; ++i) {
        const std::string name = host.SizeDisplayName(i);
        const StoredRecord& record = records[i];
        if (record.seconds == noRecord) {
            addLine(host, "未計算 : [" + name + "]", "\r\n");
            continue;
        }
        // "%d": the unsigned time shows as a signed number, 2^31 and above as negative.
        const auto shownSeconds = static_cast<std::int32_t>(record.seconds);
        addLine(host, "<" + name + ">", "\r\n");
        addLine(host, "[total]:" + std::to_string(shownSeconds) + "s", "\r\n");
        addLine(host, std::string("[code]:") + record.code, "\r\n");
        addLine(host, std::string("[os]:") + record.os, "\r\n\r\n");
        host.AddListLine("");
    }
}

}  // namespace oskelon
