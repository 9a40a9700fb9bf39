#include "exfat/exfat_saved_names.h"

namespace quorvane {

std::string ExFATSavedFileName(const std::string& Utf8Name) {
    std::string name;
    for (const char ch : Utf8Name) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x20 || b == 0x7F) continue;
        name += ch == '/' || ch == '\\' ? '_' : ch;
    }
    if (name.empty() || name == "." || name == "..") name = "_" + name;
    return ShortenedFileName(name);
}

}  // namespace quorvane
