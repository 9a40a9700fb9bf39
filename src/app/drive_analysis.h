#pragma once
// The drive analysis before a run: two counting passes through the scan driver (the folders of
// the live tree, then the deleted folders and media files) and the choice it proposes from the
// counts. The analysis dialog and the command line both use it.
#include "app/recovery_plan.h"

#include <cstdint>
#include <string>

namespace quorvane {

class TFrmFATScan;

struct TRecoveryProposal {
    TRecoveryMethod Method = TRecoveryMethod::Folder;
    bool RecoverDeleted = true;
    bool LookForLost = false;
};

// Nothing found at all: the scan method. Deleted files found: recover them; none: look for lost
// files instead.
TRecoveryProposal ProposeRecovery(std::int32_t folders, std::int32_t files);

struct TDriveAnalysisResult {
    bool Cancelled = false;
    std::int32_t Folders = 0;  // live folders plus deleted folders
    std::int32_t Files = 0;    // deleted media files
    TRecoveryProposal Proposal;
    // Why the folder based method cannot read the drive, when it cannot; the scan method is then
    // proposed. MountErrorShown: the FAT engine has already shown why its mount failed.
    std::string FolderMethodRefusal;
    bool MountErrorShown = false;
};

class DriveAnalysis {
public:
    // driveName: how messages name the drive; empty takes its letter.
    DriveAnalysis(TFrmFATScan& scanDriver, std::uint8_t drive, std::string driveName = {})
        : scanDriver_(scanDriver), drive_(drive), driveName_(std::move(driveName)) {}

    // Both passes; none on a volume the folder based method cannot read, and no second one when
    // the first cannot mount the drive. A Cancel during the first pass skips the second.
    TDriveAnalysisResult Run();
    // Stops the pass under way (from a handler pumped during it).
    void Cancel();

private:
    TFrmFATScan& scanDriver_;
    std::uint8_t drive_;
    std::string driveName_;
    bool cancelled_ = false;
};

// "Found 3 deleted folders", "Found 12 deleted files"
std::string FoldersFoundText(std::int32_t folders);
std::string FilesFoundText(std::int32_t files);

}  // namespace quorvane
