#include "ui/window_bridge.h"

#include <QMetaObject>

#include "ui/main_dialog.h"

namespace oskelon::ui {

WindowBridge::WindowBridge(MainDialog& window, QObject& context)
    : gate_(std::make_shared<Gate>()), window_(window), context_(context) {}

void WindowBridge::detach() {
    std::lock_guard<std::mutex> lock(gate_->mutex);
    gate_->detached = true;
    gate_->changed.notify_all();
}

bool WindowBridge::detached() const {
    std::lock_guard<std::mutex> lock(gate_->mutex);
    return gate_->detached;
}

// The call's state is shared between the two threads and outlives either side's interest in it:
// a detached job thread returns at once, while the window may still be inside the operation (a
// modal message) and finishes it later. The gate's mutex guards `done`, `result` and `detached`.
// The operation itself runs without the lock, since a modal message runs an event loop in which
// the window may detach.
template <typename Result, typename Operation>
Result WindowBridge::call(Operation operation, Result dropped) {
    struct Pending {
        bool done = false;
        Result result;
    };
    auto pending = std::make_shared<Pending>();
    {
        std::lock_guard<std::mutex> lock(gate_->mutex);
        if (gate_->detached) return dropped;
    }
    QMetaObject::invokeMethod(
        &context_,
        [gate = gate_, pending, operation = std::move(operation)]() mutable {
            {
                std::lock_guard<std::mutex> lock(gate->mutex);
                if (gate->detached) return;
            }
            Result result = operation();
            std::lock_guard<std::mutex> lock(gate->mutex);
            pending->result = std::move(result);
            pending->done = true;
            gate->changed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(gate_->mutex);
    gate_->changed.wait(lock, [&] { return pending->done || gate_->detached; });
    return pending->done ? pending->result : dropped;
}

template <typename Operation>
void WindowBridge::call(Operation operation) {
    call<bool>(
        [operation = std::move(operation)]() mutable {
            operation();
            return true;
        },
        false);
}

int WindowBridge::SelectedSizeIndex() {
    MainDialog& window = window_;
    return call<int>(
        [&window] {
            const int sizeIndex = window.SelectedSizeIndex();
            window.jobReadSize(sizeIndex);
            return sizeIndex;
        },
        -1);
}

void WindowBridge::AddListLine(const std::string& text) {
    MainDialog& window = window_;
    call([&window, text] { window.AddListLine(text); });
}

void WindowBridge::ClearList() {
    MainDialog& window = window_;
    call([&window] { window.ClearList(); });
}

void WindowBridge::ClearResultText() {
    MainDialog& window = window_;
    call([&window] { window.ClearResultText(); });
}

void WindowBridge::AppendResultText(const std::string& text) {
    MainDialog& window = window_;
    call([&window, text] { window.AppendResultText(text); });
}

void WindowBridge::EnableButton(MainButton button, bool on) {
    MainDialog& window = window_;
    call([&window, button, on] { window.EnableButton(button, on); });
}

void WindowBridge::ShowMessage(const std::string& text) {
    MainDialog& window = window_;
    call([&window, text] { window.ShowMessage(text); });
}

void WindowBridge::ShowAppMessage(const std::string& text) {
    MainDialog& window = window_;
    call([&window, text] { window.ShowAppMessage(text); });
}

void WindowBridge::ShowError(const std::string& text) {
    MainDialog& window = window_;
    call([&window, text] { window.ShowError(text); });
}

std::string WindowBridge::SizeDisplayName(int sizeIndex) {
    MainDialog& window = window_;
    return call<std::string>([&window, sizeIndex] { return window.SizeDisplayName(sizeIndex); },
                             std::string());
}

WorkingSet& WindowBridge::workingSet() {
    return window_.workingSet();
}

}  // namespace oskelon::ui
