#pragma once
// The names under which recovered files are created on the host.
#include <string>

#include "support/host_file_names.h"

namespace quorvane {

// The host name for a name read from the medium: the deleted marker replaced
// (ReplaceDeletedChar), made safe (MediumNameToFileName), and shortened (ShortenedFileName).
std::string SavedFileName(const std::string& MediumName);

}  // namespace quorvane
