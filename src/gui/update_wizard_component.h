#pragma once
// The main window's live update parts in the desktop program: the update component, its wizard
// and the About box that leads to it, made at start-up. The component gets the control file
// address that the main window read from Quorvane.ini and the program's folder; the wizard is
// shown by the Qt view; after the restart has been handed to the updater the program ends the
// way closing the main window ends it, so the settings are saved.
#include "update/frm_about.h"
#include "update/web_update.h"
#include "update/web_update_wizard.h"

class QWidget;

namespace quorvane {
class TFrmMain;
}

namespace quorvane::gui {

class LiveUpdateComponent {
public:
    LiveUpdateComponent(const TFrmMain& form, QWidget& mainWindow);

    TWebUpdate WebUpdate;
    TWebUpdateWizard Wizard;
    TFrmAbout About;

    // Set once the updater has been started and the program is on its way out.
    bool Terminating() const { return terminating_; }

private:
    void terminateApplication();

    QWidget& mainWindow_;
    bool terminating_ = false;
};

}  // namespace quorvane::gui
