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

std::optional<bool> BeginsAsNamed(std::string_view fileName, std::span<const std::uint8_t> data) {
    const std::string_view extension = FileNameExtension(fileName);
    const MediaFormat* named = extension.empty() ? nullptr : FindMediaFormat(extension.substr(1));
    if (named == nullptr) return std::nullopt;
    const LeadingBytes head(data);
    bool anyRule = false;
    for (const MediaFormat& format : MediaFormats) {
        if (format.kind != named->kind) continue;
        for (const SignatureRule& rule : format.signature) {
            if (rule.test == nullptr) continue;
            anyRule = true;
            if (rule.test(head)) return true;
        }
    }
    if (!anyRule) return std::nullopt;
    return false;
}

}  // namespace quorvane
