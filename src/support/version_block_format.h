#pragma once
// The published layout of a version resource (VS_VERSIONINFO): a tree of nodes, each
//   WORD wLength (bytes of the node with its children), WORD wValueLength (bytes for binary
//   values, UTF-16 units for text values), WORD wType (0 binary, 1 text), UTF-16 key with its
//   zero, padding to 4 bytes, the value, padding to 4 bytes, the children.
// The root's key is "VS_VERSION_INFO" and its value the 52-byte fixed file information;
// its children are "StringFileInfo" (string tables named by language and code page, e.g.
// "040904E4") and "VarFileInfo" (the "Translation" list). Everything is little-endian.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace quorvane {

inline constexpr std::uint32_t VsFixedFileInfoSignature = 0xFEEF04BD;
inline constexpr std::size_t VsFixedFileInfoSize = 52;
inline constexpr std::size_t VersionNodeHeaderSize = 6;

inline constexpr std::uint16_t VersionValueBinary = 0;
inline constexpr std::uint16_t VersionValueText = 1;

// File types (dwFileType) and operating systems (dwFileOS) used by this program's own block.
inline constexpr std::uint32_t VftApp = 1;
inline constexpr std::uint32_t VosUnknown = 0;

// The fixed file information in host order.
struct VsFixedFileInfo {
    std::uint32_t dwSignature = VsFixedFileInfoSignature;
    std::uint32_t dwStrucVersion = 0x00010000;
    std::uint32_t dwFileVersionMS = 0;
    std::uint32_t dwFileVersionLS = 0;
    std::uint32_t dwProductVersionMS = 0;
    std::uint32_t dwProductVersionLS = 0;
    std::uint32_t dwFileFlagsMask = 0x3F;
    std::uint32_t dwFileFlags = 0;
    std::uint32_t dwFileOS = VosUnknown;
    std::uint32_t dwFileType = VftApp;
    std::uint32_t dwFileSubtype = 0;
    std::uint32_t dwFileDateMS = 0;
    std::uint32_t dwFileDateLS = 0;
};

constexpr std::size_t AlignVersion4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

constexpr std::uint16_t VersionLe16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

constexpr std::uint32_t VersionLe32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// Decodes the 52 bytes of a fixed file information record; nullopt when fewer bytes are given.
// The signature is not checked here: callers that care compare dwSignature.
inline std::optional<VsFixedFileInfo> DecodeFixedFileInfo(std::span<const std::uint8_t> b) {
    if (b.size() < VsFixedFileInfoSize) return std::nullopt;
    VsFixedFileInfo f;
    std::uint32_t* fields[] = {&f.dwSignature,      &f.dwStrucVersion,     &f.dwFileVersionMS, &f.dwFileVersionLS,
                               &f.dwProductVersionMS, &f.dwProductVersionLS, &f.dwFileFlagsMask, &f.dwFileFlags,
                               &f.dwFileOS,         &f.dwFileType,         &f.dwFileSubtype,   &f.dwFileDateMS,
                               &f.dwFileDateLS};
    for (std::size_t i = 0; i < std::size(fields); ++i) *fields[i] = VersionLe32(b, i * 4);
    return f;
}

}  // namespace quorvane
