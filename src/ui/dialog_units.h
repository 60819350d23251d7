// Dialog units: the window's layout is given in units of its font, a quarter of the average
// character width across and an eighth of the character height down, so that it grows with the
// font and the screen's resolution.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace oskelon::ui {

class DialogUnits {
  public:
    // Base units measured from font: baseX is the average advance of the 52 Latin letters,
    // rounded half up; baseY is the font's em height in pixels. (The em height, not the line
    // spacing: the Japanese Gothic the layout was drawn for has a cell as high as its em, while
    // the CJK fonts of Linux space their lines about 1.45 em apart and would stretch the window.)
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseX, int baseY) : baseX_(baseX), baseY_(baseY) {}

    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }

    // x * baseX / 4 and y * baseY / 8, rounded to the nearest pixel.
    int toPixelsX(int x) const;
    int toPixelsY(int y) const;
    QRect rect(int x, int y, int width, int height) const;
    QSize size(int width, int height) const;

  private:
    int baseX_;
    int baseY_;
};

}  // namespace oskelon::ui
