#include "calc/record_update.h"

#include "records/records_view.h"

namespace oskelon {

void updateRecord(RegistryKey& key, int sizeIndex, std::uint32_t totalSeconds, ResultCode code,
                  const OsVersion& version) {
    key.Open(RootKey::CurrentUser, recordsKeyPath);
    RecordNames names;
    GetRecordNames(sizeIndex, names);
    const bool exclusive = key.BeginExclusive();
    const std::uint32_t stored = key.ReadDword(names.seconds.c_str(), 0);
    if (totalSeconds < stored) {
        key.WriteDword(names.seconds.c_str(), totalSeconds);
        key.WriteString(names.code.c_str(), formatResultCode(code).c_str());
        key.WriteString(names.os.c_str(), osDescription(version).c_str());
    }
    if (exclusive) key.Commit();
}

}  // namespace oskelon
