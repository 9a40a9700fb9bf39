// The Tools page: formatting a removable drive with mkfs.fat and wiping it with zeros.
#include "app/format_through_descriptor.h"
#include "app/format_wipe.h"
#include "app/frm_main.h"
#include "app/messages.h"
#include "app/ui.h"
#include "app/volume_wipe.h"
#include "app/window_host.h"
#include "platform/destructive_use.h"
#include "platform/drive_table.h"
#include "platform/volume.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

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
    return OverwriteRefusal(*entry, MountsFile, ReadDeviceUse());
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
    const std::string name = DriveNameForUser(drive);
    TFormatOptions options;
    options.VolumeLabel = drive.volumeLabel;
    for (;;) {
        if (!windows().ShowFormatDialog(drive, options)) return FormatCancelled;
        const std::string problem = VolumeLabelProblem(options.VolumeLabel);
        if (problem.empty()) break;
        ShowRefusal(problem);
    }
    if (!askYesNo("Formatting erases everything on " + name + ". Format it now?")) return FormatCancelled;
    // The dialogs may have stayed open a while: the device is looked at again right before mkfs.fat.
    if (const std::string inUse = volumeInUse(); !inUse.empty()) {
        ShowRefusal(inUse);
        return FormatNotShown;
    }
    NT_CloseDrive();  // mkfs.fat opens the volume itself
    // mkfs.fat runs while messages are pumped: nothing else may start meanwhile.
    EnableControls(false);
    WipeCancelButton.SetEnabled(false);
    ButtonCancel.SetEnabled(false);
    UI().SetBusyCursor(true);
    TToolResult r;
    try {
        // A user outside the disk group formats through udisks2, as the card is read.
        r = NeedsDiskServiceToFormat(drive) ? FormatThroughDiskService(drive, options)
                                            : RunTool(MkfsFatArguments(drive, options));
    } catch (...) {
        r.Output = "The format stopped unexpectedly.";
    }
    UI().SetBusyCursor(false);
    EnableControls(true);
    if (r.ExitCode != 0) {
        ShowWarning("The format of " + name + " failed.\n" + r.Output);
        return FormatFailed;
    }
    UI().MessageBox(name + " was formatted.\n" + r.Output, "", MsgIcon::Information, MsgButtons::Ok, MsgResult::Ok);
    return FormatDone;
}

namespace {

std::string openForWritingFailure(const std::string& name, int err) {
    switch (err) {
        case EBUSY:
            return name + " is in use: mounted, used as swap, held by an encrypted volume, LVM or RAID, or open in "
                          "another program. Nothing was written.";
        case EROFS: return name + " is write-protected (check the lock switch of the card). Nothing was written.";
        case EACCES:
        case EPERM: return "No permission to write to " + name + ". Nothing was written.";
        default: return "Cannot open " + name + " for writing: " + std::strerror(err) + ". Nothing was written.";
    }
}

}  // namespace

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
    const DriveEntry* entry = DriveTable::instance().find(static_cast<std::uint8_t>(DriveNumber));
    if (entry == nullptr || !entry->opener || DriveParams->TotalSectors == 0 || DriveParams->BytesPerSector == 0) {
        allowed = false;
    }
    if (allowed) {
        if (const std::string inUse = volumeInUse(); !inUse.empty()) {
            ShowRefusal(inUse);
            allowed = false;
        }
    }
    if (!allowed) return false;
    const DriveEntry drive = *entry;
    const std::string name = DriveNameForUser(drive);
    if (!askYesNo(ListBoxStrings(msgDoYouWantToWipe) + " " + name + "?")) return false;

    // The question may have stayed open a while: the device is looked at again, and the size
    // that counts is the one the medium has now.
    NT_CloseDrive();
    if (const std::string inUse = volumeInUse(); !inUse.empty()) {
        ShowRefusal(inUse);
        return false;
    }
    int err = 0;
    std::unique_ptr<VolumeFile> file = drive.opener->open(true, err);
    if (!file) {
        ShowRefusal(openForWritingFailure(name, err != 0 ? err : EIO));
        return false;
    }
    DiskGeometry geometry;
    std::uint64_t totalSectors = 0;
    if (file->geometry(geometry) && geometry.cylinders > 0) {
        totalSectors = static_cast<std::uint64_t>(geometry.cylinders) * geometry.tracksPerCylinder *
                       geometry.sectorsPerTrack;
    }
    const std::uint32_t bytesPerSector = geometry.bytesPerSector;
    // What the window showed when the drive was selected; a 32-bit count is held at its largest.
    const std::uint64_t shownSectors = DriveParams->TotalSectors;
    const bool sizeAsShown = shownSectors == 0xFFFFFFFFu ? totalSectors >= shownSectors : totalSectors == shownSectors;
    const bool sizeAsListed =
        drive.identity.sizeBytes == 0 || totalSectors * std::uint64_t{bytesPerSector} == drive.identity.sizeBytes;
    if (totalSectors == 0 || bytesPerSector == 0 || bytesPerSector != DriveParams->BytesPerSector || !sizeAsShown ||
        !sizeAsListed) {
        ShowRefusal("The medium in " + name + " is not the one that was selected (its size changed). Nothing was "
                    "written; select the drive again.");
        return false;
    }

    EnableControls(false);
    StopFlag = false;
    LastWipe = {};
    PumpMessages();
    const auto mostAtOnce = static_cast<std::int64_t>(SectorBufferBytes / bytesPerSector);
    const auto blockSize =
        static_cast<std::uint32_t>(std::clamp<std::int64_t>(TrackBarSecAtOnce.Position(), 1, mostAtOnce));
    WipeGauge.SetMax(static_cast<std::int64_t>(totalSectors));
    PumpMessages();
    try {
        const auto keepGoing = [&](std::uint64_t done) {
            WipeGauge.SetPosition(static_cast<std::int64_t>(done));
            PumpMessages();
            return !StopFlag;
        };
        LastWipe = WipeVolume(*file, totalSectors, bytesPerSector, blockSize, SectorBuffer.data(), keepGoing);
    } catch (...) {
        // The clean-up below still runs; the flush is tried once more.
        LastWipe.Cancelled = true;
        LastWipe.FlushFailed = !file->flush();
    }
    file.reset();
    StopFlag = true;
    WipeGauge.SetPosition(0);
    EnableControls(true);
    NT_CloseDrive();
    const std::uint64_t tried = LastWipe.SectorsWritten + LastWipe.SectorsFailed;
    if (LastWipe.SectorsFailed > 0) {
        ShowWarning(std::to_string(LastWipe.SectorsFailed) + " of " + std::to_string(tried) + " sectors of " + name +
                    " could not be written; they may still hold old data.");
    }
    if (LastWipe.FlushFailed) {
        ShowWarning(name + " reported an error when the zeros were flushed to it: sectors may still hold old data. "
                           "Wipe it again, or stop using the card.");
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
    const DriveEntry* entry = DriveTable::instance().find(static_cast<std::uint8_t>(DriveNumber));
    const std::string name = entry != nullptr ? DriveNameForUser(*entry) : "[" + std::string(1, DriveLetter) + ":]";
    if (askYesNo(ListBoxStrings(msgDoYouWantToFormat) + " " + name + "?")) {
        PumpMessages();
        FormatDrive();
    } else {
        ListBoxDrivesChange();
    }
}

void TFrmMain::WipeCancelButtonClick() { StopFlag = true; }

}  // namespace quorvane
