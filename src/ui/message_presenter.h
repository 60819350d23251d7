// The window's modal message boxes, behind an interface so that the window tests can answer them
// without a modal loop.
#pragma once

#include <QString>
#include <memory>
#include <string>

class QMessageBox;
class QWidget;

namespace oskelon::ui {

enum class MessageKind {
    Plain,        // empty caption, "OK", no icon (ShowMessage)
    Application,  // the application's name as caption, "OK" (ShowAppMessage)
    Error,        // as Application, with a warning icon (ShowError: a file could not be written)
};

class MessagePresenter {
  public:
    virtual ~MessagePresenter() = default;
    // Shows text modally over parent (nullptr: over no window) and returns when it is closed.
    virtual void showMessage(QWidget* parent, MessageKind kind, const std::string& text) = 0;
    // The Yes/No question with an empty caption; true for Yes.
    virtual bool askYesNo(QWidget* parent, const std::string& text) = 0;
};

// The real boxes (QMessageBox).
class BoxPresenter : public MessagePresenter {
  public:
    void showMessage(QWidget* parent, MessageKind kind, const std::string& text) override;
    bool askYesNo(QWidget* parent, const std::string& text) override;
};

// A message text for the toolkit: UTF-8, with the CR LF line breaks as line feeds.
QString messageText(const std::string& text);

// The boxes BoxPresenter shows, built but not shown (the tests look at them).
std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, MessageKind kind,
                                            const std::string& text);
std::unique_ptr<QMessageBox> makeYesNoBox(QWidget* parent, const std::string& text);

// The caption of a box with an empty caption. The X11 platform layer replaces an empty window
// title with the application's name, so the caption is one space, which reads as empty.
inline const QString kEmptyCaption = QStringLiteral(" ");

}  // namespace oskelon::ui
