// The records view: the twelve stored records (and the multi-threaded bests) as list lines and
// as the result text.
#pragma once

#include "calc/records_host.h"

namespace oskelon {

// Lists the twelve records in the host's list and rebuilds its result text; enables "Copy".
// Multi-threaded bests, when the store holds any, follow in the same form.
void ShowRecords(RecordsHost& host);

}  // namespace oskelon
