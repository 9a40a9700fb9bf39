#pragma once
// The temporary folder and the private folder that each recovery run stages its files in.
#include <string>

namespace quorvane {

// $TMPDIR, else /tmp, always ending in '/'.
std::string GetTempPath();

// Creates a new folder only this user can read inside the temporary folder, e.g.
// /tmp/quorvane-run-Ab12Cd/. Empty on failure, with the reason in error.
std::string MakePrivateRunFolder(std::string& error);

// The same inside parent (an existing folder), as a hidden folder, e.g.
// ~/Pictures/Recovered/.quorvane-run-Ab12Cd/: staged on the destination's file system, a file is
// saved by a link instead of a copy. Empty on failure, with the reason in error.
std::string MakePrivateRunFolderIn(const std::string& parent, std::string& error);

// Removes folder when it is empty; a folder that still holds files is left alone.
void RemoveFolderIfEmpty(const std::string& folder);

bool FileExists(const std::string& path);

}  // namespace quorvane
