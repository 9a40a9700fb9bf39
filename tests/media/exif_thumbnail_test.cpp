#include "media/exif_thumbnail.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace quorvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kPreview = {0xFF, 0xD8, 0xFF, 0xDB, 1, 2, 3, 4, 5, 6, 0xFF, 0xD9};

struct ExifShape {
    bool bigEndian = false;
    bool withIfd1 = true;
    std::uint32_t previewLengthExtra = 0;  // claims more bytes than there are
    bool ifd1PointsBackToIfd0 = false;
    bool jfifFirst = false;
};

// A JPEG whose Exif block has IFD0 with one entry and IFD1 naming an embedded preview.
Bytes makeJpeg(const ExifShape& shape) {
    Bytes tiff;
    auto put16 = [&](std::uint32_t v) {
        if (shape.bigEndian) {
            tiff.push_back(static_cast<std::uint8_t>(v >> 8));
            tiff.push_back(static_cast<std::uint8_t>(v));
        } else {
            tiff.push_back(static_cast<std::uint8_t>(v));
            tiff.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    };
    auto put32 = [&](std::uint32_t v) {
        if (shape.bigEndian) {
            put16(v >> 16), put16(v & 0xFFFF);
        } else {
            put16(v & 0xFFFF), put16(v >> 16);
        }
    };
    tiff.insert(tiff.end(), shape.bigEndian ? std::initializer_list<std::uint8_t>{'M', 'M'} : std::initializer_list<std::uint8_t>{'I', 'I'});
    put16(42);
    put32(8);
    // IFD0 at 8: one entry (orientation), then the link to IFD1 at 26.
    put16(1);
    put16(0x0112), put16(3), put32(1), put16(1), put16(0);
    put32(shape.withIfd1 ? (shape.ifd1PointsBackToIfd0 ? 8 : 26) : 0);
    // IFD1 at 26: offset and length of the preview, which follows at 26 + 2 + 24 + 4 = 56.
    put16(2);
    put16(0x0201), put16(4), put32(1), put32(56);
    put16(0x0202), put16(4), put32(1), put32(static_cast<std::uint32_t>(kPreview.size()) + shape.previewLengthExtra);
    put32(0);
    tiff.insert(tiff.end(), kPreview.begin(), kPreview.end());

    Bytes jpeg = {0xFF, 0xD8};
    if (shape.jfifFirst) jpeg.insert(jpeg.end(), {0xFF, 0xE0, 0x00, 0x07, 'J', 'F', 'I', 'F', 0});
    const std::size_t length = 2 + 6 + tiff.size();
    jpeg.insert(jpeg.end(), {0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
    jpeg.insert(jpeg.end(), {'E', 'x', 'i', 'f', 0, 0});
    jpeg.insert(jpeg.end(), tiff.begin(), tiff.end());
    jpeg.insert(jpeg.end(), {0xFF, 0xDA, 0x00, 0x02, 0x11, 0x22, 0xFF, 0xD9});
    return jpeg;
}

TEST(ExifThumbnail, FindsTheEmbeddedPreviewOnlyWhereItIsWhole) {
    struct Case {
        const char* name;
        ExifShape shape;
        bool found;
    };
    const Case cases[] = {
        {"little-endian camera file", {}, true},
        {"big-endian camera file", {.bigEndian = true}, true},
        {"after a JFIF segment", {.jfifFirst = true}, true},
        {"no second IFD", {.withIfd1 = false}, false},
        {"preview running past the block", {.previewLengthExtra = 1}, false},
        {"second IFD looping back to the first", {.ifd1PointsBackToIfd0 = true}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes jpeg = makeJpeg(c.shape);
        const auto range = FindExifThumbnail(jpeg.data(), jpeg.size());
        ASSERT_EQ(range.has_value(), c.found);
        if (c.found) {
            EXPECT_EQ(Bytes(jpeg.begin() + static_cast<long>(range->offset),
                            jpeg.begin() + static_cast<long>(range->offset + range->length)),
                      kPreview);
        }
    }
}

TEST(ExifThumbnail, CutOrDamagedFilesNeverReachOutside) {
    const Bytes whole = makeJpeg({});
    for (std::size_t size = 0; size <= whole.size(); ++size) {
        const auto range = FindExifThumbnail(whole.data(), size);
        if (range) {
            EXPECT_LE(range->offset + range->length, size);
        }
    }
    for (std::size_t at = 2; at < whole.size(); ++at) {
        Bytes damaged = whole;
        damaged[at] ^= 0xFF;
        const auto range = FindExifThumbnail(damaged.data(), damaged.size());
        if (range) {
            EXPECT_LE(range->offset + range->length, damaged.size());
        }
    }
    const Bytes pictureFirst = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0xFF, 0xD9};
    EXPECT_FALSE(FindExifThumbnail(pictureFirst.data(), pictureFirst.size()));
}

}  // namespace
}  // namespace quorvane
