// The records view: the twelve stored records as list lines and as the result text.
#pragma once

#include "calc/records_host.h"

namespace oskelon {

// Lists the twelve records in the host's list and rebuilds its result text; enables "Copy".
void ShowRecords(RecordsHost& host);

}  // namespace oskelon
