// The About box: the icon, the program's name and version, and "OK".
#pragma once

#include <QDialog>

#include "oskelon_version.h"

class QLabel;
class QPushButton;

namespace oskelon::ui {

inline constexpr const char* kAboutCaption = "Oskelonのﾊﾞｰｼﾞｮﾝ情報";
inline constexpr const char* kVersionText = OSKELON_VERSION_TEXT;

class AboutDialog : public QDialog {
    Q_OBJECT

  public:
    explicit AboutDialog(QWidget* parent = nullptr);

    QLabel* iconLabel() const { return iconLabel_; }
    QLabel* versionLabel() const { return versionLabel_; }
    QPushButton* okButton() const { return okButton_; }

  private:
    QLabel* iconLabel_;
    QLabel* versionLabel_;
    QPushButton* okButton_;
};

}  // namespace oskelon::ui
