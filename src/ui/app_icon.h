// The application icon, drawn from the SVG in the resources at the usual icon sizes.
#pragma once

#include <QIcon>

namespace oskelon::ui {

// The resource path of the icon's SVG.
inline constexpr const char* kAppIconResource = ":/oskelon/oskelon.svg";

// The icon with pixmaps of 16 to 256 pixels; a null icon if the SVG cannot be read.
QIcon appIcon();

}  // namespace oskelon::ui
