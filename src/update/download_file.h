#pragma once
// Partial downloads and their hand-over. A download is written into a temporary "WUPD" file in
// its target's own folder and only a complete one is moved over the target, in one rename, so a
// failed, cancelled or empty download never replaces or empties an existing file.
#include "support/file_descriptor.h"

#include <optional>
#include <string>

namespace quorvane {

struct TTempFile {
    std::string path;
    FileDescriptor fd;
};

// A new, empty file "WUPDxxxxxx" in folder, open for writing; nullopt when none can be made.
std::optional<TTempFile> CreateTempFileIn(const std::string& folder);

// Moves a finished temporary file over target. A replaced target's permission bits carry over
// (an updated program stays executable); a new target gets the usual bits and is never made
// executable, whatever it holds: a download becomes a program only by replacing one the program
// shipped. A link at the target's name is replaced, not followed.
bool CommitFile(const std::string& tempPath, const std::string& target);

// The folder part of a path with its trailing slash ("/a/b/" for "/a/b/c"); "./" for a bare name.
std::string FolderOf(const std::string& path);

// Creates folder and its missing parents; true when it exists afterwards.
bool ForceDirectories(const std::string& folder);

}  // namespace quorvane
