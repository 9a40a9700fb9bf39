#pragma once
// Host file names for exFAT names. exFAT spells names in UTF-16, so they reach the host in full
// (as UTF-8) instead of through the 8-bit form the FAT engine reads; they are made safe by the
// same rules: no separators or control characters, never empty, "." or "..", and short enough for
// a Linux file system with room for a " (n)" that makes them unique.
#include <string>

#include "support/host_file_names.h"

namespace quorvane {

// "/" and "\" become "_", control characters are dropped, and the name is shortened
// (ShortenedFileName).
std::string ExFATSavedFileName(const std::string& Utf8Name);

}  // namespace quorvane
