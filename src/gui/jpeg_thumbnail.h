#pragma once
// JPEG thumbnails through libjpeg-turbo, scaled down in the DCT and bounded: a recovered file's
// header may claim any size and any number of scans, so the decoder is held to a pixel count, a
// memory budget, a number of scans and a time budget, and gives up with the reason when one is
// reached.
#include <QByteArray>
#include <QImage>
#include <QSize>

#include <chrono>
#include <cstdint>

namespace quorvane::gui {

struct JpegLimits {
    // 256 megapixels: above every camera and phone sensor.
    std::uint64_t maxPixels = 256ull * 1000 * 1000;
    // libjpeg's own memory, the whole-picture coefficients of a progressive file included: enough
    // for a 40-megapixel progressive photo in 4:2:0.
    long maxMemory = 160L << 20;
    // Encoders write about ten scans; a file of thousands of empty ones costs a pass over every
    // block of the picture for each.
    int maxScans = 100;
    // Decoding time of one file, the embedded preview and the picture together.
    std::chrono::milliseconds budget{2000};
};

// Why a decode gave no picture.
enum class JpegStop {
    None,           // decoded
    Unreadable,     // not a JPEG, or too damaged to give a single row
    TooManyPixels,  // the header claims more than maxPixels
    MemoryLimit,    // libjpeg would need more than maxMemory
    TooManyScans,   // more scans than maxScans
    TimeBudget,     // still decoding when the budget ran out
};

struct JpegThumbnail {
    QImage image;  // null unless stop is None
    JpegStop stop = JpegStop::None;
};

// The picture fitted into box (never scaled up). A camera photo's Exif preview is used when it
// covers the box. A photo cut short shows the rows that are there.
JpegThumbnail DecodeJpegThumbnailBounded(const QByteArray& data, QSize box, const JpegLimits& limits = {});

inline QImage DecodeJpegThumbnail(const QByteArray& data, QSize box) {
    return DecodeJpegThumbnailBounded(data, box).image;
}

}  // namespace quorvane::gui
