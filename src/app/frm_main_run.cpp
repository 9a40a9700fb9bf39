// The window's side of a recovery run: the plan from its controls, the run's events shown in its
// labels, progress bar and animation, and the files handed to the run's preview window.
#include "app/destination_check.h"
#include "app/frm_fat_scan.h"
#include "app/frm_main.h"
#include "app/frm_preview.h"
#include "app/messages.h"
#include "app/recovery_run.h"
#include "app/ui.h"

namespace quorvane {

std::string TFrmMain::selectedDriveName() const {
    const auto* item = ListBoxDrives.Selected();
    return item != nullptr ? item->caption : std::string(1, DriveLetter) + ":";
}

TRecoveryPlan TFrmMain::planFromControls(TRecoveryMethod method) const {
    TRecoveryPlan plan;
    plan.Drive = static_cast<std::uint8_t>(DriveNumber);
    plan.DriveName = selectedDriveName();
    plan.Method = method;
    plan.Prefix = EditFilenamePrefix.Text();
    plan.SectorsAtOnce = TrackBarSecAtOnce.Position();
    plan.RetryCount = TrackBarRetryCount.Position();
    // The destination cannot change during a run (its field is disabled), so the files found
    // can be staged in it and saved by a link.
    plan.StagingParent = CheckDestination(EditDestPath.Text(), plan.Drive, plan.DriveName, MountsFile).StagingParent;
    return plan;
}

void TFrmMain::RunScanMethod() {
    LastProgressTick = 0;
    runRecovery(planFromControls(TRecoveryMethod::Scan));
}

void TFrmMain::RunFolderMethod(bool RecoverDeleted, bool LookForLost) {
    TRecoveryPlan plan = planFromControls(TRecoveryMethod::Folder);
    plan.RecoverDeleted = RecoverDeleted;
    plan.LookForLost = LookForLost;
    runRecovery(plan);
}

void TFrmMain::RunBothMethods(bool RecoverDeleted, bool LookForLost) {
    LastProgressTick = 0;
    TRecoveryPlan plan = planFromControls(TRecoveryMethod::Both);
    plan.RecoverDeleted = RecoverDeleted;
    plan.LookForLost = LookForLost;
    runRecovery(plan);
}

void TFrmMain::PrepareRun() {
    EnableControls(false);
    LabelInfoImagesFound.SetCaption("0");
    LabelInfoReadErrors.SetCaption("0");
    ImagesFound = 0;
    LabelInfoStatus.SetCaption(ListBoxStrings(msgBusy));
}

void TFrmMain::runRecovery(const TRecoveryPlan& plan) {
    StopFlag = false;
    ReleaseWorkFolder();
    LastRun = {};
    run_ = std::make_unique<RecoveryRun>(plan, RecoveryRun::Resources{ScanDriver.get(), &SectorBuffer});
    bindRunEvents(*run_);
    LastRun = run_->Run();
    run_->Events = {};
    WorkFolder = run_->WorkFolder();
    Prefix = run_->Prefix();
    StopFlag = true;
}

void TFrmMain::bindRunEvents(RecoveryRun& run) {
    auto& events = run.Events;
    events.OnPhase = [this, &run](TRunPhase phase, TProgressUnit unit) {
        if (phase == TRunPhase::Running) {
            WorkFolder = run.WorkFolder();
            Prefix = run.Prefix();
            PrepareRun();
            LabelCurrSec.SetCaption(ListBoxStrings(unit == TProgressUnit::Sector ? msgCurrentSector : msgCurrentCluster));
            Animate1.SetActive(true);
            Animate1.SetVisible(true);
            return;
        }
        if (phase == TRunPhase::Carving) {
            // The combined run's scan: from here on the position and the number count sectors.
            LabelCurrSec.SetCaption(ListBoxStrings(msgCurrentSector));
            LabelInfoCurrentSector.SetCaption("");
            GProgress.SetPosition(0);
            return;
        }
        // The last files' checks: the run goes on (Cancel still stops them) until it has finished.
        if (phase == TRunPhase::Checking) return;
        LabelInfoStatus.SetCaption(ListBoxStrings(msgReady));
        Animate1.SetActive(false);
        Animate1.SetVisible(false);
        GProgress.SetPosition(0);
        LabelInfoCurrentSector.SetCaption("");
        LabelCurrSec.SetCaption(ListBoxStrings(msgCurrentSector));
        EnableControls(true);
    };
    events.OnProgressRange = [this](std::int64_t max) { GProgress.SetMax(max); };
    events.OnProgress = [this](std::int64_t position) { GProgress.SetPosition(position); };
    events.OnCurrent = [this](std::int64_t current) { LabelInfoCurrentSector.SetCaption(std::to_string(current)); };
    events.OnFilesFound = [this](std::int32_t files) {
        ImagesFound = files;
        LabelInfoImagesFound.SetCaption(std::to_string(files));
    };
    events.OnReadErrors = [this](std::int32_t errors) { LabelInfoReadErrors.SetCaption(std::to_string(errors)); };
    events.OnFileStaged = [this, &run](const std::string& path) {
        // Told right after the run listed the file: its entry there carries where it came from.
        const auto& staged = run.Staged().Files();
        if (FrmPreview != nullptr) FrmPreview->AddFile(path, staged.empty() ? TStagedOrigin{} : staged.back().Origin);
    };
    // The run's staged list and the preview's are filled in the same order.
    events.OnFileChecked = [this](std::size_t index, TFileCondition condition) {
        if (FrmPreview != nullptr) FrmPreview->SetCondition(index, condition);
    };
    events.OnFailure = [this](TRunFailure kind, const std::string& text) {
        // The FAT engine has shown why its mount failed: one box is enough.
        if (kind == TRunFailure::NotMounted && ScanDriver && !ScanDriver->MountError.empty()) return;
        if (IsRefusal(kind)) {
            ShowRefusal(text);
        } else {
            ShowWarning(text);
        }
    };
}

void TFrmMain::ReleaseWorkFolder() { run_.reset(); }

}  // namespace quorvane
