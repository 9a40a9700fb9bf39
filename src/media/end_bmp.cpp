// BMP: the file header's size field says where the file ends; the info header has to agree.
#include "media/end_walk.h"

namespace quorvane {
namespace {

constexpr std::size_t FileHeader = 14;     // "BM", file size, reserved, pixel array offset
constexpr std::size_t CoreHeader = 12;     // OS/2 1.x: 16-bit width and height
constexpr std::size_t InfoHeader = 40;     // Windows and later: 32-bit width and height, compression
constexpr std::uint32_t MaxDimension = 1u << 20;

bool IsKnownInfoSize(std::uint32_t size) {
    switch (size) {
        case CoreHeader:
        case InfoHeader:
        case 52:   // with RGB masks
        case 56:   // with RGBA masks
        case 64:   // OS/2 2.x
        case 108:  // version 4
        case 124:  // version 5
            return true;
        default: return false;
    }
}

bool IsKnownBitsPerPixel(std::uint32_t bpp) {
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

class BmpEndFinder final : public HeaderWalkFinder {
public:
    BmpEndFinder() : HeaderWalkFinder(EndRule::Bmp, FileHeader + CoreHeader) {}

private:
    void OnHeader(const std::uint8_t* h, std::size_t size) override {
        if (h[0] != 'B' || h[1] != 'M') return SetUnknown();
        const std::uint32_t fileSize = ReadLe32(h + 2);
        const std::uint32_t pixelOffset = ReadLe32(h + 10);
        const std::uint32_t infoSize = ReadLe32(h + 14);
        if (!IsKnownInfoSize(infoSize) || fileSize < FileHeader + infoSize || pixelOffset < FileHeader + infoSize ||
            pixelOffset > fileSize) {
            return SetUnknown();
        }
        std::uint32_t width = 0, bpp = 0, planes = 0, compression = 0;
        std::int64_t height = 0;
        if (infoSize == CoreHeader) {
            width = ReadLe16(h + 18);
            height = ReadLe16(h + 20);
            planes = ReadLe16(h + 22);
            bpp = ReadLe16(h + 24);
        } else {
            if (size < FileHeader + InfoHeader) return Extend(FileHeader + InfoHeader);
            width = ReadLe32(h + 18);
            height = static_cast<std::int32_t>(ReadLe32(h + 22));  // negative: rows run top-down
            planes = ReadLe16(h + 26);
            bpp = ReadLe16(h + 28);
            compression = ReadLe32(h + 30);
        }
        if (height < 0) height = -height;
        if (planes != 1 || !IsKnownBitsPerPixel(bpp) || width == 0 || width > MaxDimension || height == 0 ||
            height > MaxDimension) {
            return SetUnknown();
        }
        // Uncompressed rows (plain or with bit masks) are padded to 4 bytes; run-length and
        // embedded JPEG or PNG pixel data have no size to check against.
        if (compression == 0 || compression == 3 || compression == 6) {
            const std::uint64_t rowBytes = (std::uint64_t{width} * bpp + 31) / 32 * 4;
            if (std::uint64_t{pixelOffset} + rowBytes * static_cast<std::uint64_t>(height) > fileSize) {
                return SetUnknown();
            }
        }
        EndAt(fileSize);
    }
};

}  // namespace

std::unique_ptr<FileEndFinder> MakeBmpEndFinder() { return std::make_unique<BmpEndFinder>(); }

}  // namespace quorvane
