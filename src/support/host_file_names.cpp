#include "support/host_file_names.h"

namespace quorvane {

namespace {

// Extensions longer than this are part of the name as far as shortening goes.
constexpr std::size_t LongestKeptExtension = 16;

// Where the extension starts (its dot), or npos. A leading dot starts a name, not an extension.
std::size_t ExtensionStart(const std::string& Name) {
    const std::size_t dot = Name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string::npos : dot;
}

// Text cut to at most Bytes bytes without splitting a UTF-8 sequence.
std::string CutUtf8(const std::string& Text, std::size_t Bytes) {
    if (Text.size() <= Bytes) return Text;
    std::size_t end = Bytes;
    while (end > 0 && (static_cast<unsigned char>(Text[end]) & 0xC0) == 0x80) --end;
    return Text.substr(0, end);
}

}  // namespace

std::string ShortenedFileName(const std::string& Name) {
    if (Name.size() <= SavedNameMaxBytes) return Name;
    std::size_t dot = ExtensionStart(Name);
    if (dot != std::string::npos && Name.size() - dot > LongestKeptExtension) dot = std::string::npos;
    if (dot == std::string::npos) return CutUtf8(Name, SavedNameMaxBytes);
    const std::string extension = Name.substr(dot);
    return CutUtf8(Name.substr(0, dot), SavedNameMaxBytes - extension.size()) + extension;
}

std::string NumberedFileName(const std::string& Name, std::uint32_t Number) {
    const std::string suffix = " (" + std::to_string(Number) + ")";
    const std::size_t dot = ExtensionStart(Name);
    if (dot == std::string::npos) return Name + suffix;
    return Name.substr(0, dot) + suffix + Name.substr(dot);
}

}  // namespace quorvane
