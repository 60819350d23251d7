// The window's font: a Japanese Gothic at 9 points where one is installed.
#pragma once

#include <QFont>
#include <QString>

namespace oskelon::ui {

inline constexpr int kUiPointSize = 9;

// The first installed family of a list of Japanese Gothic fonts ("Noto Sans CJK JP" first), or
// an empty text when none is installed.
QString japaneseGothicFamily();

// The Japanese Gothic at 9 points; the application's default family at 9 points without one.
QFont uiFont();

}  // namespace oskelon::ui
