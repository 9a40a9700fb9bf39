#include "app/photo_time.h"

#include "media/exif_date.h"
#include "support/file_descriptor.h"

#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace quorvane {

std::int64_t PhotoTakenTime(const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd) return 0;
    std::vector<std::uint8_t> head(128 * 1024);
    const ssize_t got = ::pread(fd.get(), head.data(), head.size(), 0);
    if (got < 4 || head[0] != 0xFF || head[1] != 0xD8) return 0;
    const auto taken = FindExifDateTaken(head.data(), static_cast<std::size_t>(got));
    if (!taken) return 0;
    std::tm tm{};
    tm.tm_year = taken->Year - 1900;
    tm.tm_mon = taken->Month - 1;
    tm.tm_mday = taken->Day;
    tm.tm_hour = taken->Hour;
    tm.tm_min = taken->Minute;
    tm.tm_sec = taken->Second;
    tm.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&tm);
    return seconds == static_cast<std::time_t>(-1) ? 0 : static_cast<std::int64_t>(seconds);
}

}  // namespace quorvane
