// ViewHost: a RecordsHost for the records view's and the store's tests. It keeps the list and
// the result text as the window would, and logs every call.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "calc/records_host.h"

namespace oskelon::test {

// ViewHost: a RecordsHost that keeps the list and the result text as the window would, and logs
// every call.
class ViewHost : public RecordsHost {
  public:
    std::vector<std::string> list;
    std::string resultText;
    std::vector<std::string> messages;
    std::vector<std::string> calls;  // "AddListLine", "ClearList", ..., in call order
    std::vector<std::string> displayNames;
    std::vector<std::pair<MainButton, bool>> buttonChanges;
    std::function<void()> onMessage;  // runs while the message is "up"

    void AddListLine(const std::string& text) override {
        calls.emplace_back("AddListLine");
        list.push_back(text);
    }
    void ClearList() override {
        calls.emplace_back("ClearList");
        list.clear();
    }
    void ClearResultText() override {
        calls.emplace_back("ClearResultText");
        resultText.clear();
    }
    void AppendResultText(const std::string& text) override {
        calls.emplace_back("AppendResultText");
        resultText += text;
    }
    void EnableButton(MainButton button, bool on) override {
        calls.emplace_back("EnableButton");
        buttonChanges.emplace_back(button, on);
    }
    void ShowMessage(const std::string& text) override {
        calls.emplace_back("ShowMessage");
        messages.push_back(text);
        if (onMessage) onMessage();
    }
    std::string SizeDisplayName(int sizeIndex) override {
        calls.emplace_back("SizeDisplayName");
        if (sizeIndex < 0 || static_cast<std::size_t>(sizeIndex) >= displayNames.size()) {
            return "?";
        }
        return displayNames[sizeIndex];
    }
};

}  // namespace oskelon::test
