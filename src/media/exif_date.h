#pragma once
// When a photo was taken, as its camera wrote it into the Exif block: the time a carved picture
// is given, since it has no directory entry to take one from.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace quorvane {

// The calendar fields of a date and time as written, with no time zone (cameras write local time).
struct TLocalDateTime {
    int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

// DateTimeOriginal (Exif IFD, tag 0x9003), or DateTime (IFD0, tag 0x0132) when that is missing,
// of the JPEG file data; nullopt when neither holds a plausible "YYYY:MM:DD HH:MM:SS".
std::optional<TLocalDateTime> FindExifDateTaken(const std::uint8_t* data, std::size_t size);

}  // namespace quorvane
