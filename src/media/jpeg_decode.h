#pragma once
// A JPEG held in memory decoded the way the content check decodes a saved one (check_jpeg.cpp):
// the same verdict, and where the decoder stood when it met the first sign of corrupt data.
#include <cstdint>
#include <span>

#include "media/content_check.h"

namespace quorvane {

struct JpegDecodeResult {
    TFileCondition condition = TFileCondition::Unknown;
    // Whole: the offset just after the end of image. Otherwise the input position at the first
    // warning or error; libjpeg reads ahead, so the fault lies at or before it.
    std::uint64_t cleanTo = 0;
    std::uint64_t end = 0;  // just after the end of image; 0 unless Whole
};

JpegDecodeResult DecodeJpegBytes(std::span<const std::uint8_t> bytes);

}  // namespace quorvane
