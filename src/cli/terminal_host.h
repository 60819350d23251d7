// JobHost on a terminal: list lines and messages go to standard output as they come.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "calc/job_host.h"

namespace oskelon {

class TerminalHost : public JobHost {
  public:
    // Text prints the list lines and messages as they are; JsonLines prints each as a JSON
    // object on a line of its own ({"event": "line", "text": ...}).
    enum class Format { Text, JsonLines };

    TerminalHost(int sizeIndex, std::FILE* out, std::FILE* err, Format format = Format::Text);

    int SelectedSizeIndex() override { return sizeIndex_; }
    void AddListLine(const std::string& text) override;
    void ClearList() override {}
    void ClearResultText() override;
    void AppendResultText(const std::string& text) override;
    void EnableButton(MainButton, bool) override {}
    void ShowMessage(const std::string& text) override;
    void ShowAppMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;
    std::string SizeDisplayName(int sizeIndex) override;
    WorkingSet& workingSet() override { return workingSet_; }

    // From here on the job's calls are dropped; returns after any call in progress has ended.
    void detachJob();
    // A message of the runner itself, printed even after detachJob().
    void printMessage(const std::string& text);
    // A line of the runner's own (verdict, timing) or, in JSON-lines mode, an event object.
    void printLine(const std::string& text);
    void printEvent(const std::string& jsonObject);
    Format format() const { return format_; }

    std::string resultText();

  private:
    void emitLocked(std::FILE* stream, const std::string& text);
    void emitEventLocked(const char* kind, const std::string& text);

    int sizeIndex_;
    Format format_;
    std::FILE* out_;
    std::FILE* err_;
    std::mutex mutex_;
    bool detached_ = false;
    std::string resultText_;
    WorkingSet workingSet_;
};

// A message text for a terminal: the dialog's CR LF line breaks become plain line ends.
std::string terminalText(const std::string& text);

}  // namespace oskelon
