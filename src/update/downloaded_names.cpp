#include "update/downloaded_names.h"

#include <cctype>
#include <cstdint>

namespace quorvane {
namespace {

bool isUnsafeByte(unsigned char c) { return c < 0x20 || c == 0x7F || c == '/' || c == '\\'; }

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Windows-1252 bytes 0x80..0x9F; 0xFFFD where the code page defines nothing.
constexpr std::uint16_t cp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

}  // namespace

std::string SafeFileName(std::string_view name) {
    std::string safe;
    for (char c : name)
        if (!isUnsafeByte(static_cast<unsigned char>(c))) safe += c;
    if (safe == "." || safe == "..") return {};
    return safe;
}

std::string URLtoFile(std::string_view url) {
    const std::size_t end = url.find_first_of("?#");
    if (end != std::string_view::npos) url = url.substr(0, end);
    const std::size_t slash = url.find_last_of("/\\");
    if (slash != std::string_view::npos) url.remove_prefix(slash + 1);
    return SafeFileName(url);
}

std::string SafeRelativePath(std::string_view storedPath) {
    std::string path;
    while (!storedPath.empty()) {
        const std::size_t sep = storedPath.find_first_of("/\\");
        const std::string_view part = storedPath.substr(0, sep);
        storedPath = sep == std::string_view::npos ? std::string_view{} : storedPath.substr(sep + 1);
        if (part.empty() || part == ".") continue;
        const std::string safe = SafeFileName(part);
        if (safe.empty() || safe.size() != part.size()) return {};
        if (!path.empty()) path += '/';
        path += safe;
    }
    return path;
}

std::string Windows1252ToUtf8(std::string_view text) {
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        appendUtf8(out, c >= 0x80 && c < 0xA0 ? cp1252High[c - 0x80] : c);
    }
    return out;
}

std::string ExpandedLZName(std::string_view compressedName, char missingChar) {
    std::string name(compressedName);
    if (name.empty() || name.back() != '_') return name;
    name.pop_back();
    const auto c = static_cast<unsigned char>(missingChar);
    if (c == 0 || c == '.' || isUnsafeByte(c) || c >= 0x80) return SafeFileName(name).empty() ? std::string(compressedName) : name;

    bool hasLower = false;
    bool hasUpper = false;
    for (char n : name) {
        hasLower = hasLower || std::islower(static_cast<unsigned char>(n));
        hasUpper = hasUpper || std::isupper(static_cast<unsigned char>(n));
    }
    char kept = static_cast<char>(c);
    if (hasLower && !hasUpper) kept = static_cast<char>(std::tolower(c));
    if (hasUpper && !hasLower) kept = static_cast<char>(std::toupper(c));
    return name + kept;
}

std::string UpperExtension(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos) return {};
    std::string ext(fileName.substr(dot));
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext;
}

}  // namespace quorvane
