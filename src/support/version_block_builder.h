#pragma once
// Writes a version resource block (layout in version_block_format.h). Everything here is
// constexpr, so the build turns the program's own block into constant bytes of the executable;
// the tests use the same builder at run time for hand-made blocks.
#include "support/version_block_format.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace quorvane {

struct VersionString {
    std::string_view key;
    std::string_view value;  // UTF-8
};

// One string table, named by its language and code page ("040904E4").
struct VersionStringTable {
    std::uint16_t language = 0x0409;
    std::uint16_t codePage = 0x04E4;
    std::span<const VersionString> strings;
};

struct VersionBlockSpec {
    std::optional<VsFixedFileInfo> fixed = VsFixedFileInfo{};
    std::span<const VersionStringTable> tables;
    bool translation = true;  // a VarFileInfo\Translation entry listing the tables
};

namespace version_block_detail {

using Bytes = std::vector<std::uint8_t>;

constexpr void put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

constexpr void put32(Bytes& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

constexpr void pad4(Bytes& out) {
    while (out.size() % 4 != 0) out.push_back(0);
}

// UTF-8 to UTF-16 code units; a malformed sequence becomes U+FFFD.
constexpr std::vector<std::uint16_t> utf16(std::string_view s) {
    std::vector<std::uint16_t> units;
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<std::uint8_t>(s[i]);
        // extra: continuation bytes after the lead byte; 4 marks a byte that cannot lead.
        const std::size_t extra = b0 < 0x80 ? 0 : (b0 & 0xE0) == 0xC0 ? 1 : (b0 & 0xF0) == 0xE0 ? 2 : (b0 & 0xF8) == 0xF0 ? 3 : 4;
        std::uint32_t cp = extra == 0 ? b0 : extra == 1 ? (b0 & 0x1Fu) : extra == 2 ? (b0 & 0x0Fu) : (b0 & 0x07u);
        bool ok = extra < 4;
        for (std::size_t k = 1; ok && k <= extra; ++k) {
            if (i + k >= s.size() || (static_cast<std::uint8_t>(s[i + k]) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (static_cast<std::uint8_t>(s[i + k]) & 0x3Fu);
        }
        constexpr std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000, 0};
        if (ok && cp < smallest[extra]) ok = false;  // overlong form
        if (!ok || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            units.push_back(0xFFFD);
            ++i;
            continue;
        }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(cp));
        }
    }
    return units;
}

// Writes a node header and its key; returns where the node starts, for finishNode.
constexpr std::size_t beginNode(Bytes& out, std::string_view key, std::uint16_t valueLength, std::uint16_t type) {
    pad4(out);
    const std::size_t start = out.size();
    put16(out, 0);  // wLength, patched by finishNode
    put16(out, valueLength);
    put16(out, type);
    for (std::uint16_t u : utf16(key)) put16(out, u);
    put16(out, 0);
    pad4(out);
    return start;
}

constexpr void finishNode(Bytes& out, std::size_t start) {
    const std::size_t length = out.size() - start;
    out[start] = static_cast<std::uint8_t>(length & 0xFF);
    out[start + 1] = static_cast<std::uint8_t>((length >> 8) & 0xFF);
}

constexpr void putHex4(std::array<char, 8>& name, std::size_t at, std::uint16_t v) {
    constexpr char digits[] = "0123456789ABCDEF";
    for (std::size_t k = 0; k < 4; ++k) name[at + k] = digits[(v >> (12 - 4 * k)) & 0xF];
}

constexpr void putString(Bytes& out, const VersionString& s) {
    const std::vector<std::uint16_t> value = utf16(s.value);
    const std::size_t start = beginNode(out, s.key, static_cast<std::uint16_t>(value.size() + 1), VersionValueText);
    for (std::uint16_t u : value) put16(out, u);
    put16(out, 0);
    finishNode(out, start);
}

constexpr void putTable(Bytes& out, const VersionStringTable& table) {
    std::array<char, 8> name{};
    putHex4(name, 0, table.language);
    putHex4(name, 4, table.codePage);
    const std::size_t start = beginNode(out, std::string_view(name.data(), name.size()), 0, VersionValueText);
    for (const VersionString& s : table.strings) putString(out, s);
    finishNode(out, start);
}

}  // namespace version_block_detail

// The bytes of a VS_VERSIONINFO block as a Windows resource compiler lays them out.
constexpr std::vector<std::uint8_t> BuildVersionBlock(const VersionBlockSpec& spec) {
    using namespace version_block_detail;
    Bytes out;
    const std::size_t root =
        beginNode(out, "VS_VERSION_INFO", spec.fixed ? VsFixedFileInfoSize : 0, VersionValueBinary);
    if (spec.fixed) {
        const VsFixedFileInfo& f = *spec.fixed;
        for (std::uint32_t v : {f.dwSignature, f.dwStrucVersion, f.dwFileVersionMS, f.dwFileVersionLS,
                                f.dwProductVersionMS, f.dwProductVersionLS, f.dwFileFlagsMask, f.dwFileFlags,
                                f.dwFileOS, f.dwFileType, f.dwFileSubtype, f.dwFileDateMS, f.dwFileDateLS})
            put32(out, v);
    }
    if (!spec.tables.empty()) {
        const std::size_t sfi = beginNode(out, "StringFileInfo", 0, VersionValueText);
        for (const VersionStringTable& t : spec.tables) putTable(out, t);
        finishNode(out, sfi);
    }
    if (spec.translation && !spec.tables.empty()) {
        const std::size_t vfi = beginNode(out, "VarFileInfo", 0, VersionValueText);
        const std::size_t tr =
            beginNode(out, "Translation", static_cast<std::uint16_t>(4 * spec.tables.size()), VersionValueBinary);
        for (const VersionStringTable& t : spec.tables) {
            put16(out, t.language);
            put16(out, t.codePage);
        }
        finishNode(out, tr);
        finishNode(out, vfi);
    }
    finishNode(out, root);
    return out;
}

// The pair of double words of a version a.b.c.d.
constexpr std::uint32_t VersionMS(std::uint32_t a, std::uint32_t b) { return (a << 16) | (b & 0xFFFF); }
constexpr std::uint32_t VersionLS(std::uint32_t c, std::uint32_t d) { return (c << 16) | (d & 0xFFFF); }

}  // namespace quorvane
