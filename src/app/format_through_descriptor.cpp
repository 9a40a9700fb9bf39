#include "app/format_through_descriptor.h"

#include "platform/drive_table.h"
#include "platform/privileged_open.h"
#include "platform/work_folder.h"
#include "support/file_descriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorvane {
namespace {

// Copies [from, to) of the scratch image onto the volume. False with errno on a failed transfer.
bool copyRange(int scratch, int volume, std::uint64_t from, std::uint64_t to, std::vector<char>& buffer) {
    while (from < to) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), to - from));
        const ssize_t got = ::pread(scratch, buffer.data(), want, static_cast<off_t>(from));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::pwrite(volume, buffer.data() + done, static_cast<std::size_t>(got - done),
                                         static_cast<off_t>(from + static_cast<std::uint64_t>(done)));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false;
            done += put;
        }
        from += static_cast<std::uint64_t>(got);
    }
    return true;
}

// The start sector of a kernel partition device (sysfs "start"); 0 for a whole disk.
std::uint32_t partitionStart(const std::string& devicePath) {
    std::ifstream start("/sys/class/block/" + std::filesystem::path(devicePath).filename().string() + "/start");
    std::uint64_t sectors = 0;
    if (!(start >> sectors) || sectors > 0xFFFFFFFFu) return 0;
    return static_cast<std::uint32_t>(sectors);
}

}  // namespace

bool NeedsDiskServiceToFormat(const DriveEntry& drive) {
    struct stat st {};
    // A partition read as a range of its disk is left to mkfs.fat and its message.
    return !drive.isImage && drive.offsetBytes == 0 && ::stat(drive.path.c_str(), &st) == 0 && S_ISBLK(st.st_mode) &&
           ::access(drive.path.c_str(), W_OK) != 0;
}

TToolResult FormatThroughDiskService(const DriveEntry& drive, const TFormatOptions& options) {
    int err = 0;
    const FileDescriptor fd = OpenDeviceOrAsk(drive.path, O_RDWR, err);
    if (!fd) {
        TToolResult refused;
        refused.Output = "No permission to write " + drive.path + ": " + std::strerror(err);
        return refused;
    }
    std::uint64_t size = 0;
    if (::ioctl(fd.get(), BLKGETSIZE64, &size) != 0 || size == 0) size = drive.sizeBytes;
    return FormatThroughDescriptor(fd.get(), size, options, partitionStart(drive.path));
}

TToolResult FormatThroughDescriptor(int fd, std::uint64_t sizeBytes, const TFormatOptions& options,
                                    std::uint32_t hiddenSectors) {
    TToolResult result;
    std::string scratchPath = GetTempPath() + "quorvane-format-XXXXXX";
    FileDescriptor scratch(::mkstemp(scratchPath.data()));
    if (!scratch) {
        result.Output = "Cannot make a scratch file in " + GetTempPath() + ": " + std::strerror(errno);
        return result;
    }
    struct Unlink {
        const std::string& path;
        ~Unlink() { ::unlink(path.c_str()); }
    } unlinkScratch{scratchPath};
    if (::ftruncate(scratch.get(), static_cast<off_t>(sizeBytes)) != 0) {
        result.Output = "Cannot make a scratch file of the card's size: " + std::string(std::strerror(errno));
        return result;
    }

    DriveEntry image;
    image.isImage = true;
    image.path = scratchPath;
    image.sizeBytes = sizeBytes;
    std::vector<std::string> arguments = MkfsFatArguments(image, options);
    if (hiddenSectors != 0) arguments.insert(arguments.end() - 2, {"-h", std::to_string(hiddenSectors)});
    result = RunTool(arguments);
    if (result.ExitCode != 0) return result;

    // Only what mkfs.fat wrote is data in the sparse file; the holes stay untouched on the card.
    std::vector<char> buffer(1 << 20);
    const auto size = static_cast<off_t>(sizeBytes);
    off_t at = ::lseek(scratch.get(), 0, SEEK_DATA);
    bool copied = true;
    if (at < 0 && errno == EINVAL) {
        copied = copyRange(scratch.get(), fd, 0, sizeBytes, buffer);  // no hole search here: all of it
    } else {
        while (copied && at >= 0 && at < size) {
            off_t end = ::lseek(scratch.get(), at, SEEK_HOLE);
            if (end < 0 || end > size) end = size;
            copied = copyRange(scratch.get(), fd, static_cast<std::uint64_t>(at), static_cast<std::uint64_t>(end), buffer);
            at = ::lseek(scratch.get(), end, SEEK_DATA);  // ENXIO: no data after end
        }
    }
    if (copied && ::fsync(fd) != 0 && errno != EINVAL) copied = false;
    if (!copied) {
        result.ExitCode = 1;
        result.Output += "\nWriting the new file system onto the card failed: " + std::string(std::strerror(errno));
    }
    return result;
}

}  // namespace quorvane
