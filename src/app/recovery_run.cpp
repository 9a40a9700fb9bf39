// The run's frame: working folder, phases, failures, Cancel, and the folder based method through
// the scan driver. The scan method's loop is in recovery_run_scan.cpp.
#include "app/recovery_run.h"

#include "app/file_naming.h"
#include "app/photo_time.h"
#include "fat/fat_saved_names.h"
#include "app/folder_method_volume.h"
#include "app/frm_fat_scan.h"
#include "app/program_folder.h"
#include "app/run_failure.h"
#include "app/run_events.h"
#include "app/ui.h"
#include "platform/logical_drive.h"
#include "platform/work_folder.h"

namespace quorvane {

RecoveryRun::RecoveryRun(TRecoveryPlan plan, Resources resources) : plan_(std::move(plan)), given_(resources) {}

RecoveryRun::~RecoveryRun() {
    if (!workFolder_.empty()) RemoveFolderIfEmpty(workFolder_);
}

const TRunReport& RecoveryRun::Run() {
    if (ran_) return report_;
    ran_ = true;
    try {
        switch (plan_.Method) {
            case TRecoveryMethod::Scan: runScanMethod(); break;
            case TRecoveryMethod::Folder: runFolderMethod(); break;
            case TRecoveryMethod::Both: runBothMethods(); break;
        }
    } catch (...) {
        // Outside the method's own loop (its start, its clean-up, a front end's handler): the run
        // still ends, as a failed one.
        fail(TRunFailure::Error, RunErrorText(std::current_exception()));
        if (running_) finish(unit_);
        NT_CloseDrive();
    }
    return report_;
}

void RecoveryRun::Cancel() {
    if (!running_) return;
    stopped_ = true;
    report_.Cancelled = true;
    if (scan_ != nullptr) scan_->StopScan();
}

std::string RecoveryRun::driveName() const {
    if (!plan_.DriveName.empty()) return plan_.DriveName;
    return LogicalDrive(plan_.Drive).name();
}

bool RecoveryRun::begin(TProgressUnit unit) {
    // Each run stages into a folder of its own, so nothing of another run or of another
    // program can be taken for one of its files. It goes on the destination's file system when
    // one can be made there, else in the temporary folder.
    std::string error;
    if (!plan_.StagingParent.empty() && MakeDestinationFolder(plan_.StagingParent, error)) {
        workFolder_ = MakePrivateRunFolderIn(plan_.StagingParent, error);
    }
    error.clear();
    if (workFolder_.empty()) workFolder_ = MakePrivateRunFolder(error);
    if (workFolder_.empty()) {
        fail(TRunFailure::NoWorkFolder, error);
        return false;
    }
    prefix_ = SafePrefix(plan_.Prefix);
    filesFound_ = 0;
    stopped_ = false;
    running_ = true;
    unit_ = unit;
    Tell(Events.OnPhase, TRunPhase::Running, unit);
    PumpMessages();
    return true;
}

void RecoveryRun::finish(TProgressUnit unit) {
    finishChecks();
    running_ = false;
    Tell(Events.OnPhase, TRunPhase::Finished, unit);
}

void RecoveryRun::collectChecks() {
    if (!checks_) return;
    for (const auto& [index, condition] : checks_->Take()) {
        staged_.SetCondition(index, condition);
        if (condition == TFileCondition::Whole) ++report_.Whole;
        if (condition == TFileCondition::Damaged) ++report_.Damaged;
        Tell(Events.OnFileChecked, index, condition);
    }
}

void RecoveryRun::finishChecks() {
    if (!checks_) return;
    if (checks_->Pending() > 0) Tell(Events.OnPhase, TRunPhase::Checking, unit_);
    checks_->Drain([this] {
        collectChecks();
        PumpMessages();
        return !report_.Cancelled;
    });
    collectChecks();
    checks_.reset();
}

void RecoveryRun::fail(TRunFailure kind, const std::string& text) {
    if (report_.Failure.empty()) {
        report_.Failure = text;
        report_.FailureKind = kind;
        Tell(Events.OnFailure, kind, text);
    }
    stopped_ = true;
}

void RecoveryRun::foundFile() {
    ++filesFound_;
    Tell(Events.OnFilesFound, filesFound_);
}

void RecoveryRun::staged(const std::string& path, TStagedOrigin origin) {
    // A carved photo has no entry to take its time from: its camera's own note of when it was
    // taken stands in.
    if (origin.ModifiedTime == 0 && origin.Method == "scan") origin.ModifiedTime = PhotoTakenTime(path);
    staged_.Add(path, std::move(origin));
    if (plan_.CheckContent) {
        if (!checks_) checks_ = std::make_unique<ContentCheckPool>();
        checks_->Submit(staged_.Size() - 1, path);
    }
    Tell(Events.OnFileStaged, path);
    collectChecks();
}

TFrmFATScan& RecoveryRun::scanDriver() {
    if (given_.ScanDriver != nullptr) return *given_.ScanDriver;
    if (!ownScanDriver_) ownScanDriver_ = std::make_unique<TFrmFATScan>();
    return *ownScanDriver_;
}

namespace {

// Points the scan driver's events at the run while it goes on, and back afterwards.
class ScanDriverBinding {
public:
    ScanDriverBinding(TFrmFATScan& scan, TFrmFATScan*& active)
        : scan_(scan), active_(active), startScanData_(scan.OnStartScanData), scanProgress_(scan.OnScanProgress),
          clusterProgress_(scan.OnScanClustorProgress), foundImage_(scan.OnFoundImage),
          recoveredFile_(scan.OnRecoveredFile) {
        active_ = &scan;
    }
    ~ScanDriverBinding() {
        scan_.OnStartScanData = startScanData_;
        scan_.OnScanProgress = scanProgress_;
        scan_.OnScanClustorProgress = clusterProgress_;
        scan_.OnFoundImage = foundImage_;
        scan_.OnRecoveredFile = recoveredFile_;
        active_ = nullptr;
    }
    ScanDriverBinding(const ScanDriverBinding&) = delete;
    ScanDriverBinding& operator=(const ScanDriverBinding&) = delete;

private:
    TFrmFATScan& scan_;
    TFrmFATScan*& active_;
    TOnStartScanDataEvent startScanData_;
    TOnScanProgressEvent scanProgress_;
    TOnScanClustorProgressEvent clusterProgress_;
    TOnFoundImageEvent foundImage_;
    TOnRecoveredFileEvent recoveredFile_;
};

}  // namespace

void RecoveryRun::runFolderMethod() {
    if (!GetLogDriveParams(plan_.Drive, params_)) {
        fail(TRunFailure::NotReady, NotReadyText(driveName()));
        return;
    }
    if (params_.TotalSectors == 0) {
        fail(TRunFailure::NoSectors, NoSectorsText(driveName()));
        return;
    }
    // A volume the method cannot read is refused before anything starts, rather than searched
    // in vain and reported as done.
    const std::string refusal = FolderMethodRefusal(plan_.Drive, driveName());
    if (!refusal.empty()) {
        fail(TRunFailure::NotReadable, refusal);
        return;
    }
    if (!begin(TProgressUnit::Cluster)) return;
    searchFolders(nullptr);
    checkMediumAfterFolders();
    finish(TProgressUnit::Cluster);
    NT_CloseDrive();
    stopped_ = true;
}

void RecoveryRun::runBothMethods() {
    if (!readDriveSize()) return;
    // On a volume the folder based method cannot read, the run is the scan alone.
    report_.FolderPhaseSkipped = FolderMethodRefusal(plan_.Drive, driveName());
    if (!begin(report_.FolderPhaseSkipped.empty() ? TProgressUnit::Cluster : TProgressUnit::Sector)) return;
    TSectorRanges recovered;
    if (report_.FolderPhaseSkipped.empty()) {
        searchFolders(&recovered);
        checkMediumAfterFolders();
        recovered.Normalize();
        report_.SectorsPassedOver = recovered.Sectors();
    }
    const bool folderPhaseFailed = !report_.Failure.empty() && report_.FailureKind != TRunFailure::NotMounted;
    if (!report_.Cancelled && !folderPhaseFailed) {
        if (report_.FailureKind == TRunFailure::NotMounted) {
            // The scan does not need the file system: a volume that did not mount is carved all the same.
            report_.FolderPhaseSkipped = report_.Failure;
            report_.Failure.clear();
            report_.FailureKind = TRunFailure::None;
        }
        stopped_ = false;
        unit_ = TProgressUnit::Sector;
        Tell(Events.OnPhase, TRunPhase::Carving, TProgressUnit::Sector);
        scanSectors(&recovered);
    }
    // Photos found damaged may lie in pieces: rebuilt from the clusters no other file holds.
    finishChecks();
    if (!report_.Cancelled && plan_.CheckContent) rebuildFragments(recovered);
    finish(unit_);
    NT_CloseDrive();
    stopped_ = true;
}

void RecoveryRun::checkMediumAfterFolders() {
    // The FAT engine takes a vanished card for unreadable sectors and ends its walk; the user is
    // told why, and a combined run does not go on to scan nothing.
    if (report_.Cancelled || !MediumPresent || MediumPresent(plan_.Drive)) return;
    fail(TRunFailure::Stopped, MediumRemovedText(driveName()));
}

void RecoveryRun::searchFolders(TSectorRanges* recovered) {
    TFrmFATScan& scan = scanDriver();
    ScanDriverBinding binding(scan, scan_);
    scan.OnStartScanData = [this](std::int64_t, std::int64_t start, std::int64_t end, std::int32_t) {
        Tell(Events.OnProgressRange, LostDataProgressTotal(static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end)));
        Tell(Events.OnProgress, 0);
    };
    scan.OnScanProgress = [this](std::int64_t position) {
        Tell(Events.OnProgress, position);
        PumpMessages();
    };
    scan.OnScanClustorProgress = [this](std::int64_t cluster) { Tell(Events.OnCurrent, cluster); };
    scan.OnRecoveredFile = [this](const std::string& fileName, const TCustomFile& file) {
        foundFile();
        TStagedOrigin origin;
        origin.Method = "folder";
        if (file.HasOwnName) {
            const std::string unicode = file.HostFileName();
            const std::string name = unicode.empty() ? SavedFileName(file.Name) : unicode;
            origin.OriginalPath = file.OriginalFolder.empty() ? name : file.OriginalFolder + "/" + name;
        }
        origin.FirstSector = file.FirstDeviceSector();
        origin.ModifiedTime = file.ModifiedTime();
        staged(fileName, std::move(origin));
    };

    scan.DestPath = workFolder_;
    scan.FileSectorsRead = recovered;
    // The combined run's scan carves the files that no directory names.
    scan.LoneLostFiles = recovered == nullptr;
    scan.ScanDrive(plan_.Drive, false, plan_.RecoverDeleted, plan_.LookForLost);
    scan.FileSectorsRead = nullptr;
    scan.LoneLostFiles = true;
    // The clusters of the volume just read, for the rebuild of photos in pieces.
    if (scan.Drive != nullptr && scan.DriveMounted) {
        const TCustomDrive::TClusterGrid grid = scan.Drive->ClusterGrid();
        clusterSectors_ = grid.SectorsPerCluster;
        clusterOrigin_ = grid.Origin;
    }
    scan.StopScan();
    report_.NotRecoverable = scan.NotRecoverableNames;
    report_.SameDataAs = scan.SameDataNames;
    if (!scan.Failure.empty()) {
        fail(IsRunErrorText(scan.Failure) ? TRunFailure::Error : TRunFailure::Stopped, scan.Failure);
    } else if (!scan.DriveMounted && !report_.Cancelled) {
        fail(TRunFailure::NotMounted, NotMountedText(driveName()));
    }
}

}  // namespace quorvane
