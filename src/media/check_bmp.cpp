// BMP: the file size field at offset 2 must be the file's size, and the pixel array (from the
// data offset, as large as the header's width, height and bit depth make it) must lie inside.
// Nothing inside the pixel array can be checked: every byte value is a valid pixel.
#include <cstdlib>
#include <cstring>

#include "media/format_checks.h"

namespace quorvane {
namespace {

constexpr std::uint32_t FileHeaderSize = 14;
constexpr std::uint32_t CoreHeaderSize = 12;       // OS/2 1.x: 16-bit width and height
constexpr std::uint32_t LargestInfoHeaderSize = 124;  // BITMAPV5HEADER

enum Compression : std::uint32_t { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, Jpeg = 4, Png = 5, AlphaBitFields = 6 };

}  // namespace

TFileCondition CheckBmpFile(ContentFile& file) {
    constexpr bool LE = true;
    std::uint8_t magic[2];
    std::uint32_t fileSize = 0, dataOffset = 0, headerSize = 0;
    if (!file.read(0, magic, 2) || std::memcmp(magic, "BM", 2) != 0 || !file.u32(2, LE, fileSize) ||
        !file.u32(10, LE, dataOffset) || !file.u32(14, LE, headerSize)) {
        return TFileCondition::Damaged;
    }
    if (fileSize != file.size() || headerSize < CoreHeaderSize || headerSize > LargestInfoHeaderSize ||
        dataOffset < FileHeaderSize + headerSize || dataOffset >= file.size()) {
        return TFileCondition::Damaged;
    }

    std::int64_t width = 0, height = 0;
    std::uint16_t bitsPerPixel = 0;
    std::uint32_t compression = Rgb, imageSize = 0;
    if (headerSize == CoreHeaderSize) {
        std::uint16_t w = 0, h = 0;
        if (!file.u16(18, LE, w) || !file.u16(20, LE, h) || !file.u16(24, LE, bitsPerPixel)) {
            return TFileCondition::Damaged;
        }
        width = w, height = h;
    } else {
        std::uint32_t w = 0, h = 0;
        if (!file.u32(18, LE, w) || !file.u32(22, LE, h) || !file.u16(28, LE, bitsPerPixel)) {
            return TFileCondition::Damaged;
        }
        width = static_cast<std::int32_t>(w);
        height = std::llabs(static_cast<std::int32_t>(h));  // negative: rows stored top down
        if (headerSize >= 40 && (!file.u32(30, LE, compression) || !file.u32(34, LE, imageSize))) {
            return TFileCondition::Damaged;
        }
    }
    if (width <= 0 || height <= 0) return TFileCondition::Damaged;

    const std::uint64_t room = file.size() - dataOffset;
    switch (compression) {
        case Rgb:
        case BitFields:
        case AlphaBitFields: {
            if (bitsPerPixel == 0 || bitsPerPixel > 64) return TFileCondition::Damaged;
            // Rows are padded to four bytes. width < 2^31 and bits <= 64 keep this far from overflow.
            const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bitsPerPixel + 31) / 32 * 4;
            const auto rows = static_cast<std::uint64_t>(height);
            return rows <= room / stride ? TFileCondition::Whole : TFileCondition::Damaged;
        }
        case Rle8:
        case Rle4:
        case Jpeg:
        case Png:
            // The compressed size is in the header.
            return imageSize > 0 && imageSize <= room ? TFileCondition::Whole : TFileCondition::Damaged;
        default:
            return TFileCondition::Damaged;
    }
}

}  // namespace quorvane
