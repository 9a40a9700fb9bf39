#include "app/file_naming.h"

#include "platform/work_folder.h"

namespace quorvane {

bool NextFreeRunName(const std::string& folder, const std::string& prefix, std::int64_t number,
                     const std::string& extension, std::int32_t& offset, std::string& name) {
    for (;;) {
        name = folder + prefix + std::to_string(number + offset) + "." + extension;
        if (!FileExists(name)) return true;
        if (offset >= NameOffsetLimit) return false;
        ++offset;
    }
}

std::string SafePrefix(const std::string& prefix) {
    std::string safe = prefix;
    for (char& c : safe) {
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
    }
    return safe;
}

std::string ExtensionWithDot(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return path.substr(dot);
}

std::string WithTrailingSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace quorvane
