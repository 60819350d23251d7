// The records store's layout: the value names of each size's record and the one-time version
// reset of the store.
#pragma once

#include <cstdint>
#include <string>

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

// Where the store's version check reports before it wipes the records.
class StoreMessages {
  public:
    virtual ~StoreMessages() = default;
    virtual void ShowMessage(const std::string& text) = 0;  // modal, empty caption, "OK"
};

// Wipes all twelve records once, after a message, when the store predates the current code
// algorithm ("ver1.1" is not the DWORD 1). key must be open on recordsKeyPath.
void CheckStoreVersion(RegistryKey& key, StoreMessages& messages);

}  // namespace oskelon
