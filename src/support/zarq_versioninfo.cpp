#include "support/zarq_versioninfo.h"

#include "support/version_block_format.h"
#include "support/version_resource.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <unistd.h>
#include <utility>

namespace quorvane {
namespace {

// Resource keys in the order they are read, and the names their lines get. LegalCopyright goes
// into the legal notice and FileDescription is read without being listed.
struct StringKey {
    const char* key;
    const char* name;  // nullptr: not added to the list
};

constexpr StringKey stringKeys[] = {
    {"Comments", "Comments"},
    {"CompanyName", "Company Name"},
    {"FileDescription", nullptr},
    {"InternalName", "Internal Name"},
    {"LegalCopyright", nullptr},
    {"LegalTradeMarks", "Legal Trademarks"},
    {"OriginalFileName", "Original Filename"},
    {"PrivateBuild", "Private Build"},
    {"ProductName", "Product Name"},
    {"ProductVersion", "Product Version"},
    {"SpecialBuild", "Special Build"},
    {"Author", "Author"},
};

// Only this table is read; strings stored under another language or code page are not found.
constexpr std::uint16_t tableLanguage = 1033;
constexpr std::uint16_t tableCodePage = 1252;

std::string stringTablePath() {
    char path[32];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\%04X%04X\\", tableLanguage, tableCodePage);
    return path;
}

std::string versionText(std::uint32_t ms, std::uint32_t ls) {
    return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) + "." +
           std::to_string(ls & 0xFFFF);
}

}  // namespace

std::string OperatingSystemText(std::uint32_t fileOS) {
    static constexpr std::pair<std::uint32_t, const char*> texts[] = {
        {0x1, "Windows 3.xx"},
        {0x2, "16-bit OS/2 Presentation Manager"},
        {0x3, "32-bit OS/2 Presentation Manager"},
        {0x4, "32-bit Windows"},
        {0x10000, "MS-DOS"},
        {0x10001, "Windows 3.xx with MS-DOS"},
        {0x10004, "32-bit Windows with MS-DOS"},
        {0x20000, "16-bit OS/2"},
        {0x20002, "16-bit OS/2 with Presentation Manager"},
        {0x30000, "32-bit OS/2"},
        {0x30003, "32-bit OS/2 with Presentation Manager"},
        {0x40000, "Windows NT"},
        {0x40004, "Windows NT with 32 bit Windows"},
    };
    for (const auto& [value, text] : texts)
        if (value == fileOS) return text;
    return "Unknown";
}

std::string FileTypeText(std::uint32_t fileType) {
    switch (fileType) {
        case 1: return "Application";
        case 2: return "Dynamic-Link Library";
        case 3: return "Device Driver";
        case 4: return "Font";
        case 5: return "Virtual Device Driver";
        case 7: return "Static-Link Library";
        default: return "Unknown";
    }
}

std::string OwnExecutablePath() {
    std::array<char, 4096> path{};
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) return {};
    return std::string(path.data(), static_cast<std::size_t>(n));
}

TZarq_VersionInfo::~TZarq_VersionInfo() { Values.clear(); }

void TZarq_VersionInfo::OpenVersionFile(const std::string& fileName) {
    FileName = fileName;
    if (!FileName.empty()) Read_VersionInfo();
}

void TZarq_VersionInfo::Read_VersionInfo() {
    std::uint32_t handle = 0;
    const std::uint32_t size = GetFileVersionInfoSizeA(FileName.c_str(), &handle);
    if (size == 0) return;
    std::vector<std::uint8_t> block(size);
    if (GetFileVersionInfoA(FileName.c_str(), handle, size, block.data())) Decode_VersionInfo(block.data());
}

void TZarq_VersionInfo::Decode_VersionInfo(void* block) {
    const void* value = nullptr;
    std::uint32_t length = 0;
    if (!VerQueryValueA(block, "\\", &value, &length)) return;
    const auto fixed = DecodeFixedFileInfo({static_cast<const std::uint8_t*>(value), length});
    if (!fixed) return;  // a resource without its fixed information

    Values.push_back("ProductVersion=" + versionText(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
    Values.push_back("OperatingSystem=" + OperatingSystemText(fixed->dwFileOS));
    Values.push_back("FileType=" + FileTypeText(fixed->dwFileType));

    const std::string table = stringTablePath();
    for (const StringKey& key : stringKeys) {
        if (!VerQueryValueA(block, (table + key.key).c_str(), &value, &length)) continue;
        const auto* text = static_cast<const char*>(value);
        const std::string s(text, strnlen(text, length));
        if (std::strcmp(key.key, "LegalCopyright") == 0)
            LegalNotice = s;
        else if (key.name != nullptr)
            Values.push_back(std::string(key.name) + "=" + s);
    }
}

std::string TZarq_VersionInfo::Value(const std::string& name) const {
    for (const std::string& line : Values) {
        const std::size_t eq = line.find('=');
        if (eq == name.size() && strncasecmp(line.c_str(), name.c_str(), eq) == 0) return line.substr(eq + 1);
    }
    return {};
}

}  // namespace quorvane
