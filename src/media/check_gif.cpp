// GIF: header, logical screen descriptor and global colour table, then extension and image
// blocks with their sub-blocks, up to the trailer 0x3B as the file's last byte. A wrong byte in
// the picture data throws the sub-block lengths off, so the walk then fails to land on it.
#include <cstring>

#include "media/format_checks.h"

namespace quorvane {
namespace {

constexpr std::uint8_t ExtensionIntroducer = 0x21;
constexpr std::uint8_t ImageSeparator = 0x2C;
constexpr std::uint8_t Trailer = 0x3B;

// Steps over a chain of sub-blocks (a length byte, that many bytes) and its zero terminator.
// Every step moves forward, so the chain ends within the file's size.
bool SkipSubBlocks(ContentFile& file, std::uint64_t& at) {
    while (true) {
        std::uint8_t length = 0;
        if (!file.u8(at, length)) return false;
        at += 1 + std::uint64_t{length};
        if (length == 0) return true;
    }
}

std::uint64_t ColourTableBytes(std::uint8_t packed) {
    return (packed & 0x80) != 0 ? 3 * (std::uint64_t{2} << (packed & 0x07)) : 0;
}

}  // namespace

TFileCondition CheckGifFile(ContentFile& file) {
    std::uint8_t header[13];
    if (!file.read(0, header, sizeof header)) return TFileCondition::Damaged;
    if (std::memcmp(header, "GIF87a", 6) != 0 && std::memcmp(header, "GIF89a", 6) != 0) {
        return TFileCondition::Damaged;
    }
    std::uint64_t at = sizeof header + ColourTableBytes(header[10]);
    while (true) {
        std::uint8_t introducer = 0;
        if (!file.u8(at, introducer)) return TFileCondition::Damaged;
        ++at;
        if (introducer == Trailer) return at == file.size() ? TFileCondition::Whole : TFileCondition::Damaged;
        if (introducer == ExtensionIntroducer) {
            ++at;  // the label
        } else if (introducer == ImageSeparator) {
            std::uint8_t descriptor[9];
            if (!file.read(at, descriptor, sizeof descriptor)) return TFileCondition::Damaged;
            at += sizeof descriptor + ColourTableBytes(descriptor[8]);
            std::uint8_t minimumCodeSize = 0;
            if (!file.u8(at, minimumCodeSize) || minimumCodeSize < 1 || minimumCodeSize > 8) {
                return TFileCondition::Damaged;
            }
            ++at;
        } else {
            return TFileCondition::Damaged;
        }
        if (!SkipSubBlocks(file, at)) return TFileCondition::Damaged;
    }
}

}  // namespace quorvane
