// TIFF and the raw formats built on it (CR2, NEF, ARW, DNG, PEF; ORF with "IIRO"/"IIRS", RW2 with
// "IIU\0"): every IFD must lie inside the file, and so must every value longer than four bytes,
// every strip (0x0111 with 0x0117), tile (0x0144 with 0x0145) and JPEG preview (0x0201 with
// 0x0202) that they name. The walk follows the IFD chain from IFD0 and the sub-IFD, Exif, GPS and
// interoperability IFDs; each IFD is visited once, and the chain looping back is damage.
//
// The picture data in the strips and tiles is not decoded: damage inside it does not show.
#include <cstring>
#include <deque>
#include <iterator>
#include <set>
#include <utility>

#include "media/format_checks.h"
#include "media/tiff_tags.h"

namespace quorvane {

using namespace tiff;
namespace {

constexpr std::size_t MaxIfds = 256;
constexpr std::uint16_t MaxEntries = 4096;  // real IFDs hold a few hundred at most
constexpr std::uint32_t MaxBlocks = std::uint32_t{1} << 22;

// A field of an IFD entry: its type, how many values, and where the values are.
struct Field {
    bool present = false;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::uint64_t valuesAt = 0;
};

class TiffWalk {
public:
    TiffWalk(ContentFile& file, bool littleEndian) : file_(file), le_(littleEndian) {}

    Walk run(std::uint32_t ifd0) {
        pending_.push_back({ifd0, true});
        while (!pending_.empty()) {
            const auto [offset, chain] = pending_.front();
            pending_.pop_front();
            if (!visited_.insert(offset).second) {
                if (chain) return Walk::Broken;
                continue;
            }
            if (visited_.size() > MaxIfds) return Walk::TooLong;
            const Walk walk = ifd(offset, chain);
            if (walk != Walk::Fits) return walk;
        }
        return Walk::Fits;
    }

private:
    Walk ifd(std::uint32_t offset, bool chain) {
        std::uint16_t count = 0;
        if (offset < 8 || !file_.u16(offset, le_, count) || count == 0 || count > MaxEntries) return Walk::Broken;
        const std::uint64_t entries = std::uint64_t{offset} + 2;
        const std::uint64_t nextAt = entries + std::uint64_t{count} * 12;
        if (nextAt + 4 > file_.size()) return Walk::Broken;

        Field stripOffsets, stripCounts, tileOffsets, tileCounts, jpegOffset, jpegLength;
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::uint64_t entry = entries + std::uint64_t{i} * 12;
            std::uint16_t tag = 0;
            Field field;
            std::uint32_t value = 0;
            if (!file_.u16(entry, le_, tag) || !file_.u16(entry + 2, le_, field.type) ||
                !file_.u32(entry + 4, le_, field.count) || !file_.u32(entry + 8, le_, value)) {
                return Walk::Broken;
            }
            const std::uint64_t typeBytes = TypeBytes(field.type);
            if (typeBytes == 0) return Walk::Broken;
            const std::uint64_t bytes = typeBytes * field.count;
            field.valuesAt = bytes <= 4 ? entry + 8 : value;
            if (bytes > 4 && (value > file_.size() || bytes > file_.size() - value)) return Walk::Broken;
            field.present = true;
            switch (tag) {
                case TagStripOffsets: stripOffsets = field; break;
                case TagStripByteCounts: stripCounts = field; break;
                case TagTileOffsets: tileOffsets = field; break;
                case TagTileByteCounts: tileCounts = field; break;
                case TagJpegOffset: jpegOffset = field; break;
                case TagJpegLength: jpegLength = field; break;
                case TagSubIfds:
                case TagExifIfd:
                case TagGpsIfd:
                case TagInteroperabilityIfd: {
                    const Walk walk = subIfds(field);
                    if (walk != Walk::Fits) return walk;
                    break;
                }
                default: break;
            }
        }
        if (chain) {
            std::uint32_t next = 0;
            file_.u32(nextAt, le_, next);
            if (next != 0) pending_.push_back({next, true});
        }
        for (const auto& [offsets, lengths] : {std::pair{stripOffsets, stripCounts}, std::pair{tileOffsets, tileCounts},
                                               std::pair{jpegOffset, jpegLength}}) {
            const Walk walk = blocks(offsets, lengths);
            if (walk != Walk::Fits) return walk;
        }
        return Walk::Fits;
    }

    // One value of a SHORT, LONG or IFD field.
    bool number(const Field& field, std::uint32_t index, std::uint64_t& value) {
        if (field.type == TypeShort) {
            std::uint16_t v = 0;
            if (!file_.u16(field.valuesAt + std::uint64_t{index} * 2, le_, v)) return false;
            value = v;
            return true;
        }
        if (field.type != TypeLong && field.type != TypeIfd) return false;
        std::uint32_t v = 0;
        if (!file_.u32(field.valuesAt + std::uint64_t{index} * 4, le_, v)) return false;
        value = v;
        return true;
    }

    // The IFDs a pointer field names; only the main chain is followed past them, since the link
    // at the end of an Exif IFD is often left as junk.
    Walk subIfds(const Field& field) {
        if (field.count > MaxIfds) return Walk::Broken;
        for (std::uint32_t i = 0; i < field.count; ++i) {
            std::uint64_t offset = 0;
            if (!number(field, i, offset)) return Walk::Broken;
            if (offset != 0) pending_.push_back({static_cast<std::uint32_t>(offset), false});
        }
        return Walk::Fits;
    }

    // Data blocks given by an offsets field and a lengths field of as many values. Offsets
    // without lengths are only checked to start inside the file.
    Walk blocks(const Field& offsets, const Field& lengths) {
        if (!offsets.present) return Walk::Fits;
        if (offsets.count > MaxBlocks) return Walk::TooLong;
        if (lengths.present && lengths.count != offsets.count) return Walk::Broken;
        for (std::uint32_t i = 0; i < offsets.count; ++i) {
            std::uint64_t offset = 0, length = 0;
            if (!number(offsets, i, offset) || (lengths.present && !number(lengths, i, length))) return Walk::Broken;
            if (offset > file_.size() || length > file_.size() - offset) return Walk::Broken;
            if (!lengths.present && offset == file_.size()) return Walk::Broken;
        }
        return Walk::Fits;
    }

    ContentFile& file_;
    bool le_;
    std::deque<std::pair<std::uint32_t, bool>> pending_;  // IFD offset, whether on the main chain
    std::set<std::uint32_t> visited_;
};

}  // namespace

TFileCondition CheckTiffFile(ContentFile& file) {
    std::uint8_t order[2];
    if (!file.read(0, order, 2)) return TFileCondition::Damaged;
    const bool little = std::memcmp(order, "II", 2) == 0;
    if (!little && std::memcmp(order, "MM", 2) != 0) return TFileCondition::Damaged;
    std::uint16_t magic = 0;
    std::uint32_t ifd0 = 0;
    if (!file.u16(2, little, magic) || !file.u32(4, little, ifd0)) return TFileCondition::Damaged;
    constexpr std::uint16_t Tiff = 42, BigTiff = 43, Orf = 0x4F52, OrfS = 0x5352, Rw2 = 0x0055;
    if (magic == BigTiff) return TFileCondition::Unknown;  // 64-bit offsets: not walked here
    const bool known = magic == Tiff || magic == Orf || (little && (magic == OrfS || magic == Rw2));
    if (!known) return TFileCondition::Damaged;

    TiffWalk walk(file, little);
    return Condition(walk.run(ifd0));
}

}  // namespace quorvane
