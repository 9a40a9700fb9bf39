#pragma once
// Whether the first marker segment after a JPEG start of image is one that real files begin with.
#include <cstddef>
#include <cstdint>

namespace quorvane {

// True when bytes begin FF D8 FF, then a marker that a picture's first segment carries (DQT, SOF0
// to SOF3, DHT, DRI, APP0 to APP15 or COM) and a segment length that fits that marker. Reads the
// first 23 bytes and no more; false when size is below that.
bool JpegFirstSegmentIsPlausible(const std::uint8_t* bytes, std::size_t size);

}  // namespace quorvane
