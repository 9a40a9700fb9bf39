#pragma once
// The view of the main window: the menu of flat buttons on the left, the three pages without
// tabs on the right (Recovery, Tools, Settings). Every control of TFrmMain is bound to its
// widget here; every click goes to its handler.
#include <QWidget>

#include <memory>
#include <vector>

class QAbstractButton;
class QButtonGroup;
class QStackedWidget;

namespace quorvane {
class BlockDeviceEvents;
class TFrmMain;
}

namespace quorvane::gui {

class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(TFrmMain& form);
    ~MainWindow() override;

    TFrmMain& Form() { return form_; }
    // The widget of a control, by the control's name (tests).
    template <class W>
    W* Widget(const char* name) const { return findChild<W*>(name); }

    // "Open image...": adds an image file to the drive box and selects it.
    void OpenImage(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenu();
    QWidget* buildRecoverPage();
    QWidget* buildToolsPage();
    QWidget* buildOptionsPage();
    // Shows the form's page and presses its menu button.
    void syncPage();
    void bindAnimation(QWidget* page);
    // The drive box follows cards that come and go while the window is open.
    void watchDrives();

    TFrmMain& form_;
    QStackedWidget* pages_ = nullptr;
    QButtonGroup* menu_ = nullptr;
    std::vector<QAbstractButton*> menuButtons_;
    std::unique_ptr<BlockDeviceEvents> deviceEvents_;
};

}  // namespace quorvane::gui
