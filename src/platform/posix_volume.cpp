#include "platform/posix_volume.h"

#include "platform/drive_table.h"
#include "platform/privileged_open.h"
#include "support/file_descriptor.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quorvane {
namespace {

constexpr std::uint32_t IMAGE_SECTOR_SIZE = 512;
constexpr std::uint32_t MEDIA_REMOVABLE = 11;
constexpr std::uint32_t MEDIA_FIXED = 12;
// The scan's reads of a block device (blocks of up to 2 MB, read in chunks of 500 KB) bypass the
// page cache: read once, straight into the caller's buffer, they go faster from a card reader
// than through the cache and its read-ahead (4 GiB from a loop device with the cache dropped:
// 17 to 23 s for the scan against 27 to 32 s). The folder based method's reads of single sectors
// and clusters stay cached.
constexpr std::uint32_t DirectReadMinBytes = 256 * 1024;
constexpr std::uintptr_t DirectBufferAlignment = 4096;

class PosixVolumeFile : public VolumeFile {
public:
    PosixVolumeFile(FileDescriptor fd, bool isFloppyDrive, std::uint64_t offset, std::uint64_t size,
                    std::uint32_t kind, bool isBlock)
        : fd_(std::move(fd)), isBlock_(isBlock), isFloppyDrive_(isFloppyDrive), offset_(offset), size_(size),
          kind_(kind) {}

    bool readAt(std::uint64_t offset, void* dst, std::uint32_t n, std::uint32_t& got) override {
        if (DirectFits(offset, dst, n)) {
            const bool ok = transfer(offset, n, got, [&](std::uint64_t at, std::uint32_t done, std::uint32_t left) {
                return ::pread(direct_.get(), static_cast<char*>(dst) + done, left, static_cast<off_t>(at));
            });
            if (ok || errno != EINVAL) return ok;
            direct_.reset();  // the device takes no direct reads after all
        }
        return transfer(offset, n, got, [&](std::uint64_t at, std::uint32_t done, std::uint32_t left) {
            return ::pread(fd_.get(), static_cast<char*>(dst) + done, left, static_cast<off_t>(at));
        });
    }

    // A second descriptor of the device for direct reads (see DirectReadMinBytes).
    void SetDirect(FileDescriptor direct, std::uint32_t alignment) {
        direct_ = std::move(direct);
        directAlignment_ = alignment;
    }

    int descriptor() const { return fd_.get(); }

    bool writeAt(std::uint64_t offset, const void* src, std::uint32_t n, std::uint32_t& put) override {
        return transfer(offset, n, put, [&](std::uint64_t at, std::uint32_t done, std::uint32_t left) {
            return ::pwrite(fd_.get(), static_cast<const char*>(src) + done, left, static_cast<off_t>(at));
        });
    }

    bool flush() override {
        int r = 0;
        do {
            r = ::fsync(fd_.get());
        } while (r != 0 && errno == EINTR);
        return r == 0;
    }

    bool geometry(DiskGeometry& out) override {
        out = {};
        std::uint32_t bytesPerSector = IMAGE_SECTOR_SIZE;
        std::uint32_t heads = 0, sectorsPerTrack = 0;
        if (isBlock_) {
            int logical = 0;
            if (::ioctl(fd_.get(), BLKSSZGET, &logical) != 0 || logical <= 0) return false;
            bytesPerSector = static_cast<std::uint32_t>(logical);
            hd_geometry geo{};
            if (::ioctl(fd_.get(), HDIO_GETGEO, &geo) == 0) {
                heads = geo.heads;
                sectorsPerTrack = geo.sectors;
            }
        }
        const std::uint64_t sectors = size_ / bytesPerSector;
        if (sectors == 0) return false;  // no medium, or an empty volume
        // The caller multiplies cylinders x heads x sectors per track for the volume size, so a
        // CHS geometry is kept only where it covers every sector; otherwise one sector per track.
        if (heads == 0 || sectorsPerTrack == 0 || sectors % (std::uint64_t{heads} * sectorsPerTrack) != 0) {
            heads = 1;
            sectorsPerTrack = 1;
        }
        out.cylinders = static_cast<std::int64_t>(sectors / (std::uint64_t{heads} * sectorsPerTrack));
        out.tracksPerCylinder = heads;
        out.sectorsPerTrack = sectorsPerTrack;
        out.bytesPerSector = bytesPerSector;
        const std::uint32_t floppy = FloppyMediaType(size_);
        if (isBlock_ && isFloppyDrive_ && floppy != 0) {
            out.mediaType = floppy;
        } else {
            out.mediaType = kind_ == DRIVE_REMOVABLE || kind_ == DRIVE_CDROM ? MEDIA_REMOVABLE : MEDIA_FIXED;
        }
        return true;
    }

private:
    // Moves up to n bytes at a volume offset, clipped to the volume's end; retries short
    // transfers and interrupted calls. False on an I/O error, with moved telling how far it got.
    template <typename Io>
    bool transfer(std::uint64_t offset, std::uint32_t n, std::uint32_t& moved, Io io) {
        moved = 0;
        if (offset >= size_) return true;
        const std::uint32_t wanted = static_cast<std::uint32_t>(std::min<std::uint64_t>(n, size_ - offset));
        while (moved < wanted) {
            const ssize_t r = io(offset_ + offset + moved, moved, wanted - moved);
            if (r < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (r == 0) break;  // the file ended early
            moved += static_cast<std::uint32_t>(r);
        }
        return true;
    }

    // Whether a read can bypass the page cache: a large one, whose buffer, offset and length are
    // aligned to the device's logical block.
    bool DirectFits(std::uint64_t offset, const void* dst, std::uint32_t n) const {
        if (!direct_ || n < DirectReadMinBytes || directAlignment_ == 0) return false;
        const std::uint64_t a = directAlignment_;
        return reinterpret_cast<std::uintptr_t>(dst) % DirectBufferAlignment == 0 && (offset_ + offset) % a == 0 &&
               n % a == 0 && offset + n <= size_;
    }

    FileDescriptor fd_;
    FileDescriptor direct_;
    std::uint32_t directAlignment_ = 0;
    bool isBlock_;
    bool isFloppyDrive_;
    std::uint64_t offset_;
    std::uint64_t size_;
    std::uint32_t kind_;
};

}  // namespace

std::uint32_t FloppyMediaType(std::uint64_t bytes) {
    switch (bytes) {
        case 1228800: return 1;  // F5_1Pt2_512
        case 1474560: return 2;  // F3_1Pt44_512
        case 2949120: return 3;  // F3_2Pt88_512
        case 737280: return 5;   // F3_720_512
        case 368640: return 6;   // F5_360_512
        case 327680: return 7;   // F5_320_512
        case 184320: return 9;   // F5_180_512
        case 163840: return 10;  // F5_160_512
        default: return 0;
    }
}

PosixVolumeOpener::PosixVolumeOpener(std::string path, std::uint64_t offsetBytes, std::uint64_t sizeBytes,
                                     std::uint32_t kind)
    : path_(std::move(path)), offsetBytes_(offsetBytes), sizeBytes_(sizeBytes), kind_(kind) {}

std::unique_ptr<VolumeFile> PosixVolumeOpener::open(bool forWrite, int& err) {
    int flags = forWrite ? O_WRONLY : O_RDONLY;
    if (kind_ == DRIVE_CDROM) flags |= O_NONBLOCK;
    struct stat node {};
    if (forWrite && ::stat(path_.c_str(), &node) == 0 && S_ISBLK(node.st_mode)) flags |= O_EXCL;
    // A device the user may not open goes through the desktop's disk service, which asks for the
    // password.
    FileDescriptor fd = OpenDeviceOrAsk(path_, flags, err);
    if (!fd) return nullptr;
    struct stat st {};
    std::uint64_t fileSize = 0;
    bool isBlock = false;
    if (::fstat(fd.get(), &st) != 0) {
        err = errno;
        return nullptr;
    }
    if (S_ISBLK(st.st_mode)) {
        isBlock = true;
        // Newer kernels open a read-only device for writing and fail only the writes.
        int readOnly = 0;
        if (forWrite && ::ioctl(fd.get(), BLKROGET, &readOnly) == 0 && readOnly != 0) {
            err = EROFS;
            return nullptr;
        }
        if (::ioctl(fd.get(), BLKGETSIZE64, &fileSize) != 0) fileSize = 0;
    } else if (S_ISREG(st.st_mode)) {
        fileSize = static_cast<std::uint64_t>(st.st_size);
    } else {
        err = ENODEV;
        return nullptr;
    }
    // A run reads the volume from its start to its end: the kernel reads further ahead then.
    if (!forWrite) ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    // The volume is what the file holds of [offset, offset + size).
    std::uint64_t size = fileSize > offsetBytes_ ? fileSize - offsetBytes_ : 0;
    if (sizeBytes_ != 0) size = std::min(size, sizeBytes_);
    err = 0;
    const bool floppyDrive = std::filesystem::path(path_).filename().string().rfind("fd", 0) == 0;
    auto file = std::make_unique<PosixVolumeFile>(std::move(fd), floppyDrive, offsetBytes_, size, kind_, isBlock);
    int logical = 0;
    if (isBlock && !forWrite && ::ioctl(file->descriptor(), BLKSSZGET, &logical) == 0 &&
        logical > 0) {
        FileDescriptor direct(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT));
        if (direct) file->SetDirect(std::move(direct), static_cast<std::uint32_t>(logical));
    }
    return file;
}

}  // namespace quorvane
