#pragma once
// The view of the drive analysis dialog: three pages without tabs, the blinking label, the
// method's radio buttons and the file choices; its two timers run the analysis.
#include <QDialog>

class QStackedWidget;
class QTimer;

namespace quorvane {
class TFrmAnalyzeDrive;
class TTimer;
}

namespace quorvane::gui {

class AnalyzeDialog : public QDialog {
    Q_OBJECT
public:
    AnalyzeDialog(TFrmAnalyzeDrive& form, QWidget* parent);
    ~AnalyzeDialog() override;

    TFrmAnalyzeDrive& Form() { return form_; }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    QTimer* bindTimer(TTimer& timer, void (TFrmAnalyzeDrive::*handler)());
    // Shows the form's page and closes the dialog once the form has a result.
    void sync();

    TFrmAnalyzeDrive& form_;
    QStackedWidget* pages_ = nullptr;
    int handlersRunning_ = 0;
    bool shown_ = false;
};

}  // namespace quorvane::gui
