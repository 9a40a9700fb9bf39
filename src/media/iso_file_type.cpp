#include "media/iso_file_type.h"

#include <algorithm>

namespace quorvane {
namespace {

constexpr std::uint32_t Brand(const char (&text)[5]) {
    return (std::uint32_t{static_cast<std::uint8_t>(text[0])} << 24) |
           (std::uint32_t{static_cast<std::uint8_t>(text[1])} << 16) |
           (std::uint32_t{static_cast<std::uint8_t>(text[2])} << 8) | std::uint32_t{static_cast<std::uint8_t>(text[3])};
}

std::uint32_t BigEndian32(const std::uint8_t* at) {
    return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) | (std::uint32_t{at[2]} << 8) | at[3];
}

bool IsHevcBrand(std::uint32_t brand) {
    switch (brand) {
        case Brand("heic"):
        case Brand("heix"):
        case Brand("hevc"):
        case Brand("hevx"):
        case Brand("heim"):
        case Brand("heis"): return true;
        default: return false;
    }
}

bool IsAv1Brand(std::uint32_t brand) { return brand == Brand("avif") || brand == Brand("avis"); }

IsoFileKind KindOfMajorBrand(std::uint32_t brand) {
    if (IsHevcBrand(brand)) return IsoFileKind::Heic;
    if (IsAv1Brand(brand)) return IsoFileKind::Avif;
    switch (brand) {
        case Brand("isom"):
        case Brand("iso2"):
        case Brand("iso3"):
        case Brand("iso4"):
        case Brand("iso5"):
        case Brand("iso6"):
        case Brand("iso7"):
        case Brand("iso8"):
        case Brand("iso9"):
        case Brand("mp41"):
        case Brand("mp42"):
        case Brand("avc1"):
        case Brand("XAVC"): return IsoFileKind::Mp4;
        case Brand("M4A "):
        case Brand("M4B "): return IsoFileKind::M4a;
        case Brand("M4V "):
        case Brand("M4VH"):
        case Brand("M4VP"): return IsoFileKind::M4v;
        case Brand("qt  "): return IsoFileKind::QuickTime;
        case Brand("3gp4"):
        case Brand("3gp5"):
        case Brand("3gp6"):
        case Brand("3gp7"):
        case Brand("3gp8"):
        case Brand("3gp9"): return IsoFileKind::ThreeGpp;
        case Brand("3g2a"):
        case Brand("3g2b"):
        case Brand("3g2c"): return IsoFileKind::ThreeGpp2;
        case Brand("crx "): return IsoFileKind::CanonRaw;
        default: return IsoFileKind::None;
    }
}

}  // namespace

IsoFileKind IsoFileKindOf(const std::uint8_t* bytes, std::size_t size) {
    // Size, type, major brand, minor version.
    constexpr std::size_t header = 16;
    if (size < header || BigEndian32(bytes + 4) != Brand("ftyp")) return IsoFileKind::None;
    const std::uint32_t boxSize = BigEndian32(bytes);
    if (boxSize < header || boxSize > 4096 || boxSize % 4 != 0) return IsoFileKind::None;
    const std::uint32_t major = BigEndian32(bytes + 8);
    if (major != Brand("mif1") && major != Brand("msf1")) return KindOfMajorBrand(major);

    // A generic HEIF brand: the codec shows in the compatible brands, those inside the box and
    // inside what was given.
    const std::size_t end = std::min<std::size_t>(boxSize, size);
    for (std::size_t at = header; at + 4 <= end; at += 4) {
        const std::uint32_t brand = BigEndian32(bytes + at);
        if (IsHevcBrand(brand)) return IsoFileKind::Heic;
        if (IsAv1Brand(brand)) return IsoFileKind::Avif;
    }
    return IsoFileKind::Heif;
}

}  // namespace quorvane
