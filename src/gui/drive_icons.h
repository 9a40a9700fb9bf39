#pragma once
// Icons of the drive box: the desktop theme's drive icons, else the style's own.
#include <QIcon>
#include <string>

namespace quorvane::gui {

QIcon DriveIcon(const std::string& themeName);

}  // namespace quorvane::gui
