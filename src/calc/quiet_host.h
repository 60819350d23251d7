// A JobHost that shows nothing: for runs whose progress is reported elsewhere (the stability
// test's workers, developer tools). The last application message or error is kept, with the
// dialog's CR LF line breaks as plain line ends, for the caller to report.
#pragma once

#include <string>
#include <utility>

#include "calc/job_host.h"
#include "calc/sizes.h"

namespace oskelon {

class QuietHost : public JobHost {
  public:
    explicit QuietHost(int sizeIndex) : sizeIndex_(sizeIndex) {}

    int SelectedSizeIndex() override { return sizeIndex_; }
    void AddListLine(const std::string&) override {}
    void ClearList() override {}
    void ClearResultText() override {}
    void AppendResultText(const std::string&) override {}
    void EnableButton(MainButton, bool) override {}
    void ShowMessage(const std::string&) override {}
    void ShowAppMessage(const std::string& text) override { problem_ = plainLines(text); }
    void ShowError(const std::string& text) override { problem_ = plainLines(text); }
    std::string SizeDisplayName(int sizeIndex) override { return sizeDisplayName(sizeIndex); }
    WorkingSet& workingSet() override { return workingSet_; }

    // The last message or error since the previous call ("" when none).
    std::string takeProblem() { return std::exchange(problem_, {}); }

  private:
    static std::string plainLines(const std::string& text) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i)
            if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
        return out;
    }

    int sizeIndex_;
    std::string problem_;
    WorkingSet workingSet_;
};

}  // namespace oskelon
