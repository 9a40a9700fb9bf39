#include "media/filedet.h"

#include <span>

#include "media/format_rules.h"

namespace quorvane {

std::string_view FileNameExtension(std::string_view fileName) {
    const auto dot = fileName.rfind('.');
    if (dot == std::string_view::npos) return {};
    return fileName.substr(dot);
}

bool IsMediaExtension(std::string_view dottedExtension) {
    if (dottedExtension.empty() || dottedExtension.front() != '.') return false;
    const MediaFormat* format = FindMediaFormat(dottedExtension.substr(1));
    return format != nullptr && format->listed;
}

bool IsMediaFileName(std::string_view fileName) {
    const std::string_view extension = FileNameExtension(fileName);
    return !extension.empty() && IsMediaExtension(extension);
}

bool IsFile(const std::uint8_t* data, std::uint32_t size, std::string& ext, std::uint8_t& type) {
    type = IsFileTypeValue;
    if (data == nullptr) return false;
    try {
        const LeadingBytes head(std::span<const std::uint8_t>(data, size));
        return SetFirstMatchingExtension<SignatureRulesInOrder>(ext, head);
    } catch (...) {
        return false;
    }
}

}  // namespace quorvane
