#pragma once
// The length rules of the names under which recovered files are created on the host, shared by
// the file systems that read names from a card.
#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvane {

// Longest name a recovered file gets, in bytes: below the 255 that Linux file systems allow, with
// room for a " (n)" that makes it unique.
inline constexpr std::size_t SavedNameMaxBytes = 240;

// Name (UTF-8) cut to SavedNameMaxBytes at a character boundary, keeping its extension (up to 16
// bytes; a longer one counts as part of the name).
std::string ShortenedFileName(const std::string& Name);

// Name with " (Number)" before its extension: "IMG_0001 (2).JPG", "README (3)", ".hidden (2)".
std::string NumberedFileName(const std::string& Name, std::uint32_t Number);

}  // namespace quorvane
