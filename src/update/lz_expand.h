#pragma once
// Expansion of files compressed with the LZ (SZDD) method of COMPRESS.EXE.
#include "update/capped_mspack_system.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quorvane {

// Expands compressedPath in its own folder under the name its header keeps (ExpandedLZName)
// and deletes the compressed file. A file that is not in SZDD form is taken as already
// expanded, as the platform's LZ functions copy such files unchanged, and stays as it is.
// Answers the path of the expanded file; nullopt when the data is damaged, in which case the
// compressed file and any file of the expanded name are left untouched.
//
// With a source, the data is read from there (a download not yet in place) and the result is
// named as if it stood at compressedPath: a damaged download then never reaches compressedPath
// or the expanded name. The source is moved or deleted in every case.
//
// A file that would expand to more than maxBytes counts as damaged.
std::optional<std::string> ExpandLZFile(const std::string& compressedPath, const std::string& source = {},
                                        std::uint64_t maxBytes = MaxExpandedBytes);

}  // namespace quorvane
