#include "gui/desktop_app.h"

#include "app/ui.h"
#include "disk/ldiskio.h"

#include <QGuiApplication>
#include <QScreen>

namespace quorvane::gui {

DesktopApp::DesktopApp(const QStringList& images) {
    SetDiskMessageHook([](const std::string& caption, const std::string& text) {
        UI().MessageBox(text, caption, MsgIcon::Error, MsgButtons::Ok, MsgResult::Ok);
    });
    Form.Settings = &Settings;
    Form.FormCreate();
    Window = std::make_unique<MainWindow>(Form);
    Host = std::make_unique<QtWindowHost>(*Window);
    Form.Windows = Host.get();
    Ui.Parent = Window.get();
    bool first = true;
    for (const QString& image : images) {
        std::string error;
        if (!Form.AddImage(image.toStdString(), error)) {
            ShowRefusal(error);
        } else if (first) {
            first = false;
        }
    }
    // The first image named is the one to recover.
    if (!images.isEmpty() && !first) {
        std::string error;
        Form.AddImage(images.front().toStdString(), error);
    }
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        Window->move(screen->availableGeometry().center() - Window->rect().center());
    }
}

DesktopApp::~DesktopApp() {
    Form.Windows = nullptr;
    Host.reset();
    Window.reset();
    SetDiskMessageHook(nullptr);
}

}  // namespace quorvane::gui
