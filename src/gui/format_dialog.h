#pragma once
// The format dialog: file system (automatic, FAT12, FAT16, FAT32) and volume label of the
// drive to be formatted.
#include <QDialog>

namespace quorvane {
struct DriveEntry;
struct TFormatOptions;
}

namespace quorvane::gui {

class FormatDialog : public QDialog {
    Q_OBJECT
public:
    FormatDialog(const DriveEntry& drive, TFormatOptions& options, QWidget* parent);

private:
    TFormatOptions& options_;
};

}  // namespace quorvane::gui
