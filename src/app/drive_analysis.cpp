#include "app/drive_analysis.h"

#include "app/folder_method_volume.h"
#include "app/frm_fat_scan.h"
#include "app/messages.h"
#include "app/run_failure.h"
#include "platform/logical_drive.h"

namespace quorvane {

TRecoveryProposal ProposeRecovery(std::int32_t folders, std::int32_t files) {
    TRecoveryProposal proposal;
    proposal.Method = folders == 0 && files == 0 ? TRecoveryMethod::Scan : TRecoveryMethod::Folder;
    proposal.RecoverDeleted = files != 0;
    proposal.LookForLost = files == 0;
    return proposal;
}

TDriveAnalysisResult DriveAnalysis::Run() {
    cancelled_ = false;
    TDriveAnalysisResult result;
    const std::string name = driveName_.empty() ? LogicalDrive(drive_).name() : driveName_;
    result.FolderMethodRefusal = FolderMethodRefusal(drive_, name);
    if (result.FolderMethodRefusal.empty()) {
        // Live folders: the folders a card's pictures were kept in.
        std::int32_t passFiles = 0;
        std::int32_t passFolders = 0;
        if (scanDriver_.AnalyzeTotalFile(drive_, true, false, false, passFiles, passFolders)) {
            result.Folders = passFolders;
        } else if (!cancelled_ && !scanDriver_.MountError.empty()) {
            // The engine has shown why the mount failed; a second pass would only show it again.
            result.FolderMethodRefusal = NotMountedText(name);
            result.MountErrorShown = true;
        }
    }
    if (!cancelled_ && result.FolderMethodRefusal.empty()) {
        std::int32_t passFiles = 0;
        std::int32_t passFolders = 0;
        if (scanDriver_.AnalyzeTotalFile(drive_, false, true, false, passFiles, passFolders)) {
            result.Folders += passFolders;
            result.Files = passFiles;
        }
    }
    result.Cancelled = cancelled_;
    result.Proposal = ProposeRecovery(result.Folders, result.Files);
    return result;
}

void DriveAnalysis::Cancel() {
    cancelled_ = true;
    scanDriver_.StopScan();
}

std::string FoldersFoundText(std::int32_t folders) {
    return ListBoxStrings(msgFound) + std::to_string(folders) + ListBoxStrings(msgDeletedFolders);
}

std::string FilesFoundText(std::int32_t files) {
    return ListBoxStrings(msgFound) + std::to_string(files) + ListBoxStrings(msgDeletedFiles);
}

}  // namespace quorvane
