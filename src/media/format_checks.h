#pragma once
// The content check of each format, on a file already opened (content_check.cpp picks one by the
// format's ContentCheck). Each reads only inside the file and bounds its walks; Unknown means the
// check could not judge the file (too large to decode, beyond its limits).
#include "media/content_check.h"
#include "media/content_file.h"

namespace quorvane {

TFileCondition CheckJpegFile(ContentFile& file);
TFileCondition CheckPngFile(ContentFile& file);
TFileCondition CheckRiffFile(ContentFile& file);
TFileCondition CheckIsoMediaFile(ContentFile& file);
TFileCondition CheckTiffFile(ContentFile& file);
TFileCondition CheckGifFile(ContentFile& file);
TFileCondition CheckBmpFile(ContentFile& file);

// How a walk over a file's chunks or boxes ended: it reached the file's end exactly, the structure
// broke, or it ran past the walk's own limits.
enum class Walk { Fits, Broken, TooLong };

inline TFileCondition Condition(Walk walk) {
    switch (walk) {
        case Walk::Fits: return TFileCondition::Whole;
        case Walk::TooLong: return TFileCondition::Unknown;
        case Walk::Broken: break;
    }
    return TFileCondition::Damaged;
}

// Four bytes that a chunk or box type is made of: printable ASCII, as every real one is.
inline bool IsPrintableType(const std::uint8_t* type) {
    for (int i = 0; i < 4; ++i) {
        if (type[i] < 0x20 || type[i] > 0x7E) return false;
    }
    return true;
}

}  // namespace quorvane
