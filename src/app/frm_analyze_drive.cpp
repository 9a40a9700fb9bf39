#include "app/frm_analyze_drive.h"

#include "app/frm_fat_scan.h"
#include "app/messages.h"
#include "app/ui.h"

namespace quorvane {

TFrmAnalyzeDrive::TFrmAnalyzeDrive(TFrmFATScan& scanDriver, std::int32_t driveNumber)
    : scanDriver_(scanDriver), driveNumber_(driveNumber) {
    RBFolderMethod.SetChecked(true);
    CBRecoverDeletedFiles.SetChecked(true);
    ButtonContinue.SetEnabled(false);
}

void TFrmAnalyzeDrive::CheckScanMethod(bool checked) {
    RBScanMethod.SetChecked(checked);
    RBFolderMethod.SetChecked(!checked);
}

void TFrmAnalyzeDrive::FormShow() {
    BlinkCount = 1;
    AnalyzeTimer.SetEnabled(true);
}

void TFrmAnalyzeDrive::AnalyzeTimerTimer() {
    Cancelled = false;
    AnalyzeTimer.SetEnabled(false);
    BlinkAnalyzeTimer.SetEnabled(true);
    std::int32_t folders = 0;
    std::int32_t files = 0;
    const auto drive = static_cast<std::uint8_t>(driveNumber_);
    if (!Cancelled) {
        // Live folders: the folders a card's pictures were kept in.
        std::int32_t passFiles = 0;
        std::int32_t passFolders = 0;
        if (scanDriver_.AnalyzeTotalFile(drive, true, false, false, passFiles, passFolders)) folders = passFolders;
    }
    if (!Cancelled) {
        std::int32_t passFiles = 0;
        std::int32_t passFolders = 0;
        if (scanDriver_.AnalyzeTotalFile(drive, false, true, false, passFiles, passFolders)) {
            folders += passFolders;
            files = passFiles;
        }
    }
    BlinkAnalyzeTimer.SetEnabled(false);
    Folders = folders;
    Files = files;
    if (Cancelled) return;
    ButtonContinue.SetEnabled(true);
    if (folders == 0 && files == 0) CheckScanMethod(true);
    CBRecoverDeletedFiles.SetChecked(files != 0);
    CBRecoverLostFiles.SetChecked(files == 0);
    LabelTotalFolders.SetCaption(ListBoxStrings(msgFound) + std::to_string(folders) + ListBoxStrings(msgDeletedFolders));
    LabelTotalDeletedFiles.SetCaption(ListBoxStrings(msgFound) + std::to_string(files) + ListBoxStrings(msgDeletedFiles));
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
    if (ActivePage == Page::TSSelectMethod && RBFolderMethod.Checked()) {
        ActivePage = Page::TSSelectType;
        return;
    }
    ModalResult = TModalResult::OK;
}

void TFrmAnalyzeDrive::ButtonCancelClick() {
    Cancelled = true;
    scanDriver_.StopScan();
    PumpMessages();
    ModalResult = TModalResult::Cancel;
}

}  // namespace quorvane
