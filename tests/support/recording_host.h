// RecordingHost: a JobHost that keeps the list and the result text as the window would and logs
// every call, for the tests of the job, the records view and the store's version check.
//
// The log holds one entry per call: "select", "line:<text>", "clearList", "clearText",
// "text:<text>", "enable:<button>", "disable:<button>", "message:<text>", "appMessage:<text>",
// "error:<text>". SizeDisplayName is not logged.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "calc/job_host.h"
#include "calc/sizes.h"

namespace oskelon::test {

class RecordingHost : public JobHost {
  public:
    explicit RecordingHost(int sizeIndex = -1) : sizeIndex_(sizeIndex) {}

    int SelectedSizeIndex() override {
        note("select");
        return sizeIndex_;
    }
    void AddListLine(const std::string& text) override {
        note("line:" + text);
        list.push_back(text);
    }
    void ClearList() override {
        note("clearList");
        list.clear();
    }
    void ClearResultText() override {
        note("clearText");
        resultText.clear();
    }
    void AppendResultText(const std::string& text) override {
        note("text:" + text);
        resultText += text;
    }
    void EnableButton(MainButton button, bool on) override {
        static const char* names[] = {"Calc", "Stop", "Copy", "Record"};
        note(std::string(on ? "enable:" : "disable:") + names[static_cast<int>(button)]);
        enabled[static_cast<int>(button)] = on;
        buttonChanges.emplace_back(button, on);
    }
    void ShowMessage(const std::string& text) override {
        note("message:" + text);
        messages.push_back(text);
        if (onMessage) onMessage();
    }
    void ShowAppMessage(const std::string& text) override { note("appMessage:" + text); }
    void ShowError(const std::string& text) override { note("error:" + text); }
    // The size list's names: displayNames when set ("?" outside them), else the program's own.
    std::string SizeDisplayName(int sizeIndex) override {
        if (displayNames.empty()) return sizeDisplayName(sizeIndex);
        if (sizeIndex < 0 || static_cast<std::size_t>(sizeIndex) >= displayNames.size()) {
            return "?";
        }
        return displayNames[sizeIndex];
    }
    WorkingSet& workingSet() override { return workingSet_; }

    std::size_t callCount() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls.size();
    }

    // Called with the number of calls so far (1 for the first) after every call.
    std::function<void(int)> afterCall;
    // Runs while a ShowMessage message is "up".
    std::function<void()> onMessage;

    std::vector<std::string> calls;
    std::vector<std::string> list;
    std::string resultText;
    std::vector<std::string> messages;  // the ShowMessage texts
    std::vector<std::pair<MainButton, bool>> buttonChanges;
    std::vector<std::string> displayNames;
    bool enabled[4] = {true, false, true, true};  // Calc, Stop, Copy, Record

  private:
    void note(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls.push_back(call);
        if (afterCall) afterCall(static_cast<int>(calls.size()));
    }

    int sizeIndex_;
    WorkingSet workingSet_;
    std::mutex mutex_;
};

}  // namespace oskelon::test
