#pragma once
// The main window without its toolkit: the selected drive and its properties, the
// destination and prefix, the scan tuning, and the controls that show a recovery run (the run
// itself is a RecoveryRun).
#include "app/controls.h"
#include "app/drive_properties.h"
#include "app/recovery_plan.h"
#include "app/run_report.h"
#include "app/scan_tuning.h"
#include "app/volume_wipe.h"
#include "disk/ldiskio.h"
#include "platform/drive_table.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

class TFrmPreview;
class TFrmFATScan;
class TSettingsStore;
class TWindowHost;
class RecoveryRun;

class TFrmMain {
public:
    TFrmMain();
    ~TFrmMain();
    TFrmMain(const TFrmMain&) = delete;
    TFrmMain& operator=(const TFrmMain&) = delete;

    // State, in the order the window keeps it.
    std::unique_ptr<TLogDriveParams> DriveParams;
    std::uint32_t LastProgressTick = 0;
    TSectorBuffer SectorBuffer;
    std::int32_t DriveNumber = 0;
    char DriveLetter = 0;
    std::int32_t DriveKind = 0;
    bool StopFlag = true;
    std::int32_t ImagesFound = 0;
    bool TerminateAfterRun = false;
    std::string UpdateURL;

    // The run's preview window, when one exists; it receives every finished file.
    TFrmPreview* FrmPreview = nullptr;
    // The scan driver of the folder based method, made by FormCreate.
    std::unique_ptr<TFrmFATScan> ScanDriver;

    // Recovery page.
    TComboBox ListBoxDrives{"ListBoxDrives"};
    TEdit EditDestPath{"EditDestPath"};
    TButton ButtonBrowse{"ButtonBrowse", "..."};
    TProgressBar GProgress{"GProgress"};
    TButton ButtonStart{"ButtonStart", "&Start"};
    TButton ButtonCancel{"ButtonCancel", "&Cancel"};
    TLabel LabelInfoMedia{"LabelInfoMedia", ""};
    TLabel LabelInfoCapacity{"LabelInfoCapacity", ""};
    TLabel LabelInfoBytesPerSec{"LabelInfoBytesPerSec", ""};
    TLabel LabelInfoStatus{"LabelInfoStatus", ""};
    TLabel LabelInfoImagesFound{"LabelInfoImagesFound", ""};
    TLabel LabelInfoReadErrors{"LabelInfoReadErrors", ""};
    TLabel LabelCurrSec{"LabelCurrSec", "Current sector:"};
    TLabel LabelInfoCurrentSector{"LabelInfoCurrentSector", ""};
    TCheckBox cb_preview{"cb_preview", "Preview"};
    TAnimate Animate1{"Animate1"};
    // Tools page.
    TButton FormatButton{"FormatButton", "Format"};
    TButton WipeButton{"WipeButton", "Wipe"};
    TButton WipeCancelButton{"WipeCancelButton", "Cancel"};
    // Settings page.
    TEdit EditFilenamePrefix{"EditFilenamePrefix"};
    // Files that have a name on the card are saved under it, inside their folders.
    TCheckBox CBKeepNames{"CBKeepNames", "Keep the names and folders of files found by name"};
    TTrackBar TrackBarSecAtOnce{"TrackBarSecAtOnce", 1, 1000, 1, 250};
    TTrackBar TrackBarRetryCount{"TrackBarRetryCount", 1, 20, 1, 5};

    // Start-up of the window: drive list, the first card selected (the system volume when no
    // card is in).
    void FormCreate();
    void FillDriveList();
    // Follows cards and drives that came or went since the list was filled: the list is read
    // again, a new card is selected, else the selected drive stays. Nothing while a run or a wipe
    // goes on (the next check after it catches up). True when the list was read again.
    bool CheckDrives();
    // A run or a wipe is going on.
    bool Busy() const;
    void ListBoxDrivesChange();
    // Selects the drive with this number in the drive box and reads its properties.
    bool SelectDrive(std::uint8_t drive);

    void EnableControls(bool enable);
    void ButtonCancelClick();

    // The window's side of the start of a run, once the run has its working folder: controls
    // disabled, counters reset, status "Busy".
    void PrepareRun();
    // The scan method on the selected drive with the prefix and the track bars' tuning.
    void RunScanMethod();
    // The folder based method: the media files among the deleted entries (RecoverDeleted) and the
    // lost ones (LookForLost) of the selected drive, through the scan driver.
    void RunFolderMethod(bool RecoverDeleted, bool LookForLost);
    // The combined run: the folder based method with these choices, then the scan method over
    // every sector the files it recovered do not hold.
    void RunBothMethods(bool RecoverDeleted, bool LookForLost);

    // Lets the last run go: its working folder is removed once its files are gone.
    void ReleaseWorkFolder();

    std::string WorkFolder;  // the current run's private folder, ending in '/'
    std::string Prefix;
    TRunReport LastRun;

    // The front end's windows and settings; none: no questions asked, nothing remembered.
    TWindowHost* Windows = nullptr;
    TSettingsStore* Settings = nullptr;
    // Whether DriveKind was read for the selected drive (false while it is "Not Ready").
    bool DriveKindEstablished = false;
    // Where mounted volumes are listed; format and wipe refuse those.
    std::string MountsFile = "/proc/self/mounts";

    // Tools page: the wipe's progress.
    TProgressBar WipeGauge{"WipeGauge"};
    // What the last wipe did.
    TWipeReport LastWipe;

    // Pages of the window, chosen with the menu buttons.
    enum class TPage { TSRecover, TSUtil, TSOptions };
    TPage ActivePage = TPage::TSRecover;

    void LoadSettings();
    void SaveSettings();
    // Adds an image file (or a device) to the drive box and selects it; for an image with a
    // partition table, its first partition. False with a reason when it cannot be added.
    bool AddImage(const std::string& path, std::string& error);
    // The user closes the window: stops a run; the close goes on only when none is active.
    bool FormCloseQuery();
    void FormClose();

    // The Start command: analysis dialog, the chosen method, the preview and the saving.
    void ButtonStartClick();
    void cb_previewClick();
    void ButtonBrowseClick();
    void ButtonMainClick();
    void ButtonUtilClick();
    void ButtonOptionsClick();
    // Mouse-down on a menu button: false aborts the press (while Start is disabled).
    bool ButtonMainMouseDown() const;
    void ButtonHelpClick();
    void ButtonAboutClick();

    // Tools page.
    int FormatDrive();
    bool WipeDrive();
    void FormatButtonClick();
    void WipeButtonClick();
    void WipeCancelButtonClick();

private:
    TWindowHost& windows();
    // The destination check before Start: a refusal is shown and stops it; a destination on the
    // drive being recovered is asked about. True when the run may go on.
    bool destinationAccepted();
    void createPreview();
    void closePreview();
    void endOfRun();
    // Why the selected drive may not be formatted or wiped now (mounted, in use, not removable,
    // not the device listed); "" when it may. Refusals of the drive's kind are shown with their
    // own messages, so they give "" here.
    std::string volumeInUse() const;

    std::unique_ptr<TFrmPreview> runPreview_;

    // The plan of a run by this method from the window's controls.
    TRecoveryPlan planFromControls(TRecoveryMethod method) const;
    // How messages name the selected drive: its caption in the drive box.
    std::string selectedDriveName() const;
    // Runs the plan with the window's scan driver and sector buffer, its events shown in the
    // controls and its files handed to the preview; fills LastRun.
    void runRecovery(const TRecoveryPlan& plan);
    void bindRunEvents(RecoveryRun& run);

    // The current or last run, kept until its files are saved.
    std::unique_ptr<RecoveryRun> run_;

    // Fills the drive box with these drives and selects one (-1: none).
    void showDrives(const std::vector<DriveEntry>& drives, int selected);
    // The block devices when the drive box was last filled.
    std::string drivesFingerprint_;
    bool drivesListed_ = false;  // FillDriveList ran: the box shows the drive table
};

}  // namespace quorvane
