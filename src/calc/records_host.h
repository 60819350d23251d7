// What the records view needs of the window it fills.
#pragma once

#include <string>

#include "records/record_store.h"

namespace oskelon {

// The four buttons of the main window, by role.
enum class MainButton { Calc, Stop, Copy, Record };

// The window operations the records view uses; ShowMessage (StoreMessages) also serves the
// store's version check. The calculation job's host (JobHost) extends this interface; the window
// and the command-line runner implement it.
class RecordsHost : public StoreMessages {
  public:
    virtual void AddListLine(const std::string& text) = 0;       // one line at the end of the list
    virtual void ClearList() = 0;                                // remove every list line
    virtual void ClearResultText() = 0;                          // resultText := ""
    virtual void AppendResultText(const std::string& text) = 0;  // line ends are part of text
    virtual void EnableButton(MainButton button, bool on) = 0;
    virtual std::string SizeDisplayName(int sizeIndex) = 0;  // item text of the size list
};

}  // namespace oskelon
