// Counting and collecting the media files of a drive's start directories.
#include "fat/fat_drive.h"

namespace quorvane {

// Not built yet: nothing is counted or collected.
bool TFATdrive::AnalyzeTotalFile(bool, bool, bool, std::int32_t& Files, std::int32_t& Folders) {
    Files = 0;
    Folders = 0;
    return true;
}

bool TFATdrive::FindFiles(bool, bool, bool) { return true; }

}  // namespace quorvane
