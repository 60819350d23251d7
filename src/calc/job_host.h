// JobHost: everything the calculation job needs from the outside world (the window or the
// command-line runner). Every call takes effect before it returns, in call order. A host that
// has stopped the job drops the calls that still arrive.
#pragma once

#include <string>

#include "calc/records_host.h"
#include "calc/working_set.h"

namespace oskelon {

class JobHost : public RecordsHost {
  public:
    // The size list's current selection (0..11, -1 when there is none); read once per run.
    virtual int SelectedSizeIndex() = 0;
    // A modal message whose caption is the application's name.
    virtual void ShowAppMessage(const std::string& text) = 0;
    // A failure at the program's edge (files); by default shown like any application message.
    virtual void ShowError(const std::string& text) { ShowAppMessage(text); }
    // The nine slots the job allocates into and releases from.
    virtual WorkingSet& workingSet() = 0;
};

}  // namespace oskelon
