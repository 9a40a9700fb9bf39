#pragma once
// Unpacking of cabinet (.CAB) files.
#include <string>

namespace quorvane {

// Unpacks every file of the cabinet into targetDir, creating the subfolders stored with the
// names and giving each file the date and time stored in the cabinet. Stored names are
// untrusted: one that would lead outside targetDir ("..\x", or not a usable name) is not
// extracted. Each file is written to a temporary file first, so a damaged entry leaves an
// existing file of its name untouched. True when the cabinet could be read and every file
// was extracted.
bool CabExtract(const std::string& cabPath, const std::string& targetDir);

}  // namespace quorvane
