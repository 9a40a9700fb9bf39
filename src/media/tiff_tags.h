#pragma once
// The TIFF tags and field types that tell where a TIFF file's parts lie, shared by its end finder
// and its content check.
#include <cstdint>
#include <iterator>

namespace quorvane::tiff {

inline constexpr std::uint16_t TagStripOffsets = 0x0111;
inline constexpr std::uint16_t TagStripByteCounts = 0x0117;
inline constexpr std::uint16_t TagTileOffsets = 0x0144;
inline constexpr std::uint16_t TagTileByteCounts = 0x0145;
inline constexpr std::uint16_t TagSubIfds = 0x014A;
inline constexpr std::uint16_t TagJpegOffset = 0x0201;
inline constexpr std::uint16_t TagJpegLength = 0x0202;
inline constexpr std::uint16_t TagExifIfd = 0x8769;
inline constexpr std::uint16_t TagGpsIfd = 0x8825;
inline constexpr std::uint16_t TagInteroperabilityIfd = 0xA005;

inline constexpr std::uint16_t TypeShort = 3;
inline constexpr std::uint16_t TypeLong = 4;
inline constexpr std::uint16_t TypeIfd = 13;

// Bytes per value of the field types 1 (BYTE) to 13 (IFD); 0 for types no writer uses.
inline std::uint32_t TypeBytes(std::uint16_t type) {
    static constexpr std::uint8_t Bytes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < std::size(Bytes) ? Bytes[type] : 0;
}

}  // namespace quorvane::tiff
