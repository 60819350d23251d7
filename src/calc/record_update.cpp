#include "calc/record_update.h"

#include "records/record_store.h"

namespace oskelon {

void updateRecord(RegistryKey& key, int sizeIndex, std::uint32_t totalSeconds, ResultCode code,
                  const OsVersion& version, int threads) {
    key.Open(RootKey::CurrentUser, recordsKeyPath);
    const bool threaded = threads > 1;
    RecordNames names;
    if (threaded) {
        if (!GetThreadRecordNames(sizeIndex, threads, names)) return;
    } else {
        GetRecordNames(sizeIndex, names);
    }
    // Without the exclusive unit (the store is busy or cannot be written) nothing is written:
    // three separate writes could mix this run's values with another's.
    if (!key.BeginExclusive()) return;
    const std::uint32_t stored = key.ReadDword(names.seconds.c_str(), threaded ? noRecord : 0);
    if (totalSeconds < stored) {
        key.WriteDword(names.seconds.c_str(), totalSeconds);
        key.WriteString(names.code.c_str(), formatResultCode(code).c_str());
        key.WriteString(names.os.c_str(), osDescription(version).c_str());
        if (threaded) AddRecordedThreadCount(key, threads);
    }
    key.Commit();
}

}  // namespace oskelon
