#include "gui/about_box.h"

#include "app/messages.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvane::gui {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutBox");
    setWindowTitle(QString::fromStdString(ListBoxStrings(msgAbout)) + "Quorvane");
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel("Quorvane", this);
    QFont big = title->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    title->setFont(big);
    layout->addWidget(title);
    auto* version = new QLabel(QString::fromStdString(ListBoxStrings(msgVersion)) + QUORVANE_VERSION, this);
    version->setObjectName("LabelVersion");
    layout->addWidget(version);
    layout->addWidget(new QLabel("Gets pictures, sounds and films back from FAT cards, sticks and disk images.", this));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QString::fromStdString(ListBoxStrings(msgOK)), QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

}  // namespace quorvane::gui
