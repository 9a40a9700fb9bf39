#include "gui/drive_icons.h"

#include <QApplication>
#include <QStyle>

namespace quorvane::gui {

QIcon DriveIcon(const std::string& themeName) {
    const QString name = QString::fromStdString(themeName);
    if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
    QStyle* style = QApplication::style();
    if (name == "media-optical") return style->standardIcon(QStyle::SP_DriveCDIcon);
    if (name == "drive-harddisk") return style->standardIcon(QStyle::SP_DriveHDIcon);
    if (name == "media-floppy") return style->standardIcon(QStyle::SP_DriveFDIcon);
    return style->standardIcon(QStyle::SP_DriveFDIcon);
}

}  // namespace quorvane::gui
