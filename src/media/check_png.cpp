// PNG: the signature, then chunks (length, type, data, CRC-32 of type and data) up to IEND,
// which must end exactly at the file's end. Every chunk's CRC is computed, so damage anywhere in
// the compressed picture data shows.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "media/format_checks.h"

namespace quorvane {
namespace {

constexpr std::uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint32_t MaxChunkLength = 0x7FFFFFFF;  // the format's own limit
constexpr std::size_t CrcPiece = 64 * 1024;

std::uint32_t BigEndian32(const std::uint8_t* b) {
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

bool IsChunkType(const std::uint8_t* type) {
    for (int i = 0; i < 4; ++i) {
        const bool letter = (type[i] >= 'A' && type[i] <= 'Z') || (type[i] >= 'a' && type[i] <= 'z');
        if (!letter) return false;
    }
    return true;
}

}  // namespace

TFileCondition CheckPngFile(ContentFile& file) {
    std::uint8_t signature[8];
    if (!file.read(0, signature, sizeof signature) || std::memcmp(signature, Signature, sizeof signature) != 0) {
        return TFileCondition::Damaged;
    }
    std::vector<std::uint8_t> piece(CrcPiece);
    std::uint64_t at = sizeof signature;
    // Every chunk takes at least 12 bytes, so the walk ends within the file's size.
    while (true) {
        std::uint8_t header[8];
        if (!file.read(at, header, sizeof header)) return TFileCondition::Damaged;
        const std::uint32_t length = BigEndian32(header);
        const std::uint8_t* type = header + 4;
        if (length > MaxChunkLength || !IsChunkType(type)) return TFileCondition::Damaged;
        const std::uint64_t dataEnd = at + 8 + length;
        if (dataEnd + 4 > file.size()) return TFileCondition::Damaged;

        uLong crc = ::crc32(0L, type, 4);
        for (std::uint64_t pos = at + 8; pos < dataEnd;) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), dataEnd - pos));
            if (!file.read(pos, piece.data(), n)) return TFileCondition::Damaged;
            crc = ::crc32(crc, piece.data(), static_cast<uInt>(n));
            pos += n;
        }
        std::uint8_t stored[4];
        if (!file.read(dataEnd, stored, sizeof stored) || BigEndian32(stored) != static_cast<std::uint32_t>(crc)) {
            return TFileCondition::Damaged;
        }
        at = dataEnd + 4;
        if (std::memcmp(type, "IEND", 4) == 0) {
            return at == file.size() ? TFileCondition::Whole : TFileCondition::Damaged;
        }
    }
}

}  // namespace quorvane
