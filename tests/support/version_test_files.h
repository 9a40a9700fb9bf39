#pragma once
// Test fixtures for version resources: minimal ELF files that carry a block in the section the
// reader looks for, in either ELF class and byte order.
#include "support/version_block_builder.h"
#include "support/version_resource.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::testing {

struct ElfLayout {
    bool is64 = true;
    bool bigEndian = false;
};

class ElfWriter {
public:
    explicit ElfWriter(ElfLayout layout) : layout_(layout) {}

    // An ELF file with no program headers and three sections: the null section, the named
    // section holding data, and the section name table.
    std::vector<std::uint8_t> Build(std::string_view sectionName, const std::vector<std::uint8_t>& data) {
        const std::size_t headerSize = layout_.is64 ? 64 : 52;
        const std::size_t entrySize = layout_.is64 ? 64 : 40;
        std::string names;
        names += '\0';
        const std::size_t dataName = names.size();
        names += sectionName;
        names += '\0';
        const std::size_t tableName = names.size();
        names += ".shstrtab";
        names += '\0';

        const std::size_t dataOffset = headerSize;
        const std::size_t namesOffset = dataOffset + data.size();
        const std::size_t sectionsOffset = (namesOffset + names.size() + 7) & ~std::size_t{7};

        out_.assign(sectionsOffset, 0);
        const std::uint8_t ident[] = {0x7F, 'E', 'L', 'F', static_cast<std::uint8_t>(layout_.is64 ? 2 : 1),
                                      static_cast<std::uint8_t>(layout_.bigEndian ? 2 : 1), 1};
        std::copy(std::begin(ident), std::end(ident), out_.begin());
        put(16, 2, 1);   // e_type: relocatable
        put(18, 2, layout_.is64 ? 62 : 3);
        put(20, 4, 1);
        if (layout_.is64) {
            put(0x28, 8, sectionsOffset);
            put(0x34, 2, headerSize);
            put(0x3A, 2, entrySize);
            put(0x3C, 2, 3);
            put(0x3E, 2, 2);
        } else {
            put(0x20, 4, sectionsOffset);
            put(0x28, 2, headerSize);
            put(0x2E, 2, entrySize);
            put(0x30, 2, 3);
            put(0x32, 2, 2);
        }
        std::copy(data.begin(), data.end(), out_.begin() + static_cast<std::ptrdiff_t>(dataOffset));
        std::copy(names.begin(), names.end(), out_.begin() + static_cast<std::ptrdiff_t>(namesOffset));

        out_.resize(sectionsOffset + 3 * entrySize, 0);
        section(sectionsOffset + entrySize, dataName, 1, dataOffset, data.size());
        section(sectionsOffset + 2 * entrySize, tableName, 3, namesOffset, names.size());
        return out_;
    }

private:
    void put(std::size_t at, int width, std::uint64_t v) {
        for (int i = 0; i < width; ++i) {
            const int shift = layout_.bigEndian ? 8 * (width - 1 - i) : 8 * i;
            out_[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((v >> shift) & 0xFF);
        }
    }

    void section(std::size_t at, std::size_t name, std::uint32_t type, std::size_t offset, std::size_t size) {
        put(at, 4, name);
        put(at + 4, 4, type);
        if (layout_.is64) {
            put(at + 0x18, 8, offset);
            put(at + 0x20, 8, size);
        } else {
            put(at + 0x10, 4, offset);
            put(at + 0x14, 4, size);
        }
    }

    ElfLayout layout_;
    std::vector<std::uint8_t> out_;
};

// A private folder under the temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvane-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Writes an ELF file whose version section holds the block of spec.
inline void WriteVersionedElf(const std::string& path, const VersionBlockSpec& spec, ElfLayout layout = {}) {
    WriteBytes(path, ElfWriter(layout).Build(ElfVersionSectionName, BuildVersionBlock(spec)));
}

inline VsFixedFileInfo FixedVersion(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    VsFixedFileInfo f;
    f.dwFileVersionMS = f.dwProductVersionMS = VersionMS(a, b);
    f.dwFileVersionLS = f.dwProductVersionLS = VersionLS(c, d);
    return f;
}

}  // namespace quorvane::testing
