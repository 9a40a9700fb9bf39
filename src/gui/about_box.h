#pragma once
// The view of the About box: the title, the version and the legal notice that TFrmAbout reads
// from the program's own version resource each time the box is shown, "Get Updates" and OK.
#include <QDialog>

namespace quorvane {
class TFrmAbout;
}

namespace quorvane::gui {

class AboutBox : public QDialog {
    Q_OBJECT
public:
    AboutBox(TFrmAbout& form, QWidget* parent);
    ~AboutBox() override;

    TFrmAbout& Form() { return form_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    TFrmAbout& form_;
};

}  // namespace quorvane::gui
