#pragma once
// A saved file opened for a content check. Only a regular file is opened, never through a
// symbolic link and never one larger than ContentFileSizeLimit. Reads are bounded by the file's
// size and go through a small window, so that a walk over many small headers costs few system
// calls. A read that fails for any other reason than lying beyond the end is remembered: the
// check's verdict then means nothing and the file's condition is unknown.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/file_descriptor.h"

namespace quorvane {

// Larger files are not checked: no picture, sound or film a card holds comes near it.
inline constexpr std::uint64_t ContentFileSizeLimit = std::uint64_t{8} << 30;

class ContentFile {
public:
    // The file at path, or nothing when it is missing, a symbolic link, not a regular file or
    // larger than ContentFileSizeLimit.
    static std::optional<ContentFile> Open(const std::string& path);

    std::uint64_t size() const noexcept { return size_; }

    // Copies length bytes at offset into out; false when they do not all lie inside the file or
    // could not be read.
    bool read(std::uint64_t offset, void* out, std::size_t length) noexcept;

    // Copies up to length bytes at offset into out and returns how many: fewer only at the
    // file's end or after a failed read.
    std::size_t readSome(std::uint64_t offset, void* out, std::size_t length) noexcept;

    // Numbers in a given byte order; false when they do not lie inside the file.
    bool u8(std::uint64_t offset, std::uint8_t& value) noexcept;
    bool u16(std::uint64_t offset, bool littleEndian, std::uint16_t& value) noexcept;
    bool u32(std::uint64_t offset, bool littleEndian, std::uint32_t& value) noexcept;
    bool u64(std::uint64_t offset, bool littleEndian, std::uint64_t& value) noexcept;

    // True once a read inside the file's size has failed (an I/O error, or the file shrank).
    bool readFailed() const noexcept { return failed_; }

private:
    ContentFile(FileDescriptor fd, std::uint64_t size);
    bool readDirect(std::uint64_t offset, void* out, std::size_t length) noexcept;

    FileDescriptor fd_;
    std::uint64_t size_ = 0;
    std::vector<std::uint8_t> window_;
    std::uint64_t windowStart_ = 0;
    std::size_t windowLength_ = 0;
    bool failed_ = false;
};

}  // namespace quorvane
