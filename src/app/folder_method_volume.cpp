#include "app/folder_method_volume.h"

#include "disk/ldiskio.h"
#include "disk/volume_content.h"
#include "fat/fat_formats.h"

#include <vector>

namespace quorvane {
namespace {

constexpr const char* ScanStillWorks = "the scan method can still recover its pictures.";

// The sector size the FAT boot sector of drive gives; 0 when it cannot be read.
std::uint32_t BootSectorSectorSize(std::uint8_t drive) {
    // Large enough for one sector of any size a drive reports.
    std::vector<std::uint8_t> sector(65536);
    const bool read = ReadLogicalSectors(drive, 0, 1, sector.data());
    NT_CloseDrive();
    if (!read) return 0;
    const auto boot = DecodeBootSec(sector);
    return boot ? boot->BytesPerSector : 0;
}

}  // namespace

std::string FolderMethodRefusal(std::uint8_t drive, const std::string& driveName) {
    // A drive that is not ready or has no sectors is told by its caller as such.
    TLogDriveParams params;
    if (!GetLogDriveParams(drive, params) || params.TotalSectors == 0) return {};
    const TVolumeContent content = ProbeVolumeContent(drive);
    if (content.FileSystem.empty()) {
        return driveName + " holds " + content.Description() + " (its boot sector may be damaged); " + ScanStillWorks;
    }
    if (!content.IsReadByFolderMethod()) {
        return driveName + " holds " + content.Description() + ", which the folder based method does not read; " +
               ScanStillWorks;
    }
    const std::uint32_t sectorSize = BootSectorSectorSize(drive);
    if (sectorSize != 0 && sectorSize != FATSectorSize) {
        return driveName + " holds " + content.Description() + " with sectors of " + std::to_string(sectorSize) +
               " bytes, which the folder based method does not read; " + ScanStillWorks;
    }
    return {};
}

}  // namespace quorvane
