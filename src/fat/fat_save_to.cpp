// Copying a file of a FAT drive out into a folder of the host.
#include "disk/devices.h"
#include "fat/fat_drive.h"
#include "fat/fat_messages.h"
#include "fat/fat_objects.h"
#include "fat/fat_saved_names.h"
#include "disk/scan_services.h"
#include "platform/new_file.h"
#include "support/file_descriptor.h"
#include "support/page_aligned_allocator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace quorvane {

namespace {

constexpr std::uint32_t CopyBlockBytes = 65536;
// How far a copy by runs walks the chain before it looks whether the run was stopped.
constexpr std::uint32_t RunBlockBytes = 16u << 20;
// The largest read of a run from a device.
constexpr std::uint32_t RunReadBytes = 2u << 20;

// Writes Count bytes at Offset of Fd, going on after short writes; Error is set when a write failed.
bool WriteAllAt(int Fd, const std::uint8_t* Data, std::size_t Count, std::uint64_t Offset, int& Error) {
    std::size_t written = 0;
    while (written < Count) {
        const ssize_t n = ::pwrite(Fd, Data + written, Count - written, static_cast<off_t>(Offset + written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Error = n < 0 ? errno : ENOSPC;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// Copies the file into Fd run by run, each run of consecutive clusters at once: from the drive's
// image file by the kernel (none of the bytes pass through this process) when there is one, else
// read from the device in large requests (which a block device serves without its page cache)
// and written. False, with nothing counted, when a run lies outside the image (a chain into
// sectors past its end) or a device read fails: the file is then read the usual way, which reads
// around an unreadable sector and gives such sectors as the device does. Error is set when a
// write failed.
bool CopyByRuns(TFATdrive& Drive, TFATFileInfo& Info, const ImageSource* Image, int Fd, std::uint8_t FATNo,
                TScanServices& Scan, std::uint64_t& Total, int& Error) {
    std::vector<std::uint8_t, PageAlignedAllocator<std::uint8_t>> buffer(Image ? 0 : RunReadBytes);
    bool readFailed = false;
    std::uint64_t runStart = 0, runBytes = 0;
    auto readRun = [&] {
        while (runBytes > 0) {
            const auto off = static_cast<std::uint32_t>(runStart % FATSectorSize);
            const auto bytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(runBytes, RunReadBytes - off));
            const auto sectors = static_cast<std::uint16_t>((off + bytes + FATSectorSize - 1) / FATSectorSize);
            const auto first = static_cast<std::int32_t>(runStart / FATSectorSize);
            if (!Drive.Device->ReadSec(first, sectors, buffer.data(), true)) {
                readFailed = true;
                return false;
            }
            if (!WriteAllAt(Fd, buffer.data() + off, bytes, Total, Error)) return false;
            Total += bytes;
            runStart += bytes;
            runBytes -= bytes;
        }
        return true;
    };
    auto copyRun = [&] {
        if (runBytes == 0) return true;
        if (!Image) return readRun();
        Error = Image->CopyTo(Fd, Total, runStart, runBytes);
        if (Error == 0) Total += runBytes;
        runBytes = 0;
        return Error == 0;
    };
    auto take = [&](std::uint64_t at, std::uint32_t bytes) {
        if (Image && !Image->Holds(at, bytes)) return false;
        if (runBytes > 0 && at == runStart + runBytes) {
            runBytes += bytes;
            return true;
        }
        if (!copyRun()) return false;
        runStart = at;
        runBytes = bytes;
        return true;
    };
    std::uint32_t done = 0;
    bool placed = true;
    do {
        placed = Drive.BlockPlaces(Info, RunBlockBytes, FATNo, done, take);
    } while (placed && done > 0 && !Scan.Stopped);
    if (placed) copyRun();
    if (Error != 0) return true;
    if (!placed || readFailed) {
        Total = 0;
        return false;
    }
    return true;
}

void ShowWriteFailure(TScanServices& Scan, const std::string& Path, int Error, bool Created) {
    if (IsDiskFull(Error)) {
        ShowFATMessage("Disk Full", "Warning", TFATMessageKind::Warning);
    } else {
        ShowFATMessage(std::string(Created ? "Could not write " : "Could not create ") + Path + ": " +
                           std::strerror(Error),
                       "Warning", TFATMessageKind::Warning);
    }
    Scan.ProgressStopTime();
}

}  // namespace

bool TFATFile::LastSaveWasDiskFull() const { return IsDiskFull(SaveError); }

bool TFATFile::SaveCopy(const std::string& Folder, std::string* SavedPath) {
    auto* drive = dynamic_cast<TFATdrive*>(Drive);
    return SaveTo(Folder, drive != nullptr ? drive->ActiveFAT : 0, SavedPath);
}

bool TFATFile::SaveTo(const std::string& Folder, std::uint8_t FATNo, std::string* SavedPath) {
    SaveError = 0;
    if (SavedPath) SavedPath->clear();
    auto* drive = dynamic_cast<TFATdrive*>(Drive);
    if (!drive) return false;

    TFATFileInfo info;
    TScanServices& scan = drive->Services();
    drive->ResetByCluster(FirstCluster, Size, info);
    scan.ProcessMessages();

    std::string folder = Folder;
    if (folder.empty() || folder.back() != '/') folder += '/';
    std::string path;
    int error = 0;
    FileDescriptor fd = CreateNewFile(folder, SavedFileName(Name), path, error);
    if (!fd) {
        SaveError = error;
        ShowWriteFailure(scan, path, error, false);
        drive->Close(info);
        return false;
    }

    bool readOk = true;
    std::uint64_t total = 0;
    bool copied = false;
    if (Size > 0 && drive->Device) {
        const std::shared_ptr<const ImageSource> image = drive->Device->ImageFile();
        copied = CopyByRuns(*drive, info, image.get(), fd.get(), FATNo, scan, total, error);
        if (!copied) {
            // Start again the usual way, from the first byte.
            if (::ftruncate(fd.get(), 0) != 0 || ::lseek(fd.get(), 0, SEEK_SET) != 0) error = errno;
            drive->ResetByCluster(FirstCluster, Size, info);
        }
    }
    if (Size > 0 && !copied && error == 0) {
        std::vector<std::uint8_t> buffer(CopyBlockBytes);
        std::uint32_t done = 0;
        std::size_t written = 0;
        do {
            try {
                readOk = drive->BlockRead(info, CopyBlockBytes, buffer.data(), FATNo, done);
            } catch (...) {
                readOk = false;
            }
            if (readOk) {
                written = done > 0 ? WriteAll(fd.get(), buffer.data(), done, error) : 0;
                total += written;
            } else {
                ShowFATMessage("Could not read source file! (dev:" + (drive->Device ? drive->Device->Name : "") +
                                   ", cluster:" + std::to_string(FirstCluster) + ", size: " + std::to_string(Size) +
                                   ")",
                               "Warning", TFATMessageKind::Warning);
                scan.ProgressStopTime();
            }
        } while (readOk && error == 0 && written != 0 && done >= 4 && !scan.Stopped);
    }
    if (fd.close() != 0 && error == 0) error = errno;

    // A file that should have bytes but whose chain gave none (no first cluster, or one outside the
    // volume) would only be an empty file under a picture's name.
    const bool keep = readOk && error == 0 && !scan.Stopped && (Size == 0 || total > 0);
    if (!keep) ::unlink(path.c_str());
    if (error != 0) {
        SaveError = error;
        ShowWriteFailure(scan, path, error, true);
    }
    drive->Close(info);
    if (keep && SavedPath) *SavedPath = path;
    return keep;
}

}  // namespace quorvane
