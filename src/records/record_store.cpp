// Record value names and the one-time version reset.
//
// The Japanese texts are byte strings in the platform's text encoding; this file is UTF-8 and so
// are the narrow literals the compiler makes of it (the tests check the bytes).
#include "records/record_store.h"

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

}  // namespace

void GetRecordNames(int sizeIndex, RecordNames& names) {
    if (sizeIndex < 0 || sizeIndex >= sizeCount) return;
    const std::string prefix = recordPrefixes[sizeIndex];
    names.seconds = prefix + "s";
    names.code = prefix + "c";
    names.os = prefix + "o";
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
