// What the records view and the store's version check need of the window they report to.
#pragma once

#include <string>

namespace oskelon {

// The four buttons of the main window, by role.
enum class MainButton { Calc, Stop, Copy, Record };

// The window operations the records view uses. The calculation job's host (JobHost) extends
// this interface; the window and the command-line runner implement it.
class RecordsHost {
  public:
    virtual ~RecordsHost() = default;

    virtual void AddListLine(const std::string& text) = 0;       // one line at the end of the list
    virtual void ClearList() = 0;                                // remove every list line
    virtual void ClearResultText() = 0;                          // resultText := ""
    virtual void AppendResultText(const std::string& text) = 0;  // line ends are part of text
    virtual void EnableButton(MainButton button, bool on) = 0;
    virtual void ShowMessage(const std::string& text) = 0;   // modal, empty caption, "OK"
    virtual std::string SizeDisplayName(int sizeIndex) = 0;  // item text of the size list
};

}  // namespace oskelon
