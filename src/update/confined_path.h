#pragma once
// Where an update may write and what it may start: the program's folder and the folders below it,
// reached without following a symbolic link. A control file path that leaves the program's folder
// (another absolute folder, a "..", a {WIN} or {TMP} prefix) is refused, and so is a folder on the
// way that is a link, even when it points back inside.
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// The part of an absolute local path below programFolder ("" for the folder itself), written with
// single slashes and no "." parts; nullopt for a relative path, a path with a ".." part, or one
// outside programFolder.
std::optional<std::string> PathBelow(std::string_view path, std::string_view programFolder);

// Creates the folders of relative below base, one part at a time, each opened without following a
// link. True when all of them exist as real folders afterwards; false when one is a link, a file,
// or cannot be made. base itself is taken as it is.
bool MakeFoldersBelow(const std::string& base, std::string_view relative);

// True when path is a regular file below programFolder (PathBelow) whose folders and the file
// itself are reached without a link: a file the program ships, which the update may start.
bool IsFileBelow(const std::string& path, const std::string& programFolder);

}  // namespace quorvane
