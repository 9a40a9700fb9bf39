#pragma once
// The image file behind a drive, opened for copies that the kernel makes straight from it. A
// drive whose volume is an image file (or a partition inside one) gives its recovered files'
// bytes this way; a block device or a volume served from elsewhere gives none, and its bytes
// are read and written as usual.
#include "support/file_descriptor.h"

#include <cstdint>
#include <memory>
#include <utility>

namespace quorvane {

class ImageSource {
public:
    ImageSource(FileDescriptor fd, std::uint64_t volumeOffset, std::uint64_t volumeBytes)
        : fd_(std::move(fd)), volumeOffset_(volumeOffset), volumeBytes_(volumeBytes) {}

    // Copies n bytes at volume byte offset `at` to outOffset of out (CopyFileBytes). 0, or an
    // errno value; EINVAL when the range does not lie inside the volume.
    int CopyTo(int out, std::uint64_t outOffset, std::uint64_t at, std::uint64_t n) const;
    // Whether [at, at + n) lies inside the volume.
    bool Holds(std::uint64_t at, std::uint64_t n) const { return at <= volumeBytes_ && n <= volumeBytes_ - at; }

private:
    FileDescriptor fd_;
    std::uint64_t volumeOffset_;  // where the volume starts in the file
    std::uint64_t volumeBytes_;
};

// The image file of drive (1 = A:), opened for reading; nullptr when the drive's volume is not a
// regular file read through open(2), or cannot be opened.
std::shared_ptr<const ImageSource> OpenImageSource(std::uint8_t drive);

}  // namespace quorvane
