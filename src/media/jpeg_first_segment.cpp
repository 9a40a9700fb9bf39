#include "media/jpeg_first_segment.h"

namespace quorvane {
namespace {

// A quantisation segment holds one to four tables of 65 (8-bit) or 129 (16-bit) bytes.
bool IsQuantisationLength(unsigned length) {
    for (unsigned eightBit = 0; eightBit <= 4; ++eightBit) {
        for (unsigned sixteenBit = 0; eightBit + sixteenBit <= 4; ++sixteenBit) {
            if (eightBit + sixteenBit > 0 && length == 2 + 65 * eightBit + 129 * sixteenBit) return true;
        }
    }
    return false;
}

// The first byte of a table definition: class or precision in the high nibble (0 or 1),
// destination in the low one (0 to 3).
bool IsTableSelector(std::uint8_t byte) { return (byte & 0xEC) == 0; }

}  // namespace

bool JpegFirstSegmentIsPlausible(const std::uint8_t* bytes, std::size_t size) {
    // Marker, length and the 17 bytes of a Huffman table's header are all the tests read.
    constexpr std::size_t read = 23;
    if (size < read || bytes[0] != 0xFF || bytes[1] != 0xD8 || bytes[2] != 0xFF) return false;
    const std::uint8_t marker = bytes[3];
    const unsigned length = (unsigned{bytes[4]} << 8) | bytes[5];
    if (marker >= 0xE0 && marker <= 0xEF) return length >= 2;  // APPn: JFIF, Exif, ICC, Adobe...
    switch (marker) {
        case 0xDB: return IsQuantisationLength(length) && IsTableSelector(bytes[6]);
        case 0xC0:
        case 0xC1:
        case 0xC2:
        case 0xC3: {
            // Precision, height, width, then three bytes for each of one to four components.
            const unsigned components = bytes[11];
            const bool hasWidth = bytes[9] != 0 || bytes[10] != 0;
            return components >= 1 && components <= 4 && length == 8 + 3 * components && hasWidth;
        }
        case 0xC4: {
            // A table's 16 code counts add up to the symbols that follow them.
            unsigned symbols = 0;
            for (std::size_t i = 7; i < 23; ++i) symbols += bytes[i];
            return IsTableSelector(bytes[6]) && symbols >= 1 && symbols <= 256 && length >= 19 + symbols;
        }
        case 0xDD: return length == 4;   // restart interval
        case 0xFE: return length >= 2;   // comment
        default: return false;
    }
}

}  // namespace quorvane
