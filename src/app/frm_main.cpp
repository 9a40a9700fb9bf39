#include "app/frm_main.h"

#include "app/file_naming.h"
#include "app/frm_fat_scan.h"
#include "app/frm_preview.h"
#include "app/messages.h"
#include "app/program_folder.h"
#include "app/ui.h"
#include "media/recoverutils.h"
#include "platform/drive_table.h"
#include "platform/work_folder.h"
#include "app/update_url.h"

#include <algorithm>
#include <cstdio>

namespace quorvane {

TFrmMain::TFrmMain()
    : DriveParams(std::make_unique<TLogDriveParams>()),
      // Slack after the buffer: the start test reads 489 bytes of the last sector of a block
      // whatever the sector size is.
      SectorBuffer(SectorBufferBytes + MinTestedSectorBytes) {
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
    connectScanDriver();
    FillDriveList();
    // Without a store (the command line) the window keeps its defaults and creates no folder.
    if (Settings != nullptr) LoadSettings();
    UpdateURL = ReadUpdateURL(ProgramFolder());
    Animate1.FileName = ProgramFolder() + "Quorvane.gif";
}

void TFrmMain::connectScanDriver() {
    ScanDriver->OnStartScanData = [this](std::int64_t, std::int64_t start, std::int64_t end, std::int32_t) {
        GProgress.SetMax(LostDataProgressTotal(static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end)));
        GProgress.SetPosition(0);
    };
    ScanDriver->OnScanProgress = [this](std::int64_t pos) {
        GProgress.SetPosition(static_cast<std::uint32_t>(pos));
        PumpMessages();
    };
    ScanDriver->OnScanClustorProgress = [this](std::int64_t cluster) {
        LabelInfoCurrentSector.SetCaption(std::to_string(cluster));
    };
    ScanDriver->OnFoundImage = [this](const std::string& fileName) {
        ++ImagesFound;
        LabelInfoImagesFound.SetCaption(std::to_string(ImagesFound));
        if (FrmPreview != nullptr) FrmPreview->AddFile(fileName);
    };
}

void TFrmMain::FillDriveList() {
    std::vector<DriveEntry> kept;
    for (const auto& e : DriveTable::instance().entries()) {
        const auto kind = GetDriveTypeA(e.root());
        if (kind == DRIVE_REMOVABLE || kind == DRIVE_FIXED || kind == DRIVE_RAMDISK || kind == DRIVE_CDROM) {
            kept.push_back(e);
        }
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

std::string FormatCapacity(std::uint32_t totalSectors, std::uint32_t bytesPerSector) {
    // Single precision, as the labels have always shown it.
    float kb = static_cast<float>(totalSectors) * (1.0f / 1024.0f);
    kb = kb * static_cast<float>(bytesPerSector);
    char text[64];
    if (kb < 1024.0f) {
        std::snprintf(text, sizeof text, "%.2f KB", static_cast<double>(kb));
    } else if (kb < 1048576.0f) {
        std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(kb / 1024.0f));
    } else {
        std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(kb / 1048576.0f));
    }
    return text;
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
    const LogicalDrive drive(static_cast<std::uint8_t>(DriveNumber));
    DriveLetter = drive.letter();
    if (!GetLogDriveParams(static_cast<std::uint8_t>(DriveNumber), *DriveParams)) {
        LabelInfoStatus.SetCaption(ListBoxStrings(msgNotReady));
        return;
    }
    DriveKind = static_cast<std::int32_t>(GetDriveTypeA(drive.root()));
    DriveKindEstablished = true;
    if (DriveKind >= 2 && DriveKind <= 6) LabelInfoMedia.SetCaption(ListBoxStrings(DriveKind - 1));
    LabelInfoBytesPerSec.SetCaption(std::to_string(DriveParams->BytesPerSector));
    LabelInfoCapacity.SetCaption(FormatCapacity(DriveParams->TotalSectors, DriveParams->BytesPerSector));
    LabelInfoStatus.SetCaption(ListBoxStrings(msgReady));
    ButtonStart.SetEnabled(true);

    // Never more sectors at once than the buffer holds.
    TrackBarSecAtOnce.SetMin(1);
    if (DriveParams->BytesPerSector != 0) {
        TrackBarSecAtOnce.SetMax(static_cast<int>((SectorBufferBytes - 1) / DriveParams->BytesPerSector));
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
    if (ScanDriver) ScanDriver->StopScan();
}

bool TFrmMain::PrepareRun() {
    StopFlag = false;
    ReleaseWorkFolder();
    LastRun = {};
    // Each run stages into a folder of its own, so nothing of another run or of another
    // program can be taken for one of its files.
    std::string error;
    WorkFolder = MakePrivateRunFolder(error);
    if (WorkFolder.empty()) {
        ShowRefusal(error);
        LastRun.Failure = error;
        StopFlag = true;
        return false;
    }
    Prefix = SafePrefix(EditFilenamePrefix.Text());
    EnableControls(false);
    LabelInfoImagesFound.SetCaption("0");
    LabelInfoReadErrors.SetCaption("0");
    ImagesFound = 0;
    StopFlag = false;
    LabelInfoStatus.SetCaption(ListBoxStrings(msgBusy));
    return true;
}

void TFrmMain::RunFolderMethod(bool RecoverDeleted, bool LookForLost) {
    if (!PrepareRun()) return;
    Animate1.SetActive(true);
    Animate1.SetVisible(true);
    PumpMessages();
    LabelCurrSec.SetCaption(ListBoxStrings(msgCurrentCluster));
    ScanDriver->DestPath = WorkFolder;
    ScanDriver->ScanDrive(static_cast<std::uint8_t>(DriveNumber), false, RecoverDeleted, LookForLost);
    LabelInfoStatus.SetCaption(ListBoxStrings(msgReady));
    Animate1.SetActive(false);
    Animate1.SetVisible(false);
    GProgress.SetPosition(0);
    LabelInfoCurrentSector.SetCaption("");
    LabelCurrSec.SetCaption(ListBoxStrings(msgCurrentSector));
    EnableControls(true);
    NT_CloseDrive();
    StopFlag = true;
    ScanDriver->StopScan();
    if (!ScanDriver->Failure.empty()) stopRun(ScanDriver->Failure);
}

void TFrmMain::ReleaseWorkFolder() {
    RemoveFolderIfEmpty(WorkFolder);
}

void TFrmMain::stopRun(const std::string& failure) {
    if (LastRun.Failure.empty()) {
        LastRun.Failure = failure;
        ShowWarning(failure);
    }
    StopFlag = true;
}

}  // namespace quorvane
