#include "app/frm_analyze_drive.h"

#include "app/messages.h"
#include "app/ui.h"

namespace quorvane {

TFrmAnalyzeDrive::TFrmAnalyzeDrive(TFrmFATScan& scanDriver, std::int32_t driveNumber, const std::string& driveName)
    : analysis_(scanDriver, static_cast<std::uint8_t>(driveNumber), driveName) {
    RBFolderMethod.SetChecked(true);
    CBRecoverDeletedFiles.SetChecked(true);
    ButtonContinue.SetEnabled(false);
}

void TFrmAnalyzeDrive::CheckScanMethod(bool checked) {
    CheckMethod(checked ? TRecoveryMethod::Scan : TRecoveryMethod::Folder);
}

void TFrmAnalyzeDrive::CheckMethod(TRecoveryMethod method) {
    RBBothMethods.SetChecked(method == TRecoveryMethod::Both);
    RBScanMethod.SetChecked(method == TRecoveryMethod::Scan);
    RBFolderMethod.SetChecked(method == TRecoveryMethod::Folder);
}

TRecoveryMethod TFrmAnalyzeDrive::Method() const {
    if (RBBothMethods.Checked()) return TRecoveryMethod::Both;
    return RBScanMethod.Checked() ? TRecoveryMethod::Scan : TRecoveryMethod::Folder;
}

void TFrmAnalyzeDrive::FormShow() {
    BlinkCount = 1;
    AnalyzeTimer.SetEnabled(true);
}

void TFrmAnalyzeDrive::AnalyzeTimerTimer() {
    Cancelled = false;
    AnalyzeTimer.SetEnabled(false);
    BlinkAnalyzeTimer.SetEnabled(true);
    const TDriveAnalysisResult result = analysis_.Run();
    BlinkAnalyzeTimer.SetEnabled(false);
    Folders = result.Folders;
    Files = result.Files;
    if (Cancelled) return;
    // Why the folder based method cannot be used, once, unless the engine's mount has said it.
    if (!result.FolderMethodRefusal.empty() && !result.MountErrorShown) {
        UI().MessageBox(result.FolderMethodRefusal, "", MsgIcon::Information, MsgButtons::Ok, MsgResult::Ok);
    }
    ButtonContinue.SetEnabled(true);
    // The combined run is offered first whatever the counts: it finds what the proposed method
    // finds and carves what that leaves. The proposal still chooses which entries it recovers.
    FolderMethodRefused = !result.FolderMethodRefusal.empty();
    CheckMethod(TRecoveryMethod::Both);
    CBRecoverDeletedFiles.SetChecked(result.Proposal.RecoverDeleted);
    CBRecoverLostFiles.SetChecked(result.Proposal.LookForLost);
    LabelTotalFolders.SetCaption(FoldersFoundText(Folders));
    LabelTotalDeletedFiles.SetCaption(FilesFoundText(Files));
    ActivePage = Page::TSSelectMethod;
}

void TFrmAnalyzeDrive::BlinkAnalyzeTimerTimer() {
    BlinkAnalyzeTimer.SetEnabled(false);
    if (BlinkCount == 7) {
        LabelBlinkAnalyzingDrive.SetCaption(ListBoxStrings(msgAnalyzingDrive));
        BlinkCount = 0;
    } else {
        LabelBlinkAnalyzingDrive.SetCaption(LabelBlinkAnalyzingDrive.Caption() + ".");
        ++BlinkCount;
    }
    BlinkAnalyzeTimer.SetEnabled(true);
}

void TFrmAnalyzeDrive::ButtonContinueClick() {
    // The file choices are the folder based method's, alone or as the combined run's first phase.
    const bool asksFiles = RBFolderMethod.Checked() || (RBBothMethods.Checked() && !FolderMethodRefused);
    if (ActivePage == Page::TSSelectMethod && asksFiles) {
        ActivePage = Page::TSSelectType;
        return;
    }
    ModalResult = TModalResult::OK;
}

void TFrmAnalyzeDrive::ButtonCancelClick() {
    Cancelled = true;
    analysis_.Cancel();
    PumpMessages();
    ModalResult = TModalResult::Cancel;
}

}  // namespace quorvane
