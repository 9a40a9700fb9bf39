#pragma once
// Whether a recovered file is whole: checked after it is saved, from its own structure or by
// decoding it, so that the user learns before opening it.
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

// What a recovered file of a format is checked for; one per row of the media format table.
enum class ContentCheck : std::uint8_t {
    None,           // nothing to check by: the condition is Unknown
    JpegDecode,     // decoded whole with libjpeg-turbo; any corrupt-data warning is damage
    PngChunks,      // every chunk's CRC-32 right, up to IEND at the file's end
    RiffChunks,     // the chunk structure reaches the file's end exactly
    IsoBoxes,       // the top-level boxes reach the end; moov (films) or meta (HEIF) present,
                    // and the media offsets they give lie inside the file
    TiffStructure,  // every IFD, strip and tile lies inside the file
    GifBlocks,      // the blocks reach the trailer at the file's end
    BmpHeader,      // the header's sizes agree with the file's size
};

enum class TFileCondition : std::uint8_t {
    Unknown,  // the format gives nothing to check, or the file could not be read
    Whole,
    Damaged,
};

// "whole", "damaged", "unknown": the words used in reports and in --json.
std::string_view ConditionName(TFileCondition condition);

// Checks the file at path by check. Reads only that regular file, bounded by the format's own
// limits; never throws.
TFileCondition CheckFileContent(ContentCheck check, const std::string& path);

}  // namespace quorvane
