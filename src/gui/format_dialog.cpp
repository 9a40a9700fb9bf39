#include "gui/format_dialog.h"

#include "app/format_wipe.h"
#include "platform/drive_table.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvane::gui {

FormatDialog::FormatDialog(const DriveEntry& drive, TFormatOptions& options, QWidget* parent)
    : QDialog(parent), options_(options) {
    setObjectName("FormatDialog");
    setWindowTitle(QString::fromStdString("Format " + DriveNameForUser(drive)));
    auto* layout = new QVBoxLayout(this);
    // The drive's name comes from the device itself: shown as plain text.
    auto* name = new QLabel(QString::fromStdString(drive.displayName + "\n" + drive.path), this);
    name->setTextFormat(Qt::PlainText);
    layout->addWidget(name);
    auto* form = new QFormLayout;
    auto* fileSystem = new QComboBox(this);
    fileSystem->setObjectName("FileSystem");
    fileSystem->addItem("Automatic", "");
    for (const char* fs : {"FAT12", "FAT16", "FAT32"}) fileSystem->addItem(fs, fs);
    fileSystem->setCurrentIndex(std::max(0, fileSystem->findData(QString::fromStdString(options.FileSystem))));
    form->addRow("File system:", fileSystem);
    auto* label = new QLineEdit(QString::fromStdString(options.VolumeLabel).trimmed(), this);
    label->setObjectName("VolumeLabel");
    label->setMaxLength(11);
    form->addRow("Volume label:", label);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton("Start", QDialogButtonBox::AcceptRole)->setObjectName("ButtonFormatStart");
    buttons->addButton("Close", QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this, fileSystem, label] {
        options_.FileSystem = fileSystem->currentData().toString().toStdString();
        options_.VolumeLabel = label->text().toStdString();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

}  // namespace quorvane::gui
