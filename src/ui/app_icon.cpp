#include "ui/app_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace oskelon::ui {

QIcon appIcon() {
    // Rendered here rather than through the SVG icon-engine plugin, which is a separate package
    // that a system may lack; this way the icon depends only on what the program links.
    QSvgRenderer renderer{QString::fromLatin1(kAppIconResource)};
    if (!renderer.isValid()) return {};
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace oskelon::ui
