#pragma once
// The byte tests that the rows of the media format table are written with. Two flavours: the
// scan method's sector tests read a sector that always holds at least MinTestedSectorBytes bytes
// and check no bounds (they run on every sector of a card), while LeadingBytes reads the first
// bytes of a file only inside the size it was given.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "support/helpers.h"

namespace quorvane {

template <typename Word>
inline Word LoadWord(const void* at) {
    Word word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// True when the bytes at sector + at equal the text's bytes. The text is a literal whose every
// char up to its terminating zero is compared, embedded zero bytes included ("II\x2A\x00").
// Compared as whole words against the literal's words, which the compiler folds to constants: a
// few compares and no call, whatever the compiler thinks of memcmp on a zero byte or a cold path.
template <std::size_t N>
inline bool SectorBytesAre(const std::uint8_t* sector, std::size_t at, const char (&text)[N]) {
    constexpr std::size_t n = N - 1;
    const std::uint8_t* bytes = sector + at;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        if (LoadWord<std::uint64_t>(bytes + i) != LoadWord<std::uint64_t>(text + i)) return false;
    }
    if (i + 4 <= n) {
        if (LoadWord<std::uint32_t>(bytes + i) != LoadWord<std::uint32_t>(text + i)) return false;
        i += 4;
    }
    if (i + 2 <= n) {
        if (LoadWord<std::uint16_t>(bytes + i) != LoadWord<std::uint16_t>(text + i)) return false;
        i += 2;
    }
    return i == n || bytes[i] == static_cast<std::uint8_t>(text[i]);
}

// The bytes of a sector that a test may read beyond the fixed offsets: size, the drive's bytes per
// sector, as a count.
inline std::size_t SectorSpan(std::int32_t size) { return size > 0 ? static_cast<std::size_t>(size) : 0; }

// "II" (Intel) or "MM" (Motorola): the byte-order mark of TIFF-based raw formats.
inline bool SectorHasTiffByteOrder(const std::uint8_t* s) {
    return (s[0] == 'I' && s[1] == 'I') || (s[0] == 'M' && s[1] == 'M');
}

// A TIFF header in either byte order: "II" 2A 00 or "MM" 00 2A.
inline bool SectorHasTiffHeader(const std::uint8_t* s) {
    return SectorBytesAre(s, 0, "II\x2A\x00") || SectorBytesAre(s, 0, "MM\x00\x2A");
}

// "Fuji" at any offset from 0 to size - 4.
inline bool SectorContainsFuji(const std::uint8_t* s, std::int32_t size) {
    for (std::int32_t at = 0; at <= size - 4; ++at) {
        if (s[at] == 'F' && SectorBytesAre(s, static_cast<std::size_t>(at), "Fuji")) return true;
    }
    return false;
}

// The first bytes of a candidate file, read only inside their bounds: a test whose bytes lie
// beyond them does not match.
class LeadingBytes {
public:
    explicit LeadingBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t Size() const { return bytes_.size(); }
    // For the tests that read a structure: only the first Size() bytes are there.
    const std::uint8_t* Data() const { return bytes_.data(); }

    bool ByteIs(std::size_t at, std::uint8_t value) const { return at < bytes_.size() && bytes_[at] == value; }

    // Same reading of text as SectorBytesAre.
    template <std::size_t N>
    bool BytesAre(std::size_t at, const char (&text)[N]) const {
        return at <= bytes_.size() && bytes_.size() - at >= N - 1 &&
               IsDataEqual(bytes_.data() + at, std::string_view(text, N - 1));
    }

    bool HasTiffByteOrder() const { return BytesAre(0, "II") || BytesAre(0, "MM"); }

private:
    std::span<const std::uint8_t> bytes_;
};

}  // namespace quorvane
