#pragma once
// Names of recovered files: prefix + number + extension, stepping past names already taken.
#include <cstdint>
#include <string>

namespace quorvane {

// A run gives up on a name after stepping past this many taken ones.
inline constexpr std::int32_t NameOffsetLimit = 100'000;

// folder + prefix + (number + offset) + "." + extension, raising offset while that name
// exists. False when the limit was reached and every name tried was taken. The offset is
// the caller's and carries over to later files of the same run.
bool NextFreeRunName(const std::string& folder, const std::string& prefix, std::int64_t number,
                     const std::string& extension, std::int32_t& offset, std::string& name);

// The name prefix typed by the user, made safe to put into a path: no separators.
std::string SafePrefix(const std::string& prefix);

// The extension of path with its dot (".JPG"), or "" when its file name has none.
std::string ExtensionWithDot(const std::string& path);

// folder with a '/' at its end.
std::string WithTrailingSlash(std::string folder);

}  // namespace quorvane
