#include "media/recoverutils.h"

#include <cstring>

namespace quorvane {
namespace {

bool bytesAre(const std::uint8_t* at, const char* text, std::size_t n) { return std::memcmp(at, text, n) == 0; }

bool startsIIorMM(const std::uint8_t* s) { return (s[0] == 'I' && s[1] == 'I') || (s[0] == 'M' && s[1] == 'M'); }

bool hasTiffHeader(const std::uint8_t* s) {
    static constexpr std::uint8_t littleEndian[4] = {0x49, 0x49, 0x2A, 0x00};
    static constexpr std::uint8_t bigEndian[4] = {0x4D, 0x4D, 0x00, 0x2A};
    return std::memcmp(s, littleEndian, 4) == 0 || std::memcmp(s, bigEndian, 4) == 0;
}

// "Fuji" at any offset from 0 to size - 4.
bool containsFuji(const std::uint8_t* s, std::int32_t size) {
    for (std::int32_t at = 0; at <= size - 4; ++at) {
        if (s[at] == 'F' && bytesAre(s + at, "Fuji", 4)) return true;
    }
    return false;
}

// The start table, tried in order; the first row that matches decides.
const char* startExtension(const std::uint8_t* s, std::int32_t size) {
    if (s[0] == 0xFF && s[1] == 0xD8 && s[2] == 0xFF && (s[3] == 0xE0 || s[3] == 0xE1)) return "JPG";
    if (startsIIorMM(s) && bytesAre(s + 6, "HEAPCCDR", 8)) return "CRW";
    // Canon raw files carry the maker name here; it may also sit inside another file,
    // which then ends at this sector.
    if (bytesAre(s + 250, "Canon", 5)) return "CRW";
    if (s[0] == 'B' && s[1] == 'M' && s[6] == 0 && s[7] == 0 && s[8] == 0 && s[9] == 0) return "BMP";
    if (bytesAre(s, "GIF8", 4) && (s[4] == '9' || s[4] == '7') && s[5] == 'a') return "GIF";
    if (bytesAre(s, "\x89PNG\r\n\x1A\n", 8)) return "PNG";
    if (bytesAre(s, "RIFF", 4)) {
        if (bytesAre(s + 8, "WAVE", 4)) return "WAV";
        if (bytesAre(s + 8, "AVI", 3)) return "AVI";
        return "RIFF";
    }
    if (bytesAre(s + 4, "moov", 4)) return "MOV";
    if (startsIIorMM(s) && (bytesAre(s + 352, "NIKON", 5) || bytesAre(s + 484, "NIKON", 5))) return "NEF";
    if (s[1] == 'M' && s[2] == 'R' && s[3] == 'M') return "MRW";
    if (hasTiffHeader(s)) {
        if (ContainsText(s, size, "Kodak")) return "DCR";
        if (containsFuji(s, size)) return "RAF";
        return "TIF";
    }
    return nullptr;
}

}  // namespace

bool IsFileStart(const std::uint8_t* sector, std::int32_t size, std::string& extension) {
    const char* found = startExtension(sector, size);
    if (found == nullptr) return false;
    extension = found;
    return true;
}

bool IsFileEnd(const std::uint8_t* /*sector*/, std::int32_t size, std::int64_t& count, const std::string& /*extension*/) {
    count += static_cast<std::int64_t>(size);
    return count > CarvedFileSizeLimit;
}

bool ContainsText(const std::uint8_t* buffer, std::int32_t size, std::string_view text) {
    const auto n = static_cast<std::int32_t>(text.size());
    if (n == 0) return size > 0;  // an empty window matches wherever one can start
    // Steps by the text's length: only occurrences at multiples of n are seen.
    for (std::int32_t at = 0; at < size - n; at += n) {
        if (std::memcmp(buffer + at, text.data(), static_cast<std::size_t>(n)) == 0) return true;
    }
    return false;
}

void FillBuffer(std::uint8_t* buffer, std::int64_t n, std::uint8_t value) {
    if (n <= 0) return;
    std::memset(buffer, value, static_cast<std::size_t>(n));
}

}  // namespace quorvane
