#include "media/tiff_ifd0.h"

#include "media/tiff_tags.h"

namespace quorvane {
namespace {

using tiff::TagSubIfds;
using tiff::TypeLong;
using tiff::TypeShort;

constexpr std::uint16_t TagNewSubfileType = 0x00FE;
constexpr std::uint16_t TagPhotometric = 0x0106;
constexpr std::uint16_t TagMake = 0x010F;
constexpr std::uint16_t TagDngVersion = 0xC612;

constexpr std::uint32_t PhotometricCfa = 32803;
constexpr std::uint32_t PhotometricLinearRaw = 34892;

class Reader {
public:
    Reader(const std::uint8_t* bytes, bool bigEndian) : bytes_(bytes), big_(bigEndian) {}

    std::uint16_t U16(std::size_t at) const {
        const std::uint8_t* p = bytes_ + at;
        return big_ ? static_cast<std::uint16_t>((p[0] << 8) | p[1]) : static_cast<std::uint16_t>((p[1] << 8) | p[0]);
    }
    std::uint32_t U32(std::size_t at) const {
        const std::uint32_t high = U16(big_ ? at : at + 2);
        const std::uint32_t low = U16(big_ ? at + 2 : at);
        return (high << 16) | low;
    }
    // A SHORT or LONG value held in the entry itself.
    std::uint32_t InlineNumber(std::size_t entry, std::uint16_t type) const {
        if (type == TypeShort) return U16(entry + 8);
        if (type == TypeLong) return U32(entry + 8);
        return 0;
    }

private:
    const std::uint8_t* bytes_;
    bool big_;
};

// The Make text of the entry at entry, cut to what lies inside size.
std::string_view MakeText(const std::uint8_t* bytes, std::size_t size, const Reader& read, std::size_t entry) {
    const std::uint32_t count = read.U32(entry + 4);
    const std::size_t at = count <= 4 ? entry + 8 : read.U32(entry + 8);
    if (count == 0 || at >= size) return {};
    const std::size_t inside = size - at < count ? size - at : count;
    return {reinterpret_cast<const char*>(bytes + at), inside};
}

}  // namespace

TiffIfd0 ReadTiffIfd0(const std::uint8_t* bytes, std::size_t size) {
    TiffIfd0 ifd;
    if (size < 8) return ifd;
    const bool little = bytes[0] == 'I' && bytes[1] == 'I' && bytes[2] == 0x2A && bytes[3] == 0;
    const bool big = bytes[0] == 'M' && bytes[1] == 'M' && bytes[2] == 0 && bytes[3] == 0x2A;
    if (!little && !big) return ifd;
    const Reader read(bytes, big);
    const std::uint32_t offset = read.U32(4);
    if (offset < 8 || offset > size - 2) return ifd;
    ifd.found = true;

    const std::uint16_t count = read.U16(offset);
    // Entries are 12 bytes each; those that do not fit inside size are not read.
    for (std::size_t i = 0, entry = offset + 2; i < count && entry + 12 <= size; ++i, entry += 12) {
        const std::uint16_t tag = read.U16(entry);
        const std::uint16_t type = read.U16(entry + 2);
        switch (tag) {
            case TagNewSubfileType: ifd.rawLayout |= (read.InlineNumber(entry, type) & 1) != 0; break;
            case TagPhotometric: {
                const std::uint32_t photometric = read.InlineNumber(entry, type);
                ifd.rawLayout |= photometric == PhotometricCfa || photometric == PhotometricLinearRaw;
                break;
            }
            case TagMake: ifd.make = MakeText(bytes, size, read, entry); break;
            case TagSubIfds: ifd.rawLayout |= read.U32(entry + 4) > 0; break;
            case TagDngVersion: ifd.dngVersion = true; break;
            default: break;
        }
    }
    return ifd;
}

bool IsTiffRawOfMaker(const std::uint8_t* bytes, std::size_t size, std::string_view maker) {
    const TiffIfd0 ifd = ReadTiffIfd0(bytes, size);
    return ifd.rawLayout && ifd.MakeStartsWith(maker);
}

}  // namespace quorvane
