#include "ui/ui_font.h"

#include <QApplication>
#include <QFontDatabase>
#include <QStringList>

namespace oskelon::ui {

QString japaneseGothicFamily() {
    // Gothic (sans-serif) families with Japanese glyph forms, in order of preference. The
    // generic CJK fonts pick Chinese forms for some kanji, so the JP variants come first.
    static const QStringList preferred = {
        QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Source Han Sans JP"),
        QStringLiteral("IPAexGothic"),      QStringLiteral("IPAPGothic"),
        QStringLiteral("TakaoPGothic"),     QStringLiteral("VL PGothic"),
    };
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : preferred) {
        if (installed.contains(family, Qt::CaseInsensitive)) return family;
    }
    return {};
}

QFont uiFont() {
    QFont font = QApplication::font();
    const QString family = japaneseGothicFamily();
    if (!family.isEmpty()) font.setFamilies({family});
    font.setPointSize(kUiPointSize);
    return font;
}

}  // namespace oskelon::ui
