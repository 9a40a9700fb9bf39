#pragma once
// The time a carved photo was taken, from its Exif block.
#include <cstdint>
#include <string>

namespace quorvane {

// Seconds since 1970 (UTC) of the Exif date the JPEG file at path was taken (local time, as
// cameras write it); 0 when it is no JPEG or gives no date. Reads the file's first 128 KB at most.
std::int64_t PhotoTakenTime(const std::string& path);

}  // namespace quorvane
