#pragma once
// The Exif block of a JPEG file: the TIFF structure inside its APP1 segment, read in its own byte
// order. The bytes come from the medium: every offset is checked against the bytes at hand.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace quorvane::exif {

inline constexpr int MaxSegmentsBeforeImage = 64;
inline constexpr std::uint16_t MaxIfdEntries = 512;

// The TIFF structure inside an Exif block, in its own byte order.
class Tiff {
public:
    Tiff(const std::uint8_t* data, std::size_t size) : d_(data), n_(size) {}

    bool readHeader(std::uint32_t& firstIfd) {
        if (n_ < 8) return false;
        if (d_[0] == 'I' && d_[1] == 'I') {
            little_ = true;
        } else if (d_[0] == 'M' && d_[1] == 'M') {
            little_ = false;
        } else {
            return false;
        }
        std::uint16_t magic = 0;
        return u16(2, magic) && magic == 42 && u32(4, firstIfd);
    }

    bool u16(std::size_t at, std::uint16_t& v) const {
        if (at > n_ || n_ - at < 2) return false;
        v = little_ ? static_cast<std::uint16_t>(d_[at] | d_[at + 1] << 8) : static_cast<std::uint16_t>(d_[at] << 8 | d_[at + 1]);
        return true;
    }

    bool u32(std::size_t at, std::uint32_t& v) const {
        std::uint16_t a = 0, b = 0;
        if (!u16(at, a) || !u16(at + 2, b)) return false;
        v = little_ ? (std::uint32_t{b} << 16 | a) : (std::uint32_t{a} << 16 | b);
        return true;
    }

    // The entry count of the IFD at offset, when the whole IFD and its next-IFD link fit.
    bool ifdCount(std::uint32_t offset, std::uint16_t& count) const {
        if (!u16(offset, count) || count > MaxIfdEntries) return false;
        return std::size_t{offset} + 2 + std::size_t{count} * 12 + 4 <= n_;
    }

    // The 32-bit value of a tag in the IFD at offset (a SHORT value is widened).
    bool tagValue(std::uint32_t offset, std::uint16_t count, std::uint16_t tag, std::uint32_t& value) const {
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::size_t entry = std::size_t{offset} + 2 + std::size_t{i} * 12;
            std::uint16_t t = 0, type = 0;
            u16(entry, t);
            if (t != tag) continue;
            u16(entry + 2, type);
            if (type == 3) {
                std::uint16_t s = 0;
                u16(entry + 8, s);
                value = s;
                return true;
            }
            return u32(entry + 8, value);
        }
        return false;
    }

    std::size_t size() const { return n_; }

private:
    const std::uint8_t* d_;
    std::size_t n_;
    bool little_ = true;
};

// The TIFF structure of the file's Exif APP1 segment; nullopt when the segments before the picture
// data hold none.
inline std::optional<std::span<const std::uint8_t>> FindExifTiff(const std::uint8_t* data, std::size_t size) {
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return std::nullopt;
    std::size_t at = 2;
    for (int segments = 0; segments < MaxSegmentsBeforeImage && at + 4 <= size; ++segments) {
        if (data[at] != 0xFF) return std::nullopt;
        const std::uint8_t marker = data[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) return std::nullopt;  // the picture data begins
        const std::size_t length = std::size_t{data[at + 2]} << 8 | data[at + 3];
        if (length < 2 || size - at - 2 < length) return std::nullopt;
        const std::uint8_t* payload = data + at + 4;
        const std::size_t payloadSize = length - 2;
        if (marker == 0xE1 && payloadSize > 6 && std::memcmp(payload, "Exif\0\0", 6) == 0) {
            return std::span<const std::uint8_t>(payload + 6, payloadSize - 6);
        }
        at += 2 + length;
    }
    return std::nullopt;
}

}  // namespace quorvane::exif
