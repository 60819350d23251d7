// The records store's layout: the value names of each size's record and the one-time version
// reset of the store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// Multi-threaded runs keep their bests apart from the classic one-thread records, per size and
// thread count, in values whose names no classic name can take: the classic name and "-<N>t"
// ("104s-2t", "104c-2t", "104o-2t" for size 6 on 2 threads). Their seconds value is created by
// the first record (a missing one means "none yet"). The thread counts that hold records are
// listed in one text value, threadCountsValueName, ascending and comma-separated ("2,4"), so that
// a reader needs no enumeration of values. A version that knows only the classic names reads the
// store as before.
inline constexpr int kMaxRecordThreads = 1024;
inline constexpr const char* threadCountsValueName = "threads-recorded";
// The longest index text: every count from 2 to kMaxRecordThreads, with its comma.
inline constexpr std::size_t kThreadCountsTextBytes = 5 * kMaxRecordThreads;

// Fills names for sizeIndex 0..11 and threads 2..kMaxRecordThreads; false (names untouched) for
// any other pair.
bool GetThreadRecordNames(int sizeIndex, int threads, RecordNames& names);

// The thread counts listed in the store's index, ascending; entries that are no count in
// 2..kMaxRecordThreads are skipped.
std::vector<int> ReadRecordedThreadCounts(RegistryKey& key);
// Adds threads to the index unless it is listed; inside the caller's exclusive unit, if any.
void AddRecordedThreadCount(RegistryKey& key, int threads);

// One stored multi-threaded best.
struct ThreadRecord {
    int sizeIndex = 0;
    int threads = 0;
    std::uint32_t seconds = 0;
    std::string code;
    std::string os;
};

// Every multi-threaded best in the store, by size and then thread count, ascending. A count
// listed in the index without a seconds value (or holding noRecord) for a size has no record.
std::vector<ThreadRecord> ReadThreadRecords(RegistryKey& key);

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
