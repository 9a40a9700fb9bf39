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
};

class DriveAnalysis {
public:
    DriveAnalysis(TFrmFATScan& scanDriver, std::uint8_t drive) : scanDriver_(scanDriver), drive_(drive) {}

    // Both passes; a pass that cannot mount the drive counts nothing. A Cancel during the first
    // pass skips the second.
    TDriveAnalysisResult Run();
    // Stops the pass under way (from a handler pumped during it).
    void Cancel();

private:
    TFrmFATScan& scanDriver_;
    std::uint8_t drive_;
    bool cancelled_ = false;
};

// "Found 3 deleted folders", "Found 12 deleted files"
std::string FoldersFoundText(std::int32_t folders);
std::string FilesFoundText(std::int32_t files);

}  // namespace quorvane
