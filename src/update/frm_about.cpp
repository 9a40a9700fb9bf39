#include "update/frm_about.h"

#include "app/messages.h"
#include "app/ui.h"
#include "support/zarq_versioninfo.h"
#include "update/download_file.h"
#include "update/web_update_wizard.h"

#include <unistd.h>
#include <utility>

namespace quorvane {

#ifdef QUORVANE_PACKAGED
const bool TFrmAbout::InstalledFromPackage = true;
#else
const bool TFrmAbout::InstalledFromPackage = false;
#endif

TFrmAbout::TFrmAbout(std::string applicationTitle)
    : ApplicationTitle(std::move(applicationTitle)), ExecutablePath(OwnExecutablePath()) {
    ButtonOK.SetCaption(ListBoxStrings(msgOK));
}

void TFrmAbout::FormShow() {
    Caption = ListBoxStrings(msgAbout) + ApplicationTitle;
    LabelTitle.SetCaption(ApplicationTitle);
    TZarq_VersionInfo info;
    info.OpenVersionFile(ExecutablePath);
    LabelVersion.SetCaption(ListBoxStrings(msgVersion) + info.Value("Product Version"));
    LabelLegal.SetCaption(info.LegalNotice);
}

void TFrmAbout::ButtonGetUpdatesClick() {
    if (Packaged) {
        UI().MessageBox(PackagedUpdateNote, ButtonGetUpdates.Caption(), MsgIcon::Information, MsgButtons::Ok,
                        MsgResult::Ok);
        return;
    }
    if (UpdateWizard == nullptr) return;
    if (!ExecutablePath.empty()) {
        const std::string folder = FolderOf(ExecutablePath);
        if (::chdir(folder.c_str()) == 0 && UpdateWizard->WebUpdate != nullptr)
            UpdateWizard->WebUpdate->Prefixes.app = folder;
    }
    UpdateWizard->Execute();
}

void TFrmAbout::ButtonOKClick() {
    if (OnClose) OnClose();
}

}  // namespace quorvane
