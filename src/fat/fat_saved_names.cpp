#include "fat/fat_saved_names.h"

#include "fat/fat_file_names.h"
#include "fat/fat_formats.h"

namespace quorvane {

std::string SavedFileName(const std::string& MediumName) {
    return ShortenedFileName(MediumNameToFileName(ReplaceDeletedChar(MediumName)));
}

}  // namespace quorvane
