// Finds the version section in an ELF file through its section header table.
#include "support/version_resource.h"
#include "support/version_resource_file.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace quorvane::version_file {
namespace {

// A resource block cannot be longer than its 16-bit length field says.
constexpr std::uint64_t maxVersionBytes = 0xFFFF;
// Section names are short; a larger name table is not read whole.
constexpr std::uint64_t maxNameTableBytes = 1 << 20;
constexpr std::uint64_t maxSections = 0xFFFF;

struct Reader {
    std::span<const std::uint8_t> b;
    bool big = false;
    std::uint64_t u16(std::size_t at) const {
        return big ? (std::uint64_t{b[at]} << 8) | b[at + 1] : b[at] | (std::uint64_t{b[at + 1]} << 8);
    }
    std::uint64_t u32(std::size_t at) const {
        return big ? (u16(at) << 16) | u16(at + 2) : u16(at) | (u16(at + 2) << 16);
    }
    std::uint64_t u64(std::size_t at) const {
        return big ? (u32(at) << 32) | u32(at + 4) : u32(at) | (u32(at + 4) << 32);
    }
};

struct SectionHeader {
    std::uint64_t name = 0;
    std::uint64_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint64_t link = 0;
};

constexpr std::uint64_t shtNobits = 8;

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadElfVersionSection(const PositionalFile& file) {
    const auto ident = file.Read(0, 64);
    if (!ident) return std::nullopt;
    const bool is64 = (*ident)[4] == 2;
    if ((*ident)[4] != 1 && !is64) return std::nullopt;
    if ((*ident)[5] != 1 && (*ident)[5] != 2) return std::nullopt;
    Reader h{*ident, (*ident)[5] == 2};

    const std::uint64_t shoff = is64 ? h.u64(0x28) : h.u32(0x20);
    const std::uint64_t shentsize = h.u16(is64 ? 0x3A : 0x2E);
    std::uint64_t shnum = h.u16(is64 ? 0x3C : 0x30);
    std::uint64_t shstrndx = h.u16(is64 ? 0x3E : 0x32);
    const std::uint64_t minEntry = is64 ? 64 : 40;
    if (shoff == 0 || shentsize < minEntry) return std::nullopt;

    auto readHeader = [&](std::uint64_t index) -> std::optional<SectionHeader> {
        if (index > maxSections) return std::nullopt;
        const auto raw = file.Read(shoff + index * shentsize, minEntry);
        if (!raw) return std::nullopt;
        Reader r{*raw, h.big};
        SectionHeader s;
        s.name = r.u32(0);
        s.type = r.u32(4);
        s.offset = is64 ? r.u64(0x18) : r.u32(0x10);
        s.size = is64 ? r.u64(0x20) : r.u32(0x14);
        s.link = r.u32(is64 ? 0x28 : 0x18);
        return s;
    };

    // Files with very many sections keep the real count and name-table index in section 0.
    if (shnum == 0 || shstrndx == 0xFFFF) {
        const auto first = readHeader(0);
        if (!first) return std::nullopt;
        if (shnum == 0) shnum = first->size;
        if (shstrndx == 0xFFFF) shstrndx = first->link;
    }
    if (shnum > maxSections || shstrndx >= shnum) return std::nullopt;

    const auto names = readHeader(shstrndx);
    if (!names || names->size > maxNameTableBytes) return std::nullopt;
    const auto nameTable = file.Read(names->offset, names->size);
    if (!nameTable) return std::nullopt;

    const std::string_view wanted(ElfVersionSectionName);
    for (std::uint64_t i = 0; i < shnum; ++i) {
        const auto section = readHeader(i);
        if (!section) return std::nullopt;
        if (section->name >= nameTable->size()) continue;
        const char* name = reinterpret_cast<const char*>(nameTable->data() + section->name);
        const std::size_t room = nameTable->size() - section->name;
        if (std::string_view(name, strnlen(name, room)) != wanted) continue;
        if (section->type == shtNobits || section->size == 0) return std::nullopt;
        return file.Read(section->offset, std::min(section->size, maxVersionBytes));
    }
    return std::nullopt;
}

}  // namespace quorvane::version_file
