#include "ui/about_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "ui/app_icon.h"
#include "ui/dialog_units.h"
#include "ui/ui_font.h"

namespace oskelon::ui {

// Layout in dialog units (x, y, width, height): the box is 235 x 55, the icon's top left corner
// at 11, 17, the text at 40, 10, 78, 8, "OK" at 178, 7, 50, 14.
AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      iconLabel_(new QLabel(this)),
      versionLabel_(new QLabel(QString::fromUtf8(kVersionText), this)),
      okButton_(new QPushButton(QStringLiteral("OK"), this)) {
    setWindowTitle(QString::fromUtf8(kAboutCaption));
    setFont(uiFont());
    const DialogUnits units(font());

    // The icon keeps the platform's standard icon size, as an icon control does.
    const int iconSide = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    const QPoint iconAt = units.rect(11, 17, 0, 0).topLeft();
    iconLabel_->setGeometry(QRect(iconAt, QSize(iconSide, iconSide)));
    iconLabel_->setPixmap(appIcon().pixmap(iconSide, iconSide));

    versionLabel_->setGeometry(units.rect(40, 10, 78, 8));
    okButton_->setGeometry(units.rect(178, 7, 50, 14));
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(units.size(235, 55));
}

}  // namespace oskelon::ui
