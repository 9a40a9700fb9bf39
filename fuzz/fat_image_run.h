#pragma once
// One pass of the folder based method over a volume image held in memory, as the fuzz target and
// the replay of its findings run it: the image becomes a drive of the drive table, the drive's
// device and its FAT or exFAT drive are made, and every engine step of an analysis and a recovery runs on it,
// with the recovered files saved into a given folder.
//
// The pass also checks what must hold for any image, however damaged: the image is not written
// to, every file saved lies directly in the given folder, and no file holds more than twice the
// image's bytes (a file's clusters are taken at most once along its chain and at most once in the
// run of consecutive clusters that follows where the chain was released, and never beyond the
// image's end). What it found wrong is listed in
// the result; a crash, hang or sanitizer report is left to the caller's tooling.
#include "disk/devices.h"
#include "disk/drives.h"
#include "disk/ldiskio.h"
#include "fat/fat_drive.h"
#include "fat/fat_file_system.h"
#include "fat/fat_messages.h"
#include "fat/fat_objects.h"
#include "disk/scan_services.h"
#include "exfat/exfat_file_system.h"
#include "exfat/exfat_objects.h"
#include "platform/drive_table.h"
#include "platform/memory_volume.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace quorvane::fuzzing {

// Images are cut to this size: large enough for every seed, small enough that one input runs in
// well under a second with the sanitizers on.
inline constexpr std::size_t MaxImageBytes = 4u << 20;
inline constexpr std::size_t ImageSectorBytes = 512;

// The image a run reads: whole 512-byte sectors (the last one padded with zeros), at least one,
// at most MaxImageBytes.
inline std::vector<std::uint8_t> ImageFromBytes(const std::uint8_t* data, std::size_t size) {
    const std::size_t kept = std::min(size, MaxImageBytes);
    const std::size_t sectors = std::max<std::size_t>(1, (kept + ImageSectorBytes - 1) / ImageSectorBytes);
    std::vector<std::uint8_t> image(sectors * ImageSectorBytes, 0);
    if (kept > 0) std::memcpy(image.data(), data, kept);
    return image;
}

struct ImageRunResult {
    bool probedAsFAT = false;  // the device came from the drive table's file-system probe (FAT or exFAT)
    bool mounted = false;
    std::int32_t rootFiles = 0, rootFolders = 0, deletedFiles = 0, deletedFolders = 0;
    std::size_t searched = 0;      // files collected into "Searched" over the three searches
    std::size_t lostItems = 0;     // items the lost data search listed
    std::size_t saved = 0;         // files SaveTo kept
    std::vector<std::string> problems;  // what must never happen, found by the checks
};

// The scan driver as far as the engine needs one: it never stops a run on its own, and saves
// every file handed over into Folder, checking where each one lands.
class ImageRunScan : public TScanServices {
public:
    ImageRunScan(std::string folder, std::uintmax_t imageBytes, ImageRunResult& result)
        : Folder(std::move(folder)), ImageBytes(imageBytes), Result(result) {
        SetScanServices(this);
    }
    ~ImageRunScan() override { SetScanServices(nullptr); }
    ImageRunScan(const ImageRunScan&) = delete;
    ImageRunScan& operator=(const ImageRunScan&) = delete;

    void AddRecoverFile(TCustomFile& File) override {
        File.MarkRecovered();
        Save(File);
    }

    void Save(TCustomFile& File) {
        std::string path;
        if (!File.SaveCopy(Folder, &path)) return;
        ++Result.saved;
        const std::filesystem::path saved(path);
        std::error_code ec;
        if (!std::filesystem::equivalent(saved.parent_path(), Folder, ec) || ec)
            Result.problems.push_back("saved outside the folder: " + path);
        else if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(saved, ec)))
            Result.problems.push_back("saved item is not a plain file: " + path);
        else if (std::filesystem::file_size(saved, ec) > 2 * ImageBytes)
            Result.problems.push_back("saved file larger than twice the image: " + path);
    }

    std::string Folder;
    std::uintmax_t ImageBytes;
    ImageRunResult& Result;
};

// Whether the scan driver has taken the file over already.
inline bool TakenOver(const TCustomFile& File) {
    if (const auto* fat = dynamic_cast<const TFATFile*>(&File)) return fat->InRecoverList != 0;
    if (const auto* exfat = dynamic_cast<const TExFATFile*>(&File)) return exfat->InRecoverList;
    return true;
}

// Collects the media files of the chosen start directories into "Searched" and saves those that
// the scan driver has not taken over yet.
inline void CollectAndSave(TCustomDrive& Drive, ImageRunScan& Scan, bool Root, bool Deleted, bool Lost) {
    Drive.FindFiles(Root, Deleted, Lost);
    TCustomDirectory* searched = Drive.SearchedDir.get();
    if (!searched || !searched->Children) return;
    Scan.Result.searched += searched->Children->size();
    for (std::size_t i = 0; i < searched->Children->size(); ++i) {
        auto* file = dynamic_cast<TCustomFile*>((*searched->Children)[i].get());
        if (file && !TakenOver(*file)) Scan.AddRecoverFile(*file);
    }
}

// Runs the pass over Image, saving into Folder (an existing, empty folder). The drive table is
// emptied before and after: the image is its only drive while the pass runs.
inline ImageRunResult RunFolderMethodOnImage(const std::vector<std::uint8_t>& Image, const std::string& Folder) {
    ImageRunResult result;
    SetFATMessageHook(nullptr);
    NT_CloseDrive();
    DriveTable::instance().clear();

    auto bytes = std::make_shared<std::vector<std::uint8_t>>(Image);
    DriveEntry entry;
    entry.path = "fuzz input";
    entry.displayName = "fuzz input (image)";
    entry.kind = DRIVE_REMOVABLE;
    entry.isImage = true;
    entry.sizeBytes = bytes->size();
    entry.opener = std::make_shared<MemoryVolumeOpener>(bytes);
    const std::uint8_t number = DriveTable::instance().addVolume(entry).value_or(0);
    if (number == 0) {
        result.problems.push_back("the image could not be added to the drive table");
        return result;
    }

    {
        ImageRunScan scan(Folder, bytes->size(), result);
        // Most damaged images are not taken for FAT by the probe: their device is made by hand
        // then, as GetWindowsDrive would make it, so that the engine still reads them.
        TDevice own;
        TDeviceList devices;
        TDriveList drives{{&FatFileSystem(), &ExFatFileSystem()}};
        TDevice* device = devices.GetWindowsDrive(number);
        result.probedAsFAT = device != nullptr;
        if (!device) {
            own.Kind = 1;
            own.Drive = number;
            own.DriveType = DRIVE_REMOVABLE;
            own.Flags = 1;
            own.TotalSectors = static_cast<std::uint32_t>(bytes->size() / ImageSectorBytes);
            own.BytesPerSector = ImageSectorBytes;
            device = &own;
        }

        TCustomDrive* drive = drives.GetFATDrive(device);
        if (drive) {
            scan.Drive = drive;
            result.mounted = drive->MountDrive(true);
            drive->SetLostSearchOption(true);

            // The drive analysis' two counting passes.
            drive->AnalyzeTotalFile(true, false, false, result.rootFiles, result.rootFolders);
            drive->AnalyzeTotalFile(false, true, false, result.deletedFiles, result.deletedFolders);
            // The deleted media files, then the live ones, each collected and saved.
            CollectAndSave(*drive, scan, false, true, false);
            CollectAndSave(*drive, scan, true, false, false);
            // The lost data search hands its files over (and so saves them) as it finds them; the
            // media files among the lost items are collected and saved after it.
            drive->FindLostData();
            if (const TCustomDirectory* lost = drive->LostDir.get(); lost && lost->Children)
                result.lostItems = lost->Children->size();
            CollectAndSave(*drive, scan, false, false, true);
        }
        drives.clear();
        devices.clear();
    }

    NT_CloseDrive();
    DriveTable::instance().clear();
    if (*bytes != Image) result.problems.push_back("the image was written to");
    return result;
}

}  // namespace quorvane::fuzzing
