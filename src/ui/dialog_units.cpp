#include "ui/dialog_units.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <algorithm>
#include <cmath>

namespace oskelon::ui {
namespace {

// a * b / c rounded to nearest, halves away from zero; the operands are small and positive.
int scaleRounded(int a, int b, int c) {
    return static_cast<int>((static_cast<long long>(a) * b * 2 + c) / (2LL * c));
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = std::max(1, (letters / 26 + 1) / 2);
    baseY_ = std::max(1, static_cast<int>(std::lround(QFontInfo(font).pixelSize())));
}

int DialogUnits::toPixelsX(int x) const {
    return scaleRounded(x, baseX_, 4);
}
int DialogUnits::toPixelsY(int y) const {
    return scaleRounded(y, baseY_, 8);
}

QRect DialogUnits::rect(int x, int y, int width, int height) const {
    const int left = toPixelsX(x);
    const int top = toPixelsY(y);
    // Edges are mapped, not sizes, so that neighbouring controls meet without a rounding gap.
    return QRect(left, top, toPixelsX(x + width) - left, toPixelsY(y + height) - top);
}

QSize DialogUnits::size(int width, int height) const {
    return QSize(toPixelsX(width), toPixelsY(height));
}

}  // namespace oskelon::ui
