#pragma once
// An open volume: the stand-in for a Windows volume handle. Offsets are bytes from the
// volume's first sector (a partition inside an image starts at its own sector 0).
#include <cstdint>
#include <memory>

namespace quorvane {

// The answer of the disk geometry query (the published DISK_GEOMETRY record).
struct DiskGeometry {
    std::int64_t cylinders = 0;
    std::uint32_t mediaType = 0;  // 11 removable media, 12 fixed media, 1..10 and 13..22 floppies
    std::uint32_t tracksPerCylinder = 0;
    std::uint32_t sectorsPerTrack = 0;
    std::uint32_t bytesPerSector = 0;
};

class VolumeFile {
public:
    virtual ~VolumeFile() = default;
    // Reads up to n bytes at offset; got is what arrived. False on an I/O error.
    virtual bool readAt(std::uint64_t offset, void* dst, std::uint32_t n, std::uint32_t& got) = 0;
    virtual bool writeAt(std::uint64_t offset, const void* src, std::uint32_t n, std::uint32_t& put) = 0;
    virtual bool geometry(DiskGeometry& out) = 0;
    // Makes what was written reach the medium (fsync); false when the medium reports an error
    // for writes that seemed to succeed. Volumes that hold nothing back have nothing to do.
    virtual bool flush() { return true; }
};

// Opens the volume of one drive. errno-style error in err when it fails.
class VolumeOpener {
public:
    virtual ~VolumeOpener() = default;
    virtual std::unique_ptr<VolumeFile> open(bool forWrite, int& err) = 0;
};

}  // namespace quorvane
