#pragma once
// Copies a recovered file to a name that must not exist yet.
#include <string>

namespace quorvane {

enum class CopyStatus { Done, TargetExists, Failed };

struct CopyResult {
    CopyStatus status = CopyStatus::Failed;
    std::string error;  // "Cannot write ~/Pictures/image3.JPG: No space left on device"
};

// Creates target exclusively and fills it with source's bytes. On the same file system the
// new name is a hard link to the staged file, which is deleted right after the save anyway,
// so a full card is not written twice. A failed copy leaves no partial target behind. The new file
// and its folder are flushed before this returns (the staged copy may go right after), and in a
// root run the file is handed to the invoking user.
CopyResult CopyToNewFile(const std::string& source, const std::string& target);

}  // namespace quorvane
