#pragma once
// The kind of an ISO base media file (MP4, QuickTime, 3GPP, HEIF, AVIF, Canon CR3) named by the
// brands of the file type box it starts with.
#include <cstddef>
#include <cstdint>

namespace quorvane {

enum class IsoFileKind : std::uint8_t {
    None,       // no plausible file type box, or a brand not known here
    Mp4,        // isom, iso2 to iso9, mp41, mp42, avc1, XAVC (Sony cameras)
    M4a,        // M4A , M4B  (Apple audio)
    M4v,        // M4V , M4VH, M4VP (Apple video)
    QuickTime,  // qt
    ThreeGpp,   // 3gp4 to 3gp9
    ThreeGpp2,  // 3g2a to 3g2c
    Heic,       // heic, heix, hevc, hevx, heim, heis; or mif1/msf1 listing one of them as compatible
    Avif,       // avif, avis; or mif1/msf1 listing one of them as compatible
    Heif,       // mif1, msf1 with neither
    CanonRaw,   // crx
};

// The kind of the file whose first size bytes are at bytes: an "ftyp" box at offset 0 whose size
// is plausible for one (16 to 4096 bytes, a whole number of brands) and whose major brand, or for
// the generic HEIF brands the compatible brands, name the kind. Reads only the first size bytes
// and no more of the box than its size.
IsoFileKind IsoFileKindOf(const std::uint8_t* bytes, std::size_t size);

}  // namespace quorvane
