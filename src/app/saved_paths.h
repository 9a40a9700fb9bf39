#pragma once
// Saving a recovered file under the path it had on the card, and giving it the time it had there.
#include "app/staged_list.h"

#include <cstdint>
#include <string>

namespace quorvane {

// One part of a path from the card made safe as a file or folder name here: no separators or
// control characters, not "." or "..", not empty, at most 255 bytes.
std::string SafePathPart(std::string part);

// Copies file (whose Origin.OriginalPath is set) to folder + its original path, making the folders
// on the way; a name that is taken gets " (2)", " (3)", ... before its extension. Sets SavedAs and
// the modification time. False with the reason in error when it cannot be saved.
bool SaveUnderOriginalPath(TStagedFile& file, const std::string& folder, std::string& error);

// Gives path the modification (and access) time seconds since 1970 UTC; nothing for 0.
void SetModifiedTime(const std::string& path, std::int64_t seconds);

}  // namespace quorvane
