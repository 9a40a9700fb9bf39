#include "gui/desktop_app.h"

#include "app/ui.h"
#include "disk/ldiskio.h"
#include "platform/privileged_open.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>

namespace quorvane::gui {

DesktopApp::DesktopApp(const QStringList& images) {
    SetDiskMessageHook([](const std::string& caption, const std::string& text) {
        UI().MessageBox(text, caption, MsgIcon::Error, MsgButtons::Ok, MsgResult::Ok);
    });
    // While polkit asks for the password to open a card, the window keeps repainting; clicks wait.
    SetPrivilegedOpenWaitHook([] {
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 50);
    });
    Form.Settings = &Settings;
    Form.FormCreate();
    Window = std::make_unique<MainWindow>(Form);
    Host = std::make_unique<QtWindowHost>(*Window);
    Form.Windows = Host.get();
    Ui.Parent = Window.get();
    QString selected;
    for (const QString& image : images) {
        std::string error;
        if (!Form.AddImage(image.toStdString(), error)) {
            ShowRefusal(error);
        } else if (selected.isEmpty()) {
            selected = image;
        }
    }
    // The first image named is the one to recover: adding it again selects it.
    if (!selected.isEmpty()) {
        std::string error;
        Form.AddImage(selected.toStdString(), error);
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
    SetPrivilegedOpenWaitHook(nullptr);
}

}  // namespace quorvane::gui
