#pragma once
// A volume inside an image file or a block device, opened with open(2) and read with pread.
// The volume is the byte range [offsetBytes, offsetBytes + sizeBytes) of the file; nothing
// outside it is ever read or written.
#include "platform/volume.h"

#include <cstdint>
#include <string>

namespace quorvane {

class PosixVolumeOpener : public VolumeOpener {
public:
    // sizeBytes 0: up to the end of the file or device as it is when opened. kind is the
    // drive's DRIVE_* kind, which picks the media type of the geometry answer.
    PosixVolumeOpener(std::string path, std::uint64_t offsetBytes, std::uint64_t sizeBytes, std::uint32_t kind);

    // O_RDONLY for reading; O_WRONLY only when asked for writing, and then a block device opens
    // exclusively (O_EXCL): the kernel answers EBUSY while it is mounted, used as swap, held by
    // the device mapper or md, or open exclusively elsewhere. A CD drive opens without waiting
    // for a disc, so its geometry query can report that none is there.
    std::unique_ptr<VolumeFile> open(bool forWrite, int& err) override;

    const std::string& path() const { return path_; }
    std::uint64_t offsetBytes() const { return offsetBytes_; }
    std::uint64_t sizeBytes() const { return sizeBytes_; }
    std::uint32_t kind() const { return kind_; }

private:
    std::string path_;
    std::uint64_t offsetBytes_;
    std::uint64_t sizeBytes_;
    std::uint32_t kind_;
};

// The NT media type for a floppy of this many bytes, 0 when no floppy format has that size.
std::uint32_t FloppyMediaType(std::uint64_t bytes);

}  // namespace quorvane
