#include "media/exif_date.h"

#include "media/exif_block.h"

namespace quorvane {

namespace {

constexpr std::uint16_t TagDateTime = 0x0132;
constexpr std::uint16_t TagExifIfd = 0x8769;
constexpr std::uint16_t TagDateTimeOriginal = 0x9003;
constexpr std::size_t DateTextBytes = 19;  // "YYYY:MM:DD HH:MM:SS", then a NUL

// Reads the date text of the ASCII tag in the IFD at offset; its value lies at an offset of its own
// (20 bytes do not fit in the entry).
std::optional<TLocalDateTime> DateOfTag(const exif::Tiff& tiff, const std::uint8_t* data, std::uint32_t ifd,
                                        std::uint16_t count, std::uint16_t tag) {
    std::uint32_t at = 0;
    if (!tiff.tagValue(ifd, count, tag, at) || at > tiff.size() || tiff.size() - at < DateTextBytes) return std::nullopt;
    const std::uint8_t* t = data + at;
    auto number = [t](std::size_t from, std::size_t digits, int& value) {
        value = 0;
        for (std::size_t i = 0; i < digits; ++i) {
            if (t[from + i] < '0' || t[from + i] > '9') return false;
            value = value * 10 + (t[from + i] - '0');
        }
        return true;
    };
    TLocalDateTime d;
    if (!number(0, 4, d.Year) || !number(5, 2, d.Month) || !number(8, 2, d.Day) || !number(11, 2, d.Hour) ||
        !number(14, 2, d.Minute) || !number(17, 2, d.Second)) {
        return std::nullopt;  // blank ("    :  :     :  :  ") or damaged
    }
    if (d.Year < 1970 || d.Month < 1 || d.Month > 12 || d.Day < 1 || d.Day > 31 || d.Hour > 23 || d.Minute > 59 ||
        d.Second > 60) {
        return std::nullopt;
    }
    return d;
}

}  // namespace

std::optional<TLocalDateTime> FindExifDateTaken(const std::uint8_t* data, std::size_t size) {
    const auto block = exif::FindExifTiff(data, size);
    if (!block) return std::nullopt;
    exif::Tiff tiff(block->data(), block->size());
    std::uint32_t ifd0 = 0;
    std::uint16_t count0 = 0;
    if (!tiff.readHeader(ifd0) || !tiff.ifdCount(ifd0, count0)) return std::nullopt;
    std::uint32_t exifIfd = 0;
    std::uint16_t exifCount = 0;
    if (tiff.tagValue(ifd0, count0, TagExifIfd, exifIfd) && exifIfd != ifd0 && tiff.ifdCount(exifIfd, exifCount)) {
        if (auto taken = DateOfTag(tiff, block->data(), exifIfd, exifCount, TagDateTimeOriginal)) return taken;
    }
    return DateOfTag(tiff, block->data(), ifd0, count0, TagDateTime);
}

}  // namespace quorvane
