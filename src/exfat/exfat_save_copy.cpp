// Copying a file of an exFAT drive out into a folder of the host.
#include "disk/scan_services.h"
#include "exfat/exfat_drive.h"
#include "exfat/exfat_objects.h"
#include "exfat/exfat_saved_names.h"
#include "platform/new_file.h"
#include "support/file_descriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace quorvane {

namespace {

constexpr std::uint32_t CopyBlockBytes = 65536;

}  // namespace

bool TExFATFile::LastSaveWasDiskFull() const { return IsDiskFull(SaveError); }

bool TExFATFile::SaveCopy(const std::string& Folder, std::string* SavedPath) {
    SaveError = 0;
    if (SavedPath) SavedPath->clear();
    auto* drive = dynamic_cast<TExFATdrive*>(Drive);
    if (!drive || drive->BytesPerCluster == 0) return false;
    TScanServices& scan = drive->Services();
    scan.ProcessMessages();

    std::string folder = Folder;
    if (folder.empty() || folder.back() != '/') folder += '/';
    std::string path;
    int error = 0;
    FileDescriptor fd = CreateNewFile(folder, HostFileName(), path, error);
    if (!fd) {
        SaveError = error;
        return false;
    }

    // The walk gives each cluster once at most, never more than the length needs.
    TExFATClusterWalk walk(*drive, Extent);
    std::vector<std::uint8_t> buffer(CopyBlockBytes);
    const std::uint32_t blockSectors = CopyBlockBytes / ExFATDeviceSectorBytes;
    std::uint64_t done = 0;
    bool complete = true;
    while (done < Extent.Length && error == 0 && !scan.Stopped) {
        const std::uint32_t cluster = walk.Next();
        if (cluster == 0) {
            complete = false;  // the clusters ran out before the length
            break;
        }
        const std::uint64_t first = drive->Cluster2Sec(cluster);
        for (std::uint32_t s = 0; s < drive->SectorsPerCluster && done < Extent.Length && error == 0;
             s += blockSectors) {
            const std::uint32_t sectors = std::min(blockSectors, drive->SectorsPerCluster - s);
            const std::uint64_t bytes =
                std::min<std::uint64_t>(std::uint64_t{sectors} * ExFATDeviceSectorBytes, Extent.Length - done);
            const auto needed =
                static_cast<std::uint32_t>((bytes + ExFATDeviceSectorBytes - 1) / ExFATDeviceSectorBytes);
            if (done >= Extent.ValidLength) {
                std::fill(buffer.begin(), buffer.end(), 0);
            } else {
                if (drive->FileSectorsRead != nullptr)
                    drive->FileSectorsRead->Add(first + s + drive->StartSector, needed);
                drive->ReadSectors(first + s, needed, buffer.data());  // unreadable sectors come as zeros
                if (Extent.ValidLength < done + bytes)
                    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(Extent.ValidLength - done), buffer.end(), 0);
            }
            if (WriteAll(fd.get(), buffer.data(), static_cast<std::size_t>(bytes), error) != bytes) break;
            done += bytes;
        }
        scan.ProcessMessages();
    }
    if (fd.close() != 0 && error == 0) error = errno;
    // A file whose clusters gave nothing at all would only be an empty file under a photo's name.
    const bool keep = error == 0 && !scan.Stopped && (Extent.Length == 0 || done > 0);
    if (!keep) ::unlink(path.c_str());
    SaveError = error;
    if (keep && SavedPath) *SavedPath = path;
    return keep && complete;
}

}  // namespace quorvane
