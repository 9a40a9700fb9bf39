// The Tools page: formatting a removable drive with mkfs.fat and wiping it with zeros.
#include "app/format_through_descriptor.h"
#include "app/format_wipe.h"
#include "app/frm_main.h"
#include "app/messages.h"
#include "app/ui.h"
#include "app/window_host.h"
#include "media/recoverutils.h"
#include "platform/drive_table.h"

namespace quorvane {
namespace {

// Results of FormatDrive, as the shell's format call gives them.
constexpr int FormatDone = 0;
constexpr int FormatNotShown = -1;
constexpr int FormatCancelled = -2;
constexpr int FormatFailed = -3;

bool askYesNo(const std::string& text) {
    return UI().MessageBox(text, "", MsgIcon::Question, MsgButtons::YesNo, MsgResult::No) == MsgResult::Yes;
}

}  // namespace

std::string TFrmMain::volumeInUse() const {
    const DriveEntry* entry = DriveTable::instance().find(static_cast<std::uint8_t>(DriveNumber));
    if (entry == nullptr) return "";
    const std::string mountPoint = MountPointOf(*entry, MountsFile);
    if (mountPoint.empty()) return "";
    return entry->path + " is mounted on " + mountPoint + ". Unmount it first.";
}

int TFrmMain::FormatDrive() {
    // A drive that could not be queried has no kind of its own yet: nothing is done to it.
    if (!DriveKindEstablished) return FormatNotShown;
    switch (DriveKind) {
        case DRIVE_REMOVABLE:
        case DRIVE_RAMDISK: break;
        case DRIVE_FIXED: ShowRefusal(ListBoxStrings(msgCannotFormatFixed)); return FormatNotShown;
        case DRIVE_REMOTE: ShowRefusal(ListBoxStrings(msgCannotFormatRemote)); return FormatNotShown;
        case DRIVE_CDROM: ShowRefusal(ListBoxStrings(msgCannotFormatCdrom)); return FormatNotShown;
        default: return FormatNotShown;
    }
    const DriveEntry* entry = DriveTable::instance().find(static_cast<std::uint8_t>(DriveNumber));
    if (entry == nullptr) return FormatNotShown;
    if (const std::string inUse = volumeInUse(); !inUse.empty()) {
        ShowRefusal(inUse);
        return FormatNotShown;
    }
    const DriveEntry drive = *entry;
    TFormatOptions options;
    options.VolumeLabel = drive.volumeLabel;
    for (;;) {
        if (!windows().ShowFormatDialog(drive, options)) return FormatCancelled;
        const std::string problem = VolumeLabelProblem(options.VolumeLabel);
        if (problem.empty()) break;
        ShowRefusal(problem);
    }
    if (!askYesNo("Formatting erases everything on " + drive.displayName + " [" + std::string(1, DriveLetter) +
                  ":]. Format it now?")) {
        return FormatCancelled;
    }
    NT_CloseDrive();  // mkfs.fat opens the volume itself
    UI().SetBusyCursor(true);
    // A user outside the disk group formats through udisks2, as the card is read.
    const TToolResult r = NeedsDiskServiceToFormat(drive) ? FormatThroughDiskService(drive, options)
                                                          : RunTool(MkfsFatArguments(drive, options));
    UI().SetBusyCursor(false);
    if (r.ExitCode != 0) {
        ShowWarning("The format of [" + std::string(1, DriveLetter) + ":] failed.\n" + r.Output);
        return FormatFailed;
    }
    UI().MessageBox("[" + std::string(1, DriveLetter) + ":] was formatted.\n" + r.Output, "", MsgIcon::Information,
                    MsgButtons::Ok, MsgResult::Ok);
    return FormatDone;
}

bool TFrmMain::WipeDrive() {
    bool allowed = false;
    if (DriveKindEstablished) {
        switch (DriveKind) {
            case DRIVE_REMOVABLE:
            case DRIVE_RAMDISK: allowed = true; break;
            case DRIVE_FIXED: ShowRefusal(ListBoxStrings(msgCannotWipeFixed)); break;
            case DRIVE_REMOTE: ShowRefusal(ListBoxStrings(msgCannotWipeRemote)); break;
            case DRIVE_CDROM: ShowRefusal(ListBoxStrings(msgCannotWipeCdrom)); break;
            default: break;
        }
    }
    const std::uint32_t totalSectors = DriveParams->TotalSectors;
    const std::uint32_t bytesPerSector = DriveParams->BytesPerSector;
    if (totalSectors == 0 || bytesPerSector == 0) allowed = false;
    if (allowed) {
        if (const std::string inUse = volumeInUse(); !inUse.empty()) {
            ShowRefusal(inUse);
            allowed = false;
        }
    }
    if (allowed) {
        allowed = askYesNo(ListBoxStrings(msgDoYouWantToWipe) + " [" + std::string(1, DriveLetter) + ":]?");
    }
    if (!allowed) return false;

    EnableControls(false);
    StopFlag = false;
    LastWipe = {};
    PumpMessages();
    std::uint32_t blockSize = static_cast<std::uint32_t>(TrackBarSecAtOnce.Position());
    blockSize = std::max<std::uint32_t>(1, std::min<std::uint32_t>(blockSize, static_cast<std::uint32_t>(SectorBufferBytes / bytesPerSector)));
    std::uint32_t i = 0;
    WipeGauge.SetMax(totalSectors);
    PumpMessages();
    const auto drive = static_cast<std::uint8_t>(DriveNumber);
    try {
        while (i < totalSectors && !StopFlag) {
            if (i + blockSize > totalSectors) blockSize = totalSectors - i;
            FillBuffer(SectorBuffer.data(), static_cast<std::int64_t>(bytesPerSector) * blockSize, 0);
            if (!WriteLogicalSectors(drive, i, static_cast<std::uint16_t>(blockSize), SectorBuffer.data())) {
                // Find out which sectors of the block refuse, so the count at the end is exact.
                for (std::uint32_t k = 0; k < blockSize; ++k) {
                    if (!WriteLogicalSectors(drive, i + k, 1, SectorBuffer.data())) ++LastWipe.SectorsFailed;
                }
            }
            for (std::uint32_t k = 0; k < blockSize; ++k) {
                WipeGauge.SetPosition(i);
                PumpMessages();
                ++i;
                if (StopFlag) break;
            }
        }
    } catch (...) {
        // The clean-up below still runs.
    }
    LastWipe.SectorsWritten = i - std::min(i, LastWipe.SectorsFailed);
    LastWipe.Cancelled = i < totalSectors;
    StopFlag = true;
    WipeGauge.SetPosition(0);
    EnableControls(true);
    NT_CloseDrive();
    if (LastWipe.SectorsFailed > 0) {
        ShowWarning(std::to_string(LastWipe.SectorsFailed) + " of " + std::to_string(i) + " sectors of [" +
                    std::string(1, DriveLetter) + ":] could not be written; they may still hold old data.");
    }
    return true;
}

void TFrmMain::FormatButtonClick() {
    FormatDrive();
    ListBoxDrivesChange();
}

void TFrmMain::WipeButtonClick() {
    TerminateAfterRun = false;
    if (!WipeDrive()) return;
    // Closing the window stopped the wipe: the program ends instead of offering a format.
    if (TerminateAfterRun) {
        windows().Terminate();
        return;
    }
    if (askYesNo(ListBoxStrings(msgDoYouWantToFormat) + " [" + std::string(1, DriveLetter) + ":]?")) {
        PumpMessages();
        FormatDrive();
    } else {
        ListBoxDrivesChange();
    }
}

void TFrmMain::WipeCancelButtonClick() { StopFlag = true; }

}  // namespace quorvane
