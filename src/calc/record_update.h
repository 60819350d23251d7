// Replacement of a size's record by a faster completed run.
#pragma once

#include <cstdint>

#include "calc/os_version.h"
#include "calc/result_code.h"
#include "records/registry_key.h"

namespace oskelon {

// Opens key on the records key (creating it if missing) and, when totalSeconds is strictly
// below the stored seconds of the size (unsigned; a missing value reads as 0 and so never
// receives a record), writes seconds, code and os. The three values are read and written in one
// exclusive transaction, so two runs finishing at once never mix their values. The key stays
// open for the caller.
//
// threads > 1: the multi-threaded best of the size and thread count instead, whose missing
// seconds value means "none yet" (any time is a record); a new record also lists the count in
// the store's index. The classic values are never touched then.
void updateRecord(RegistryKey& key, int sizeIndex, std::uint32_t totalSeconds, ResultCode code,
                  const OsVersion& version, int threads = 1);

}  // namespace oskelon
