// Finds the RT_VERSION resource of a Windows PE file: DOS header, PE header, the resource data
// directory, then the three levels of the resource tree (type, name, language).
#include "support/version_resource_file.h"

#include <algorithm>

namespace quorvane::version_file {
namespace {

constexpr std::uint32_t rtVersion = 16;
constexpr std::uint32_t highBit = 0x80000000u;
constexpr std::uint64_t maxVersionBytes = 0xFFFF;
constexpr std::uint64_t maxSections = 96;  // the loader's own limit
constexpr std::size_t resourceDirectoryIndex = 2;

std::uint32_t le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) { return le16(b, at) | (le16(b, at + 2) << 16); }

struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
};

class PeImage {
public:
    explicit PeImage(const PositionalFile& file) : file_(file) {}

    bool Load() {
        const auto dos = file_.Read(0, 64);
        if (!dos) return false;
        const std::uint64_t peOffset = le32(*dos, 0x3C);
        const auto pe = file_.Read(peOffset, 24);
        if (!pe || (*pe)[0] != 'P' || (*pe)[1] != 'E' || (*pe)[2] != 0 || (*pe)[3] != 0) return false;
        const std::uint32_t sectionCount = le16(*pe, 6);
        const std::uint32_t optionalSize = le16(*pe, 20);
        if (sectionCount > maxSections) return false;

        const auto optional = file_.Read(peOffset + 24, optionalSize);
        if (!optional || optionalSize < 2) return false;
        const std::uint32_t magic = le16(*optional, 0);
        const std::size_t countAt = magic == 0x20B ? 108 : magic == 0x10B ? 92 : 0;
        if (countAt == 0 || optionalSize < countAt + 4) return false;
        const std::uint32_t directoryCount = le32(*optional, countAt);
        const std::size_t directoryAt = countAt + 4 + resourceDirectoryIndex * 8;
        if (directoryCount <= resourceDirectoryIndex || optionalSize < directoryAt + 8) return false;
        resourceRva_ = le32(*optional, directoryAt);
        if (resourceRva_ == 0) return false;

        const auto table = file_.Read(peOffset + 24 + optionalSize, std::uint64_t{sectionCount} * 40);
        if (!table) return false;
        for (std::uint32_t i = 0; i < sectionCount; ++i) {
            const std::size_t at = std::size_t{i} * 40;
            sections_.push_back({le32(*table, at + 12), le32(*table, at + 8), le32(*table, at + 16), le32(*table, at + 20)});
        }
        return true;
    }

    // The file offset of count bytes at a relative virtual address, when they are stored in the file.
    std::optional<std::uint64_t> FileOffset(std::uint64_t rva, std::uint64_t count) const {
        for (const Section& s : sections_) {
            const std::uint64_t span = std::max(s.virtualSize, s.rawSize);
            if (rva < s.virtualAddress || rva - s.virtualAddress >= span) continue;
            const std::uint64_t into = rva - s.virtualAddress;
            if (into + count > s.rawSize) return std::nullopt;
            return s.rawOffset + into;
        }
        return std::nullopt;
    }

    std::optional<std::vector<std::uint8_t>> ReadRva(std::uint64_t rva, std::uint64_t count) const {
        const auto offset = FileOffset(rva, count);
        if (!offset) return std::nullopt;
        return file_.Read(*offset, count);
    }

    // The OffsetToData field of the entry that matches id (any entry when id is empty) in the
    // directory at offset inside the resource tree.
    std::optional<std::uint32_t> FindEntry(std::uint32_t offset, std::optional<std::uint32_t> id) const {
        const auto header = ReadRva(std::uint64_t{resourceRva_} + offset, 16);
        if (!header) return std::nullopt;
        const std::uint64_t count = std::uint64_t{le16(*header, 12)} + le16(*header, 14);
        if (count == 0) return std::nullopt;
        const auto entries = ReadRva(std::uint64_t{resourceRva_} + offset + 16, count * 8);
        if (!entries) return std::nullopt;
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint32_t name = le32(*entries, i * 8);
            if (!id || ((name & highBit) == 0 && name == *id)) return le32(*entries, i * 8 + 4);
        }
        return std::nullopt;
    }

    std::uint32_t ResourceRva() const { return resourceRva_; }

private:
    const PositionalFile& file_;
    std::uint32_t resourceRva_ = 0;
    std::vector<Section> sections_;
};

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadPeVersionResource(const PositionalFile& file) {
    PeImage image(file);
    if (!image.Load()) return std::nullopt;

    // Type, then name, then language: the first two must lead to directories, the last to data.
    const auto byType = image.FindEntry(0, rtVersion);
    if (!byType || (*byType & highBit) == 0) return std::nullopt;
    const auto byName = image.FindEntry(*byType & ~highBit, std::nullopt);
    if (!byName || (*byName & highBit) == 0) return std::nullopt;
    const auto byLanguage = image.FindEntry(*byName & ~highBit, std::nullopt);
    if (!byLanguage || (*byLanguage & highBit) != 0) return std::nullopt;

    const auto dataEntry = image.ReadRva(std::uint64_t{image.ResourceRva()} + *byLanguage, 16);
    if (!dataEntry) return std::nullopt;
    const std::uint32_t dataRva = le32(*dataEntry, 0);
    const std::uint32_t dataSize = le32(*dataEntry, 4);
    return image.ReadRva(dataRva, std::min<std::uint64_t>(dataSize, maxVersionBytes));
}

}  // namespace quorvane::version_file
