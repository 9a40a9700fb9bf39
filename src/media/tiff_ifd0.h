#pragma once
// What the first IFD of a TIFF-based file says about the camera raw format it holds, read from
// the file's first bytes only.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quorvane {

struct TiffIfd0 {
    bool found = false;       // a TIFF header ("II*\0" or "MM\0*") whose IFD0 count lies inside
    bool dngVersion = false;  // DNGVersion (0xC612) is one of the entries read
    // Entries that raw files have in IFD0 and pictures saved as TIFF do not: SubIFDs (the raw
    // image lies in one), a reduced-resolution IFD0 (a preview; the picture lies elsewhere), or
    // colour filter array or linear raw pixels.
    bool rawLayout = false;
    // The part of the Make text that lies inside the bytes read; empty without one.
    std::string_view make;

    bool MakeStartsWith(std::string_view maker) const { return make.substr(0, maker.size()) == maker; }
};

// Reads the header and IFD0 of the TIFF file whose first size bytes are at bytes, in either byte
// order. Only entries, and values, that lie wholly or (for Make) partly inside size are seen.
TiffIfd0 ReadTiffIfd0(const std::uint8_t* bytes, std::size_t size);

// A TIFF file laid out as a raw file whose Make begins with maker ("NIKON", "SONY"...).
bool IsTiffRawOfMaker(const std::uint8_t* bytes, std::size_t size, std::string_view maker);

}  // namespace quorvane
