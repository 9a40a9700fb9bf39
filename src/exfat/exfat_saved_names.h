#pragma once
// Host file names for exFAT names. exFAT spells names in UTF-16, so they reach the host in full
// (as UTF-8) instead of through the 8-bit form the FAT engine reads; they are made safe by the
// same rules: no separators or control characters, never empty, "." or "..", and short enough for
// a Linux file system with room for a " (n)" that makes them unique.
#include <cstdint>
#include <string>

namespace quorvane {

inline constexpr std::size_t ExFATSavedNameMaxBytes = 240;

// "/" and "\" become "_", control characters are dropped, and the name is cut at a character
// boundary to ExFATSavedNameMaxBytes, keeping its extension.
std::string ExFATSavedFileName(const std::string& Utf8Name);

// Name with " (Number)" before its extension.
std::string ExFATNumberedName(const std::string& Name, std::uint32_t Number);

}  // namespace quorvane
