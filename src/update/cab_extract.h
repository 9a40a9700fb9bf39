#pragma once
// Unpacking of cabinet (.CAB) files.
#include "update/capped_mspack_system.h"

#include <cstdint>
#include <string>

namespace quorvane {

// Unpacks every file of the cabinet into targetDir, creating the subfolders stored with the
// names and giving each file the date and time stored in the cabinet. Stored names are
// untrusted: one that would lead outside targetDir ("..\x", or not a usable name) is not
// extracted. Each file is written to a temporary file first, so a damaged entry leaves an
// existing file of its name untouched. True when the cabinet could be read and every file
// was extracted. Subfolders are made without following a link. A cabinet whose files add up to
// more than maxBytes is not unpacked at all, and a write beyond it fails whatever the cabinet
// declares.
bool CabExtract(const std::string& cabPath, const std::string& targetDir, std::uint64_t maxBytes = MaxExpandedBytes);

}  // namespace quorvane
