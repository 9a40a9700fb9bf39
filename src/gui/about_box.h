#pragma once
// The About box: the program's name and version.
#include <QDialog>

namespace quorvane::gui {

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent);
};

}  // namespace quorvane::gui
