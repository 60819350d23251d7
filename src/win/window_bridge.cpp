#include "win/window_bridge.h"

#include <exception>

#include "win/main_dialog.h"

namespace oskelon::win {

WindowBridge::WindowBridge(MainDialog& window, HWND hwnd) : window_(window), hwnd_(hwnd) {}

void WindowBridge::serve(LPARAM message) {
    Call& call = *reinterpret_cast<Call*>(message);
    if (call.bridge->detached()) return;
    try {
        call.invoke(call.operation);
        call.done = true;
    } catch (const std::exception&) {
        // An operation that fails (no memory for a list line) is dropped like a detached one;
        // nothing may unwind through the window procedure into the job's SendMessage.
    }
}

template <typename Result, typename Operation>
Result WindowBridge::call(Operation operation, Result dropped) {
    if (detached()) return dropped;
    Result result = dropped;
    auto run = [&] { result = operation(); };
    Call message{this, [](void* op) { (*static_cast<decltype(run)*>(op))(); }, &run, false};
    // The window exists until this thread has ended (JobRun), so the message is always served
    // or dropped, never lost; SendMessage gives 0 without calling only for a window that is gone.
    SendMessageW(hwnd_, kJobCallMessage, 0, reinterpret_cast<LPARAM>(&message));
    return message.done ? result : dropped;
}

template <typename Operation>
void WindowBridge::call(Operation operation) {
    call<bool>(
        [&] {
            operation();
            return true;
        },
        false);
}

int WindowBridge::SelectedSizeIndex() {
    return call<int>(
        [this] {
            const int sizeIndex = window_.SelectedSizeIndex();
            window_.jobReadSize(sizeIndex);
            return sizeIndex;
        },
        -1);
}

void WindowBridge::AddListLine(const std::string& text) {
    call([&] { window_.AddListLine(text); });
}

void WindowBridge::ClearList() {
    call([&] { window_.ClearList(); });
}

void WindowBridge::ClearResultText() {
    call([&] { window_.ClearResultText(); });
}

void WindowBridge::AppendResultText(const std::string& text) {
    call([&] { window_.AppendResultText(text); });
}

void WindowBridge::EnableButton(MainButton button, bool on) {
    call([&] { window_.EnableButton(button, on); });
}

void WindowBridge::ShowMessage(const std::string& text) {
    call([&] { window_.ShowMessage(text); });
}

void WindowBridge::ShowAppMessage(const std::string& text) {
    call([&] { window_.ShowAppMessage(text); });
}

void WindowBridge::ShowError(const std::string& text) {
    call([&] { window_.ShowError(text); });
}

std::string WindowBridge::SizeDisplayName(int sizeIndex) {
    return call<std::string>([&] { return window_.SizeDisplayName(sizeIndex); }, std::string());
}

WorkingSet& WindowBridge::workingSet() {
    return window_.workingSet();
}

}  // namespace oskelon::win
