// What the window tests share: a message presenter that answers without a modal loop and notes
// what the window looked like at each message, waiting helpers, and a fixture with a window on a
// fresh records store of its own.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "calc/records_view.h"
#include "records/record_store.h"
#include "records/registry_key.h"
#include "support/temp_store.h"
#include "ui/main_dialog.h"

namespace oskelon::test {

using ui::MainDialog;
using ui::MessageKind;

// Button states in the order Calc, Stop, Copy, Record.
using ButtonStates = std::array<bool, 4>;
inline constexpr ButtonStates kIdle = {true, false, true, true};

inline ButtonStates buttonStates(const MainDialog& window) {
    return {window.button(MainButton::Calc)->isEnabled(),
            window.button(MainButton::Stop)->isEnabled(),
            window.button(MainButton::Copy)->isEnabled(),
            window.button(MainButton::Record)->isEnabled()};
}

inline std::vector<std::string> listLines(const MainDialog& window) {
    std::vector<std::string> lines;
    for (int i = 0; i < window.resultList()->count(); ++i)
        lines.push_back(window.resultList()->item(i)->text().toStdString());
    return lines;
}

// One message as the window showed it, with the window's state at that moment.
struct Shown {
    MessageKind kind;
    std::string text;
    bool windowVisible;
    ButtonStates buttons;
    std::vector<std::string> list;
    std::string resultText;
};

class FakePresenter : public ui::MessagePresenter {
  public:
    void showMessage(QWidget* parent, MessageKind kind, const std::string& text) override {
        Shown shown{kind, text, false, {}, {}, {}};
        if (window != nullptr) {
            shown.windowVisible = window->isVisible();
            shown.buttons = buttonStates(*window);
            shown.list = listLines(*window);
            shown.resultText = window->resultText();
        }
        EXPECT_TRUE(parent == nullptr || parent == window) << "a message over a foreign window";
        messages.push_back(shown);
        if (whileShown) whileShown(messages.back());
    }
    bool askYesNo(QWidget*, const std::string& text) override {
        questions.push_back(text);
        if (answers.empty()) {
            ADD_FAILURE() << "an unexpected question: " << text;
            return false;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> result;
        for (const Shown& s : messages) result.push_back(s.text);
        return result;
    }

    MainDialog* window = nullptr;
    std::vector<Shown> messages;
    std::vector<std::string> questions;
    std::deque<bool> answers;
    // Runs while a message is "up" (the event loop may be run from here).
    std::function<void(const Shown&)> whileShown;
};

// Runs the event loop until done() holds; false on timeout.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QTest::qWait(2);
    }
    return true;
}

// Records every enabling and disabling of a widget, in order.
class EnabledWatcher : public QObject {
  public:
    explicit EnabledWatcher(QWidget* widget) : widget_(widget) { widget->installEventFilter(this); }
    std::vector<bool> changes;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget_ && event->type() == QEvent::EnabledChange)
            changes.push_back(widget_->isEnabled());
        return false;
    }

  private:
    QWidget* widget_;
};

// The store's record of one size.
struct StoredRecord {
    std::uint32_t seconds;
    std::string code;
    std::string os;
};

inline StoredRecord readRecord(int sizeIndex) {
    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    RecordNames names;
    GetRecordNames(sizeIndex, names);
    char code[64] = {};
    char os[512] = {};
    StoredRecord record{key.ReadDword(names.seconds.c_str(), 12345), {}, {}};
    if (key.ReadString(names.code.c_str(), code, sizeof code, "?")) record.code = code;
    if (key.ReadString(names.os.c_str(), os, sizeof os, "?")) record.os = os;
    return record;
}

// A window on a fresh store in a temporary directory, its output file there too; shown (so
// started up) by show(). The version message of the fresh store is answered by the presenter.
class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        presenter = std::make_shared<FakePresenter>();
        window = std::make_unique<MainDialog>(presenter);
        presenter->window = window.get();
        JobOptions options;
        options.outputFile = piFile();
        window->setJobOptions(options);
    }
    void TearDown() override { window.reset(); }

    std::string piFile() const { return dir.file("pi.dat"); }

    void show() {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // Starts a run of sizeIndex and waits for its end; false on timeout.
    bool runToEnd(int sizeIndex, int timeoutMs = 60000) {
        bool finished = false;
        auto connection = QObject::connect(window.get(), &MainDialog::jobFinished,
                                           [&finished](unsigned) { finished = true; });
        window->sizeCombo()->setCurrentIndex(sizeIndex);
        window->button(MainButton::Calc)->click();
        const bool ok = waitUntil([&] { return finished; }, timeoutMs);
        QObject::disconnect(connection);
        return ok;
    }

    TempDir dir;  // first: points the records store into the temporary directory
    std::shared_ptr<FakePresenter> presenter;
    std::unique_ptr<MainDialog> window;
};

}  // namespace oskelon::test
