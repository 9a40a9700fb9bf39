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

namespace {

// The drives the drive box offers, in letter order.
std::vector<DriveEntry> recoverableDrives() {
    std::vector<DriveEntry> kept;
    for (const auto& e : DriveTable::instance().entries()) {
        if (IsRecoverableDriveKind(GetDriveTypeA(e.root()))) kept.push_back(e);
    }
    std::sort(kept.begin(), kept.end(), [](const DriveEntry& a, const DriveEntry& b) { return a.number < b.number; });
    return kept;
}

// A card, not a disk of the computer: what the user came to recover.
bool isCard(const DriveEntry& e) { return e.kind == DRIVE_REMOVABLE && !e.isImage; }

// The drive to pick among several of a card: a partition that holds a file system rather than
// the whole disk with its partition table.
int preferredCardIndex(const std::vector<DriveEntry>& drives, const std::vector<std::size_t>& candidates) {
    for (const std::size_t i : candidates) {
        if (!drives[i].isPartitionTable) return static_cast<int>(i);
    }
    return candidates.empty() ? -1 : static_cast<int>(candidates.front());
}

}  // namespace

void TFrmMain::FillDriveList() {
    const std::vector<DriveEntry> drives = recoverableDrives();
    // A card when one is in, else the system volume as before.
    std::vector<std::size_t> cards;
    int system = -1;
    for (std::size_t i = 0; i < drives.size(); ++i) {
        if (isCard(drives[i])) cards.push_back(i);
        if (drives[i].root() == "C:\\") system = static_cast<int>(i);
    }
    const int card = preferredCardIndex(drives, cards);
    showDrives(drives, card >= 0 ? card : system);
    drivesFingerprint_ = DriveTable::instance().blockDevicesFingerprint();
    drivesListed_ = true;
}

void TFrmMain::showDrives(const std::vector<DriveEntry>& drives, int selected) {
    std::vector<TComboBox::Item> items;
    for (const auto& e : drives) items.push_back({e.displayName, e.iconName, e.number});
    ListBoxDrives.SetItems(std::move(items));
    ListBoxDrives.SetItemIndex(selected);
    ListBoxDrivesChange();
}

bool TFrmMain::Busy() const { return ButtonCancel.Enabled() || WipeCancelButton.Enabled(); }

bool TFrmMain::CheckDrives() {
    // A run or a wipe keeps its drive box; the change is seen by the first check after it.
    if (Busy() || !drivesListed_) return false;
    const std::string fingerprint = DriveTable::instance().blockDevicesFingerprint();
    if (fingerprint == drivesFingerprint_) return false;
    drivesFingerprint_ = fingerprint;

    std::vector<std::string> before;
    for (const auto& item : ListBoxDrives.Items()) {
        if (const DriveEntry* e = DriveTable::instance().find(static_cast<std::uint8_t>(item.data))) before.push_back(e->path);
    }
    const DriveEntry* selectedEntry =
        ListBoxDrives.Selected() != nullptr ? DriveTable::instance().find(static_cast<std::uint8_t>(ListBoxDrives.Selected()->data))
                                            : nullptr;
    const std::string selectedPath = selectedEntry != nullptr ? selectedEntry->path : std::string();
    const std::uint64_t selectedOffset = selectedEntry != nullptr ? selectedEntry->offsetBytes : 0;

    DriveTable::instance().refresh();
    const std::vector<DriveEntry> drives = recoverableDrives();
    std::vector<std::size_t> newCards;
    std::vector<std::size_t> cards;
    int kept = -1;
    for (std::size_t i = 0; i < drives.size(); ++i) {
        const DriveEntry& e = drives[i];
        if (isCard(e)) cards.push_back(i);
        if (isCard(e) && std::find(before.begin(), before.end(), e.path) == before.end()) newCards.push_back(i);
        if (!selectedPath.empty() && e.path == selectedPath && e.offsetBytes == selectedOffset) kept = static_cast<int>(i);
    }
    // A card just put in is what the user wants to recover; else the drive stays, else the first card.
    int selected = preferredCardIndex(drives, newCards);
    if (selected < 0) selected = kept;
    if (selected < 0) selected = preferredCardIndex(drives, cards);
    if (selected < 0 && !drives.empty()) selected = 0;
    showDrives(drives, selected);
    return true;
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
