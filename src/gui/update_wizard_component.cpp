#include "gui/update_wizard_component.h"

#include "app/frm_main.h"
#include "app/program_folder.h"
#include "gui/update_wizard_dialog.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace quorvane::gui {

LiveUpdateComponent::LiveUpdateComponent(const TFrmMain& form, QWidget& mainWindow) : mainWindow_(mainWindow) {
    WebUpdate.URL = form.UpdateURL;
    WebUpdate.Prefixes.app = ProgramFolder();
    WebUpdate.OnTerminateApplication = [this] { terminateApplication(); };

    Wizard.WebUpdate = &WebUpdate;
    Wizard.ShowModal = [this](TWUWIZ& wizardForm) {
        // Over the About box that started it, else over the main window.
        QWidget* parent = QApplication::activeModalWidget();
        ShowUpdateWizard(wizardForm, parent != nullptr ? parent : &mainWindow_);
    };
    About.UpdateWizard = &Wizard;
}

void LiveUpdateComponent::terminateApplication() {
    if (terminating_) return;
    terminating_ = true;
    // The wizard and the About box are still open on nested event loops: once the handler that
    // started the updater has returned, they close, then the main window, whose close saves the
    // settings, and the program's event loop ends.
    QTimer::singleShot(0, &mainWindow_, [this] {
        for (int i = 0; i < 8; ++i) {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || modal == &mainWindow_) break;
            modal->close();
        }
        mainWindow_.close();
        QCoreApplication::quit();
    });
}

}  // namespace quorvane::gui
