#pragma once
// File names on the host made from names read off the medium. Those names are untrusted 8-bit
// text (Windows-1252, the low bytes of long-name characters): they may hold path separators,
// control bytes, or be "." or "..", none of which may reach a path.
#include <string>
#include <string_view>

namespace quorvane {

// The host file name for a name from the medium: valid UTF-8 (Windows-1252 decoded), "/" and "\"
// replaced by "_", control characters dropped, and never empty, "." or "..". Apply it after
// ReplaceDeletedChar.
std::string MediumNameToFileName(std::string_view Name);

}  // namespace quorvane
