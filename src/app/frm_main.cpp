#include "app/frm_main.h"

#include "app/drive_properties.h"
#include "app/frm_fat_scan.h"
#include "app/frm_preview.h"
#include "app/messages.h"
#include "app/program_folder.h"
#include "app/recoverable_drive.h"
#include "app/recovery_run.h"
#include "app/ui.h"
#include "platform/drive_table.h"
#include "app/update_url.h"
#include "platform/logical_drive.h"

#include <algorithm>

namespace quorvane {

TFrmMain::TFrmMain()
    : DriveParams(std::make_unique<TLogDriveParams>()), SectorBuffer(MakeSectorBuffer()) {
    cb_preview.SetChecked(true);
    Animate1.SetVisible(false);
    EditFilenamePrefix.SetText("image");
}

TFrmMain::~TFrmMain() {
    runPreview_.reset();
    ReleaseWorkFolder();
}

void TFrmMain::FormCreate() {
    ButtonCancel.SetEnabled(false);
    WipeCancelButton.SetEnabled(false);  // like Cancel, only during a wipe or a run
    ButtonStart.SetEnabled(false);
    LastProgressTick = 0;
    TerminateAfterRun = false;
    ScanDriver = std::make_unique<TFrmFATScan>();
    FillDriveList();
    // Without a store (the command line) the window keeps its defaults and creates no folder.
    if (Settings != nullptr) LoadSettings();
    UpdateURL = ReadUpdateURL(ProgramFolder());
    Animate1.FileName = ProgramFolder() + "Quorvane.gif";
}

void TFrmMain::FillDriveList() {
    std::vector<DriveEntry> kept;
    for (const auto& e : DriveTable::instance().entries()) {
        if (IsRecoverableDriveKind(GetDriveTypeA(e.root()))) kept.push_back(e);
    }
    // Roots are "A:\", "B:\", ...: sorting by path is sorting by letter.
    std::sort(kept.begin(), kept.end(), [](const DriveEntry& a, const DriveEntry& b) { return a.number < b.number; });
    std::vector<TComboBox::Item> items;
    int selected = -1;
    for (const auto& e : kept) {
        if (e.root() == "C:\\") selected = static_cast<int>(items.size());
        items.push_back({e.displayName, e.iconName, e.number});
    }
    ListBoxDrives.SetItems(std::move(items));
    ListBoxDrives.SetItemIndex(selected);
    ListBoxDrivesChange();
}

bool TFrmMain::SelectDrive(std::uint8_t drive) {
    const auto& items = ListBoxDrives.Items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].data == drive) {
            ListBoxDrives.SetItemIndex(static_cast<int>(i));
            ListBoxDrivesChange();
            return true;
        }
    }
    return false;
}

void TFrmMain::ListBoxDrivesChange() {
    const auto* item = ListBoxDrives.Selected();
    if (item == nullptr) return;
    ButtonStart.SetEnabled(false);
    DriveKindEstablished = false;
    LabelInfoMedia.SetCaption("");
    LabelInfoBytesPerSec.SetCaption("");
    LabelInfoCapacity.SetCaption("");
    DriveNumber = item->data;
    DriveLetter = LogicalDrive(static_cast<std::uint8_t>(DriveNumber)).letter();
    const TDriveProperties drive = ReadDriveProperties(static_cast<std::uint8_t>(DriveNumber));
    *DriveParams = drive.Params;
    if (!drive.Ready) {
        LabelInfoStatus.SetCaption(drive.Status);
        return;
    }
    DriveKind = drive.Kind;
    DriveKindEstablished = true;
    LabelInfoMedia.SetCaption(drive.Media);
    LabelInfoBytesPerSec.SetCaption(drive.BytesPerSector);
    LabelInfoCapacity.SetCaption(drive.Capacity);
    LabelInfoStatus.SetCaption(drive.Status);
    ButtonStart.SetEnabled(true);

    // Never more sectors at once than the buffer holds.
    TrackBarSecAtOnce.SetMin(1);
    if (DriveParams->BytesPerSector != 0) {
        TrackBarSecAtOnce.SetMax(SectorsAtOnceLimit(DriveParams->BytesPerSector));
    }
    TrackBarSecAtOnce.SetPosition(static_cast<int>(DriveParams->TotalSectors / 100));
    if (TrackBarSecAtOnce.Max() >= 4) TrackBarSecAtOnce.SetFrequency(TrackBarSecAtOnce.Max() / 4);
}

void TFrmMain::EnableControls(bool enable) {
    ButtonStart.SetEnabled(enable);
    ButtonBrowse.SetEnabled(enable);
    ListBoxDrives.SetEnabled(enable);
    EditDestPath.SetEnabled(enable);
    FormatButton.SetEnabled(enable);
    WipeButton.SetEnabled(enable);
    ButtonCancel.SetEnabled(!enable);
    WipeCancelButton.SetEnabled(!enable);
}

void TFrmMain::ButtonCancelClick() {
    StopFlag = true;
    LastRun.Cancelled = true;
    if (run_) run_->Cancel();
    if (ScanDriver) ScanDriver->StopScan();
}

}  // namespace quorvane
