#include "ui/message_presenter.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>

namespace oskelon::ui {

QString messageText(const std::string& text) {
    QString converted = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    converted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return converted;
}

namespace {

// Plain buttons: some styles put icons on the standard buttons of a box.
void plainButtons(QMessageBox& box) {
    for (QAbstractButton* button : box.buttons()) button->setIcon(QIcon());
}

}  // namespace

std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, MessageKind kind,
                                            const std::string& text) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setTextFormat(Qt::PlainText);
    box->setText(messageText(text));
    box->setStandardButtons(QMessageBox::Ok);
    box->setDefaultButton(QMessageBox::Ok);
    switch (kind) {
        case MessageKind::Plain:
            box->setWindowTitle(kEmptyCaption);
            box->setIcon(QMessageBox::NoIcon);
            break;
        case MessageKind::Application:
            box->setWindowTitle(QCoreApplication::applicationName());
            box->setIcon(QMessageBox::NoIcon);
            break;
        case MessageKind::Error:
            box->setWindowTitle(QCoreApplication::applicationName());
            box->setIcon(QMessageBox::Warning);
            break;
    }
    plainButtons(*box);
    return box;
}

std::unique_ptr<QMessageBox> makeYesNoBox(QWidget* parent, const std::string& text) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setTextFormat(Qt::PlainText);
    box->setText(messageText(text));
    box->setWindowTitle(kEmptyCaption);
    box->setIcon(QMessageBox::NoIcon);
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::Yes);
    plainButtons(*box);
    return box;
}

void BoxPresenter::showMessage(QWidget* parent, MessageKind kind, const std::string& text) {
    makeMessageBox(parent, kind, text)->exec();
}

bool BoxPresenter::askYesNo(QWidget* parent, const std::string& text) {
    return makeYesNoBox(parent, text)->exec() == QMessageBox::Yes;
}

}  // namespace oskelon::ui
