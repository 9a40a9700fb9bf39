#pragma once
// The desktop program's pieces, wired together: the message boxes, the settings, the main
// window's form, its view and the host of the other windows.
#include "app/frm_main.h"
#include "gui/main_window.h"
#include "gui/qt_settings_store.h"
#include "gui/qt_user_interface.h"
#include "gui/window_host_qt.h"

#include <QStringList>
#include <memory>

namespace quorvane::gui {

class DesktopApp {
public:
    // images: files or devices to list in the drive box; the first one is selected.
    explicit DesktopApp(const QStringList& images = {});
    ~DesktopApp();

    QtUserInterface Ui;
    QtSettingsStore Settings;
    TFrmMain Form;
    std::unique_ptr<MainWindow> Window;
    std::unique_ptr<QtWindowHost> Host;
};

}  // namespace quorvane::gui
