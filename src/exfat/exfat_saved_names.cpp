#include "exfat/exfat_saved_names.h"

namespace quorvane {

namespace {

constexpr std::size_t LongestKeptExtension = 16;

std::size_t ExtensionStart(const std::string& Name) {
    const std::size_t dot = Name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string::npos : dot;
}

std::string CutUtf8(const std::string& Text, std::size_t Bytes) {
    if (Text.size() <= Bytes) return Text;
    std::size_t end = Bytes;
    while (end > 0 && (static_cast<unsigned char>(Text[end]) & 0xC0) == 0x80) --end;
    return Text.substr(0, end);
}

}  // namespace

std::string ExFATSavedFileName(const std::string& Utf8Name) {
    std::string name;
    for (const char ch : Utf8Name) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x20 || b == 0x7F) continue;
        name += ch == '/' || ch == '\\' ? '_' : ch;
    }
    if (name.empty() || name == "." || name == "..") name = "_" + name;
    if (name.size() <= ExFATSavedNameMaxBytes) return name;
    std::size_t dot = ExtensionStart(name);
    if (dot != std::string::npos && name.size() - dot > LongestKeptExtension) dot = std::string::npos;
    if (dot == std::string::npos) return CutUtf8(name, ExFATSavedNameMaxBytes);
    const std::string extension = name.substr(dot);
    return CutUtf8(name.substr(0, dot), ExFATSavedNameMaxBytes - extension.size()) + extension;
}

std::string ExFATNumberedName(const std::string& Name, std::uint32_t Number) {
    const std::string suffix = " (" + std::to_string(Number) + ")";
    const std::size_t dot = ExtensionStart(Name);
    if (dot == std::string::npos) return Name + suffix;
    return Name.substr(0, dot) + suffix + Name.substr(dot);
}

}  // namespace quorvane
