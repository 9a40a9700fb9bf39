// Deciding whether the control file offers a newer version: by date, unconditionally, by
// version number, by size or by byte sum of a local file.
#include "update/web_update.h"

#include "support/version_block_format.h"
#include "support/file_descriptor.h"
#include "support/version_resource.h"

#include <array>
#include <cctype>
#include <charconv>
#include <ctime>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

namespace quorvane {
namespace {

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
std::int64_t daysFromCivil(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The decimal numbers of text separated by sep; nullopt when any part is not a number.
std::optional<std::vector<std::int64_t>> numbers(std::string_view text, char sep) {
    std::vector<std::int64_t> parts;
    while (true) {
        const std::size_t at = text.find(sep);
        std::string_view part = text.substr(0, at);
        while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
        while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
        std::int64_t value = 0;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || ec != std::errc() || end != part.data() + part.size() || value < 0) return std::nullopt;
        parts.push_back(value);
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

struct VersionPair {
    std::uint32_t ms = 0;
    std::uint32_t ls = 0;
    bool operator<(const VersionPair& o) const { return ms != o.ms ? ms < o.ms : ls < o.ls; }
};

std::string versionText(const VersionPair& v) {
    return std::to_string(v.ms >> 16) + "." + std::to_string(v.ms & 0xFFFF) + "." + std::to_string(v.ls >> 16) + "." +
           std::to_string(v.ls & 0xFFFF);
}

// a.b.c.d or a,b,c,d (the comma wins when the text holds one); each number one 16-bit field.
std::optional<VersionPair> parseVersion(const std::string& text) {
    const char sep = text.find(',') != std::string::npos ? ',' : '.';
    const auto parts = numbers(text, sep);
    if (!parts || parts->size() != 4) return std::nullopt;
    for (std::int64_t p : *parts)
        if (p > 0xFFFF) return std::nullopt;
    const auto field = [&](std::size_t i) { return static_cast<std::uint32_t>((*parts)[i]); };
    return VersionPair{(field(0) << 16) | field(1), (field(2) << 16) | field(3)};
}

const TLocalDateTime dateFloor = LocalDateTime(1980, 1, 1);

}  // namespace

TLocalDateTime LocalDateTime(int year, int month, int day, int hour, int minute, int second) {
    return daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

std::string FormatShortDate(TLocalDateTime when) {
    const std::time_t t = static_cast<std::time_t>(when);
    std::tm civil{};
    gmtime_r(&t, &civil);  // the value already is local clock time
    std::array<char, 64> text{};
    const std::size_t n = std::strftime(text.data(), text.size(), "%x", &civil);
    return std::string(text.data(), n);
}

std::int64_t FileCheckSum(const std::string& path) {
    // Not blocking on a pipe's open, and reading only what a regular file held when it was opened:
    // a control file that names /dev/zero or a fifo gets an answer at once.
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st{};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    std::int64_t sum = -1;
    std::int64_t left = static_cast<std::int64_t>(st.st_size);
    std::array<unsigned char, 4096> block{};
    while (left > 0) {
        const ssize_t n = ::read(fd.get(), block.data(), static_cast<std::size_t>(std::min<std::int64_t>(left, block.size())));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) sum += block[static_cast<std::size_t>(i)];
        left -= n;
    }
    return sum;
}

bool GetFileVersion(const std::string& path, std::uint32_t& ms, std::uint32_t& ls) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const std::uint32_t size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    if (size == 0) return false;
    std::vector<std::uint8_t> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return false;
    const void* value = nullptr;
    std::uint32_t length = 0;
    if (!VerQueryValueA(block.data(), "\\", &value, &length)) return false;
    const auto fixed = DecodeFixedFileInfo({static_cast<const std::uint8_t*>(value), length});
    if (!fixed || fixed->dwSignature != VsFixedFileInfoSignature) return false;
    ms = fixed->dwFileVersionMS;
    ls = fixed->dwFileVersionLS;
    return true;
}

TLocalDateTime UpdateDateGet(const std::string& path) {
    struct stat st{};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return dateFloor;
    std::tm local{};
    localtime_r(&st.st_mtime, &local);
    return LocalDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                         local.tm_sec);
}

std::optional<TLocalDateTime> TWebUpdate::ControlValueToDate(const std::string& date, const std::string& time) const {
    // The order of day, month and year follows DateFormat ("dd/mm/yyyy").
    std::string order;
    for (char c : DateFormat) {
        const char f = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if ((f == 'd' || f == 'm' || f == 'y') && order.find(f) == std::string::npos) order += f;
    }
    const auto parts = numbers(date, DateSeparator);
    if (order.size() != 3 || !parts || parts->size() != 3) return std::nullopt;
    std::int64_t day = (*parts)[order.find('d')];
    std::int64_t month = (*parts)[order.find('m')];
    std::int64_t year = (*parts)[order.find('y')];
    if (year < 100) year += year < 50 ? 2000 : 1900;
    if (year > 9999 || month < 1 || month > 12 || day < 1 || day > daysInMonth(static_cast<int>(year), static_cast<int>(month)))
        return std::nullopt;
    TLocalDateTime when = LocalDateTime(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));

    // A time that cannot be read adds nothing.
    const auto hm = numbers(time, TimeSeparator);
    if (hm && (hm->size() == 2 || hm->size() == 3) && (*hm)[0] < 24 && (*hm)[1] < 60 && (hm->size() == 2 || (*hm)[2] < 60))
        when += (*hm)[0] * 3600 + (*hm)[1] * 60 + (hm->size() == 3 ? (*hm)[2] : 0);
    return when;
}

bool TWebUpdate::CheckVersions(const std::string& newVersion, const std::string& localFile, std::int64_t newChecksum,
                               std::int64_t newSize) {
    if ((newVersion.empty() && newSize == 0 && newChecksum == -1) || localFile.empty()) return true;

    if (newChecksum != -1) return FileCheckSum(localFile) != newChecksum;

    if (newSize <= 0) {
        VersionPair local;
        const bool localValid = GetFileVersion(localFile, local.ms, local.ls);
        const auto wanted = parseVersion(newVersion);
        if (!localValid || !wanted) return false;
        CurrentVersionText = versionText(local);
        NewVersionText = versionText(*wanted);
        return local < *wanted;
    }

    struct stat st{};
    const std::int64_t localSize = ::stat(localFile.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
    return !(localSize == newSize || localSize <= 0);
}

int TWebUpdate::DoVersionCheck() {
    int result = wuNoUpdate;
    if (!ControlFile) return result;
    const TIniFile& ini = *ControlFile;
    Description = ini.ReadString("update", "descr", "");
    const std::string localVersion = LocalFilePath(ini.ReadString("update", "localversion", ""));

    const std::string date = ini.ReadString("update", "date", "");
    if (!date.empty()) {
        NewDate = ControlValueToDate(date, ini.ReadString("update", "time", "")).value_or(dateFloor);
        LastDate = UpdateDateGet(localVersion);
        if (LastDate < NewDate) result = wuDateUpdate;
    }

    if (!ini.ReadString("update", "unconditional", "").empty() && result == wuNoUpdate) result = wuUnconditionalUpdate;

    const std::string newVersion = ini.ReadString("update", "newversion", "");
    if (!newVersion.empty() && result == wuNoUpdate) {
        const std::int64_t newSize = ini.ReadInteger("update", "newsize", 0);
        const std::int64_t newChecksum = ini.ReadInteger("update", "newchecksum", -1);
        if (!localVersion.empty())
            result = newChecksum != -1 ? wuChecksumUpdate : newSize <= 0 ? wuVersionUpdate : wuSizeUpdate;
        if (!CheckVersions(newVersion, localVersion, newChecksum, newSize)) result = wuNoUpdate;
    }
    return result;
}

}  // namespace quorvane
