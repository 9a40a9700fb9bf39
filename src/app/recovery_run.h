#pragma once
// One recovery run, the same for the window and the command line: a plan in, events out while it
// goes on, Cancel, and a report at the end. The run makes its private working folder (inside the
// destination when the plan names one that can take it), stages the files it finds there and
// lists them; the front end saves the ones the user keeps and then lets
// the run go, which removes the folder once it is empty.
#include "app/content_check_pool.h"
#include "app/recovery_plan.h"
#include "app/run_report.h"
#include "app/scan_tuning.h"
#include "app/staged_list.h"
#include "disk/ldiskio.h"
#include "disk/sector_ranges.h"
#include "platform/drive_table.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quorvane {

class TFrmFATScan;

enum class TRunPhase {
    Running,   // the working folder is made; the method begins
    Carving,   // the combined run: the folder based method is done, the scan of the rest begins
    Checking,  // the method has ended; the last staged files are being checked
    Finished,  // the run has ended (completed, cancelled or stopped)
};

// What a front end is told while a run goes on. Progress and the current number come at most
// every 500 ms (the scan method) or as the scan driver reports them (the folder method).
struct TRecoveryRunEvents {
    std::function<void(TRunPhase, TProgressUnit)> OnPhase;
    std::function<void(std::int64_t max)> OnProgressRange;
    std::function<void(std::int64_t position)> OnProgress;
    std::function<void(std::int64_t sectorOrCluster)> OnCurrent;
    std::function<void(std::int32_t files)> OnFilesFound;
    std::function<void(std::int32_t readErrors)> OnReadErrors;
    // A file was written completely into the working folder.
    std::function<void(const std::string& path)> OnFileStaged;
    // A staged file (its index in Staged()) was checked whole, damaged or unknown.
    std::function<void(std::size_t index, TFileCondition condition)> OnFileChecked;
    // Why the run did not start or had to stop; told once, when it happens.
    std::function<void(TRunFailure, const std::string& text)> OnFailure;
};

// Reads Count sectors from LBA on; ReadLogicalSectors unless a test puts another source in.
using TSectorReader = std::function<bool(std::uint8_t Drive, std::uint64_t LBA, std::uint16_t Count, void* Buffer)>;

// What a run uses without owning it; whatever is left out the run makes for itself. A front end
// that has a scan driver passes it: the FAT engine serves one scan driver at a time.
struct TRecoveryRunResources {
    TFrmFATScan* ScanDriver = nullptr;  // the folder method's scan driver
    TSectorBuffer* SectorBuffer = nullptr;
};

class RecoveryRun {
public:
    using Resources = TRecoveryRunResources;

    explicit RecoveryRun(TRecoveryPlan plan, Resources resources = {});
    // Removes the working folder when nothing is left in it.
    ~RecoveryRun();
    RecoveryRun(const RecoveryRun&) = delete;
    RecoveryRun& operator=(const RecoveryRun&) = delete;

    TRecoveryRunEvents Events;
    TSectorReader ReadSectors;
    // Whether the drive's card is still in, asked when a read fails (tests stand in for it).
    std::function<bool(std::uint8_t Drive)> MediumPresent = DriveMediumPresent;

    // Runs the plan to its end; once only.
    const TRunReport& Run();
    // Stops the run at its next sector or cluster; what it found so far stays staged. Nothing
    // when no run is going on.
    void Cancel();

    bool Running() const { return running_; }
    const TRecoveryPlan& Plan() const { return plan_; }
    const TRunReport& Report() const { return report_; }
    // The files staged so far, in the order found.
    TStagedList& Staged() { return staged_; }
    const TStagedList& Staged() const { return staged_; }
    // The private folder, ending in '/'; empty before the run made it.
    const std::string& WorkFolder() const { return workFolder_; }
    // The prefix of the staged names, made safe for a path.
    const std::string& Prefix() const { return prefix_; }
    // The drive as the scan method read it.
    const TLogDriveParams& DriveParams() const { return params_; }

private:
    struct ScanState;

    void runScanMethod();
    void runFolderMethod();
    void runBothMethods();
    // The drive's parameters and its 64-bit sector count into the report; false (failed) when
    // they cannot be had or there are no sectors.
    bool readDriveSize();
    // The scan method's loop over every sector, passing over the sectors in passOver (if any).
    void scanSectors(const TSectorRanges* passOver);
    // The folder based method through the scan driver; the sectors of the files it copies are
    // added to recovered (if any).
    void searchFolders(TSectorRanges* recovered);
    // After the folder based method: a card taken out meanwhile ends the run with that reason.
    void checkMediumAfterFolders();
    bool begin(TProgressUnit unit);
    void finish(TProgressUnit unit);
    void fail(TRunFailure kind, const std::string& text);
    void staged(const std::string& path, TStagedOrigin origin);
    void foundFile();
    void progressStep(std::uint64_t current);
    // Rebuilds the staged photos checked damaged whose first sector is known from their pieces on
    // the card (fragment_rebuild.h), passing over the sectors in taken that other files hold, and
    // rewrites those that come out whole. Run once the checks are in.
    void rebuildFragments(const TSectorRanges& taken);
    // Hands in the checks' answers that came in since the last call.
    void collectChecks();
    // Waits for the checks of the files staged, unless the run is cancelled meanwhile.
    void finishChecks();
    bool readSectors(std::uint64_t lba, std::uint32_t count);
    TFrmFATScan& scanDriver();
    std::string driveName() const;

    TRecoveryPlan plan_;
    Resources given_;
    std::unique_ptr<TFrmFATScan> ownScanDriver_;
    TFrmFATScan* scan_ = nullptr;  // while the folder method runs
    TSectorBuffer ownSectorBuffer_;
    std::uint8_t* buffer_ = nullptr;
    TLogDriveParams params_;
    TRunReport report_;
    TStagedList staged_;
    std::unique_ptr<ContentCheckPool> checks_;
    // The clusters of the volume the folder based method mounted; 0 when none was.
    std::uint32_t clusterSectors_ = 0;
    std::uint64_t clusterOrigin_ = 0;
    std::string workFolder_;
    std::string prefix_;
    std::int32_t filesFound_ = 0;
    std::uint32_t lastProgressTick_ = 0;
    TProgressUnit unit_ = TProgressUnit::Sector;
    bool running_ = false;
    bool stopped_ = true;
    bool ran_ = false;
};

}  // namespace quorvane
