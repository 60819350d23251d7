// A JobHost that records every call, for the job's tests.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "calc/job_host.h"
#include "calc/sizes.h"

namespace oskelon::test {

class FakeHost : public JobHost {
  public:
    explicit FakeHost(int sizeIndex) : sizeIndex_(sizeIndex) {}

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
    }
    void ShowMessage(const std::string& text) override { note("message:" + text); }
    void ShowAppMessage(const std::string& text) override { note("appMessage:" + text); }
    void ShowError(const std::string& text) override { note("error:" + text); }
    std::string SizeDisplayName(int sizeIndex) override { return sizeDisplayName(sizeIndex); }
    WorkingSet& workingSet() override { return workingSet_; }

    std::size_t callCount() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls.size();
    }

    // Called with the number of calls so far (1 for the first) after every call.
    std::function<void(int)> afterCall;

    std::vector<std::string> calls;
    std::vector<std::string> list;
    std::string resultText;
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
