#include "media/content_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quorvane {
namespace {

// Big enough for the headers that sit close together (chunk and block headers of small chunks),
// small enough that a header read between large chunks does not pull in much data.
constexpr std::size_t WindowSize = 16 * 1024;

}  // namespace

std::optional<ContentFile> ContentFile::Open(const std::string& path) {
    if (path.empty()) return std::nullopt;
    // O_NONBLOCK: opening a FIFO put where the file should be must not wait for a writer.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd) return std::nullopt;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return std::nullopt;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > ContentFileSizeLimit) return std::nullopt;
    return ContentFile(std::move(fd), size);
}

ContentFile::ContentFile(FileDescriptor fd, std::uint64_t size)
    : fd_(std::move(fd)), size_(size), window_(WindowSize) {}

bool ContentFile::readDirect(std::uint64_t offset, void* out, std::size_t length) noexcept {
    auto* to = static_cast<std::uint8_t*>(out);
    while (length > 0) {
        const ssize_t got = ::pread(fd_.get(), to, length, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            failed_ = true;
            return false;
        }
        to += got;
        offset += static_cast<std::uint64_t>(got);
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

bool ContentFile::read(std::uint64_t offset, void* out, std::size_t length) noexcept {
    if (offset > size_ || size_ - offset < length) return false;
    if (length == 0) return true;
    if (offset >= windowStart_ && offset - windowStart_ <= windowLength_ &&
        windowLength_ - (offset - windowStart_) >= length) {
        std::memcpy(out, window_.data() + (offset - windowStart_), length);
        return true;
    }
    if (length >= window_.size()) return readDirect(offset, out, length);
    const auto fill = static_cast<std::size_t>(std::min<std::uint64_t>(window_.size(), size_ - offset));
    windowLength_ = 0;
    if (!readDirect(offset, window_.data(), fill)) return false;
    windowStart_ = offset;
    windowLength_ = fill;
    std::memcpy(out, window_.data(), length);
    return true;
}

std::size_t ContentFile::readSome(std::uint64_t offset, void* out, std::size_t length) noexcept {
    if (offset >= size_) return 0;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(length, size_ - offset));
    return read(offset, out, n) ? n : 0;
}

bool ContentFile::u8(std::uint64_t offset, std::uint8_t& value) noexcept { return read(offset, &value, 1); }

bool ContentFile::u16(std::uint64_t offset, bool littleEndian, std::uint16_t& value) noexcept {
    std::uint8_t b[2];
    if (!read(offset, b, sizeof b)) return false;
    value = littleEndian ? static_cast<std::uint16_t>(b[0] | b[1] << 8) : static_cast<std::uint16_t>(b[0] << 8 | b[1]);
    return true;
}

bool ContentFile::u32(std::uint64_t offset, bool littleEndian, std::uint32_t& value) noexcept {
    std::uint8_t b[4];
    if (!read(offset, b, sizeof b)) return false;
    value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | b[littleEndian ? 3 - i : i];
    return true;
}

bool ContentFile::u64(std::uint64_t offset, bool littleEndian, std::uint64_t& value) noexcept {
    std::uint8_t b[8];
    if (!read(offset, b, sizeof b)) return false;
    value = 0;
    for (int i = 0; i < 8; ++i) value = value << 8 | b[littleEndian ? 7 - i : i];
    return true;
}

}  // namespace quorvane
