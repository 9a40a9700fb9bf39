#include "media/exif_thumbnail.h"

#include "media/exif_block.h"

namespace quorvane {
namespace {

constexpr std::uint16_t TagThumbnailOffset = 0x0201;  // JPEGInterchangeFormat
constexpr std::uint16_t TagThumbnailLength = 0x0202;  // JPEGInterchangeFormatLength

using exif::Tiff;

// The preview inside one Exif block: IFD1, the IFD after the picture's own, names it.
std::optional<ByteRange> thumbnailInTiff(const std::uint8_t* tiffData, std::size_t tiffSize) {
    Tiff tiff(tiffData, tiffSize);
    std::uint32_t ifd0 = 0, ifd1 = 0, offset = 0, length = 0;
    std::uint16_t count0 = 0, count1 = 0;
    if (!tiff.readHeader(ifd0) || !tiff.ifdCount(ifd0, count0)) return std::nullopt;
    if (!tiff.u32(std::size_t{ifd0} + 2 + std::size_t{count0} * 12, ifd1) || ifd1 == 0 || ifd1 == ifd0) return std::nullopt;
    if (!tiff.ifdCount(ifd1, count1)) return std::nullopt;
    if (!tiff.tagValue(ifd1, count1, TagThumbnailOffset, offset) || !tiff.tagValue(ifd1, count1, TagThumbnailLength, length)) {
        return std::nullopt;
    }
    if (length < 4 || offset > tiffSize || tiffSize - offset < length) return std::nullopt;
    if (tiffData[offset] != 0xFF || tiffData[offset + 1] != 0xD8) return std::nullopt;
    return ByteRange{offset, length};
}

}  // namespace

std::optional<ByteRange> FindExifThumbnail(const std::uint8_t* data, std::size_t size) {
    const auto tiff = exif::FindExifTiff(data, size);
    if (!tiff) return std::nullopt;
    if (auto found = thumbnailInTiff(tiff->data(), tiff->size())) {
        return ByteRange{static_cast<std::size_t>(tiff->data() - data) + found->offset, found->length};
    }
    return std::nullopt;
}

}  // namespace quorvane
