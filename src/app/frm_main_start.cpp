// The Start command: the analysis dialog, one run by the chosen method (or both), and the saving
// of the files the user keeps. A run that refuses to start (a drive without sectors, no working
// folder) has shown why and leaves nothing to save. A destination that cannot take the files is refused
// before anything starts, and one on the drive being recovered is asked about.
#include "app/destination_check.h"
#include "app/frm_analyze_drive.h"
#include "app/frm_main.h"
#include "app/frm_preview.h"
#include "app/messages.h"
#include "app/ui.h"
#include "app/window_host.h"

namespace quorvane {

bool TFrmMain::destinationAccepted() {
    const TDestinationCheck check =
        CheckDestination(EditDestPath.Text(), static_cast<std::uint8_t>(DriveNumber), selectedDriveName(), MountsFile);
    switch (check.Verdict) {
        case TDestinationVerdict::Usable: return true;
        case TDestinationVerdict::Refused: ShowRefusal(check.Message); return false;
        case TDestinationVerdict::OnRecoveredDrive: break;
    }
    return UI().MessageBox(DestinationOnDriveQuestion(check.Message), "", MsgIcon::Warning, MsgButtons::YesNo,
                           MsgResult::No) == MsgResult::Yes;
}

void TFrmMain::ButtonStartClick() {
    TerminateAfterRun = false;
    // Asked before the analysis, so that nothing is read for a run that cannot save anything.
    if (!destinationAccepted()) return;
    bool confirmed = false;
    TRecoveryMethod method = TRecoveryMethod::Both;
    bool recoverDeleted = true;
    bool lookForLost = false;
    {
        TFrmAnalyzeDrive dialog(*ScanDriver, DriveNumber, planFromControls(TRecoveryMethod::Folder).DriveName);
        if (windows().ShowAnalyzeDrive(dialog) == TModalResult::OK) {
            confirmed = true;
            method = dialog.Method();
            recoverDeleted = dialog.CBRecoverDeletedFiles.Checked();
            lookForLost = dialog.CBRecoverLostFiles.Checked();
        }
    }
    if (confirmed) {
        createPreview();
        switch (method) {
            case TRecoveryMethod::Folder: RunFolderMethod(recoverDeleted, lookForLost); break;
            case TRecoveryMethod::Scan: RunScanMethod(); break;
            case TRecoveryMethod::Both: RunBothMethods(recoverDeleted, lookForLost); break;
        }
        endOfRun();
    }
    if (TerminateAfterRun) windows().Terminate();
}

void TFrmMain::createPreview() {
    closePreview();
    runPreview_ = std::make_unique<TFrmPreview>(*this);
    FrmPreview = runPreview_.get();
    windows().PreviewCreated(*FrmPreview);
    if (cb_preview.Checked()) {
        windows().PlacePreviewBesideMain(*FrmPreview);
        FrmPreview->Form.SetVisible(true);
    }
}

void TFrmMain::closePreview() {
    if (!runPreview_) return;
    runPreview_->Form.SetVisible(false);
    windows().PreviewDestroying(*runPreview_);
    runPreview_.reset();  // deletes the staged files
    FrmPreview = nullptr;
}

void TFrmMain::endOfRun() {
    TFrmPreview& preview = *FrmPreview;
    if (IsRefusal(LastRun.FailureKind)) {
        // The run did not start (the refusal was shown): there is nothing to save.
    } else if (preview.Form.Visible()) {
        preview.Form.SetVisible(false);
        preview.Form.SetCaption(ListBoxStrings(msgSaveImages));
        preview.ButtonOK.SetCaption(ListBoxStrings(msgSaveImages));
        preview.ButtonCancel.SetVisible(true);
        windows().ShowPreviewModal(preview);
    } else {
        preview.SaveSelected();
    }
    closePreview();
    ReleaseWorkFolder();
}

}  // namespace quorvane
