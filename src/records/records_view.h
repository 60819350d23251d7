// The records: value names per size, the one-time version reset and the records view.
#pragma once

#include <cstdint>
#include <string>

#include "records/records_host.h"
#include "records/registry_key.h"

namespace oskelon {

// A size that has not been computed yet; compares above every real time (unsigned).
inline constexpr std::uint32_t noRecord = 0xFFFFFFFFu;

// The three value names of one size's record, e.g. "104s", "104c", "104o" for size 6.
struct RecordNames {
    std::string seconds;
    std::string code;
    std::string os;
};

// Fills names for sizeIndex 0..11; any other index leaves names untouched.
void GetRecordNames(int sizeIndex, RecordNames& names);

// Wipes all twelve records once, after a message, when the store predates the current code
// algorithm ("ver1.1" is not the DWORD 1). key must be open on recordsKeyPath.
void CheckStoreVersion(RegistryKey& key, RecordsHost& host);

// Lists the twelve records in the host's list and rebuilds its result text; enables "Copy".
void ShowRecords(RecordsHost& host);

}  // namespace oskelon
