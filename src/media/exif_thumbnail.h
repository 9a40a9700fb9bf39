#pragma once
// Finds the small JPEG preview that cameras put into a photo's Exif block, so that a page of
// thumbnails needs no decoding of the full pictures. Photos come from the medium: every offset
// is checked against the bytes at hand.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace quorvane {

struct ByteRange {
    std::size_t offset = 0;
    std::size_t length = 0;
};

// Where the embedded preview JPEG lies inside the JPEG file data, or nullopt when there is none.
std::optional<ByteRange> FindExifThumbnail(const std::uint8_t* data, std::size_t size);

}  // namespace quorvane
