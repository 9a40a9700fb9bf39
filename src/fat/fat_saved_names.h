#pragma once
// The names under which recovered files are created on the host.
#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvane {

// Longest name a recovered file gets, in bytes: below the 255 that Linux file systems allow, with
// room for a " (n)" that makes it unique.
inline constexpr std::size_t SavedNameMaxBytes = 240;

// The host name for a name read from the medium: the deleted marker replaced
// (ReplaceDeletedChar), made safe (MediumNameToFileName), and shortened to SavedNameMaxBytes
// at a character boundary, keeping the extension.
std::string SavedFileName(const std::string& MediumName);

// Name with " (Number)" before its extension: "IMG_0001 (2).JPG", "README (3)", ".hidden (2)".
std::string NumberedFileName(const std::string& Name, std::uint32_t Number);

}  // namespace quorvane
