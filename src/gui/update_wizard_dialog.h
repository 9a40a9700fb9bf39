#pragma once
// The view of the live update wizard: seven pages without tabs (welcome, version, what's new,
// licence, files, downloading, done), their texts and buttons, and the two progress bars.
// Downloads run inside the handlers and pump events, so a click can arrive while a handler is
// still running: only Cancel is taken then, and closing the window acts as Cancel until the
// handler has returned.
#include <QDialog>

class QStackedWidget;

namespace quorvane {
class TWUWIZ;
}

namespace quorvane::gui {

class UpdateWizardDialog : public QDialog {
    Q_OBJECT
public:
    UpdateWizardDialog(TWUWIZ& form, QWidget* parent);
    ~UpdateWizardDialog() override;

    TWUWIZ& Form() { return form_; }

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Runs a handler of the form unless another one is still running.
    void run(void (TWUWIZ::*handler)());
    void buildPages();

    TWUWIZ& form_;
    QStackedWidget* pages_ = nullptr;
    int handlersRunning_ = 0;
    bool closeRequested_ = false;
};

// Shows the form modally over the active window and returns once it has closed.
void ShowUpdateWizard(TWUWIZ& form, QWidget* parent);

}  // namespace quorvane::gui
