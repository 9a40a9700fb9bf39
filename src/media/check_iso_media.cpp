// ISO base media and QuickTime (MP4, MOV, 3GP, HEIC, AVIF): the top-level boxes must reach the
// file's end exactly, and a moov box (films) or a meta box (HEIF pictures) must be there. A film's
// tracks each give their chunk offsets (stco or co64 under trak/mdia/minf/stbl), a picture's items
// their extents (iloc): all must lie inside the file. The containers on the way are walked
// strictly, each child box filling its parent exactly.
//
// What the boxes do not describe cannot be checked here: damage inside the media data (mdat)
// leaves the structure as it was.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "media/format_checks.h"

namespace quorvane {
namespace {

// More boxes than any real file has: the walk gives up rather than run on.
constexpr std::uint64_t MaxBoxes = std::uint64_t{1} << 20;
// An iloc box is read whole; real ones hold a few kilobytes even for pictures of many tiles.
constexpr std::uint64_t MaxItemLocationBytes = std::uint64_t{16} << 20;
constexpr std::uint64_t MaxExtents = std::uint64_t{1} << 22;
constexpr std::size_t OffsetBatch = 4096;

struct Box {
    std::uint64_t start = 0;
    std::uint64_t payload = 0;  // after the header
    std::uint64_t end = 0;
    std::array<std::uint8_t, 4> type{};

    bool is(const char* name) const { return std::memcmp(type.data(), name, 4) == 0; }
};

std::uint64_t BigEndian(const std::uint8_t* b, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) value = value << 8 | b[i];
    return value;
}

// Big-endian fields of a box read into memory, each read checked against the box's end.
class FieldReader {
public:
    explicit FieldReader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

    // A field of 0, 1, 2, 4 or 8 bytes; a field of 0 bytes reads as 0.
    bool take(std::size_t bytes, std::uint64_t& value) {
        if (bytes_.size() - at_ < bytes) return false;
        value = BigEndian(bytes_.data() + at_, bytes);
        at_ += bytes;
        return true;
    }

private:
    const std::vector<std::uint8_t>& bytes_;
    std::size_t at_ = 0;
};

class IsoWalk {
public:
    explicit IsoWalk(ContentFile& file) : file_(file) {}

    // The box whose header starts at at, when it fits before limit. Size 0 ("to the end") is
    // allowed where toEnd says so: for the last top-level box.
    Walk box(std::uint64_t at, std::uint64_t limit, bool toEnd, Box& out) {
        if (++boxes_ > MaxBoxes) return Walk::TooLong;
        std::uint32_t size32 = 0;
        if (limit - at < 8 || !file_.u32(at, false, size32) || !file_.read(at + 4, out.type.data(), 4)) {
            return Walk::Broken;
        }
        std::uint64_t size = size32, header = 8;
        if (size32 == 1) {
            header = 16;
            if (limit - at < header || !file_.u64(at + 8, false, size)) return Walk::Broken;
        } else if (size32 == 0) {
            if (!toEnd) return Walk::Broken;
            size = limit - at;
        }
        if (size < header || size > limit - at) return Walk::Broken;
        out.start = at;
        out.payload = at + header;
        out.end = at + size;
        return Walk::Fits;
    }

    // Calls visit(child) for each box in [begin, end), which the boxes must fill exactly. Old
    // QuickTime files may close a container with a 32-bit zero.
    template <typename Visit>
    Walk children(std::uint64_t begin, std::uint64_t end, Visit&& visit) {
        std::uint64_t at = begin;
        while (at < end) {
            std::uint32_t terminator = 1;
            if (end - at == 4 && file_.u32(at, false, terminator) && terminator == 0) return Walk::Fits;
            Box child;
            Walk walk = box(at, end, false, child);
            if (walk == Walk::Fits) walk = visit(child);
            if (walk != Walk::Fits) return walk;
            at = child.end;
        }
        return at == end ? Walk::Fits : Walk::Broken;
    }

    // The first child of parent of the given type; found stays false when there is none.
    Walk child(const Box& parent, const char* type, Box& out, bool& found) {
        found = false;
        return children(parent.payload, parent.end, [&](const Box& b) {
            if (!found && b.is(type)) {
                out = b;
                found = true;
            }
            return Walk::Fits;
        });
    }

    Walk movie(const Box& moov) {
        int tracks = 0;
        const Walk walk = children(moov.payload, moov.end, [&](const Box& b) {
            if (!b.is("trak")) return Walk::Fits;
            ++tracks;
            return track(b);
        });
        if (walk != Walk::Fits) return walk;
        return tracks > 0 ? Walk::Fits : Walk::Broken;
    }

    // trak/mdia/minf/stbl, then its chunk offset table.
    Walk track(const Box& trak) {
        Box box = trak;
        for (const char* path : {"mdia", "minf", "stbl"}) {
            Box inner;
            bool found = false;
            const Walk walk = child(box, path, inner, found);
            if (walk != Walk::Fits) return walk;
            if (!found) return Walk::Broken;
            box = inner;
        }
        Box offsets;
        bool found32 = false, found64 = false;
        Walk walk = child(box, "stco", offsets, found32);
        if (walk != Walk::Fits) return walk;
        if (found32) return chunkOffsets(offsets, 4);
        walk = child(box, "co64", offsets, found64);
        if (walk != Walk::Fits) return walk;
        return found64 ? chunkOffsets(offsets, 8) : Walk::Broken;
    }

    // stco or co64: version and flags, an entry count, then the offsets, each inside the file.
    Walk chunkOffsets(const Box& table, std::size_t entryBytes) {
        std::uint32_t count = 0;
        if (table.end - table.payload < 8 || !file_.u32(table.payload + 4, false, count)) return Walk::Broken;
        if (count > (table.end - table.payload - 8) / entryBytes) return Walk::Broken;
        std::vector<std::uint8_t> batch(OffsetBatch * entryBytes);
        std::uint64_t at = table.payload + 8;
        for (std::uint64_t left = count; left > 0;) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, OffsetBatch));
            if (!file_.read(at, batch.data(), n * entryBytes)) return Walk::Broken;
            for (std::size_t i = 0; i < n; ++i) {
                if (BigEndian(batch.data() + i * entryBytes, entryBytes) >= file_.size()) return Walk::Broken;
            }
            at += n * entryBytes;
            left -= n;
        }
        return Walk::Fits;
    }

    // A HEIF meta box: a full box (version and flags first) holding iloc and perhaps idat.
    // QuickTime writes meta as a plain box, whose first child's size stands where the version is.
    Walk items(const Box& meta, bool itemsRequired) {
        std::uint32_t versionAndFlags = 1;
        if (meta.end - meta.payload < 4 || !file_.u32(meta.payload, false, versionAndFlags)) return Walk::Broken;
        Box inner = meta;
        if (versionAndFlags == 0) inner.payload += 4;
        Box iloc, idat;
        bool foundIloc = false, foundIdat = false;
        const Walk walk = children(inner.payload, inner.end, [&](const Box& b) {
            if (!foundIloc && b.is("iloc")) {
                iloc = b;
                foundIloc = true;
            } else if (!foundIdat && b.is("idat")) {
                idat = b;
                foundIdat = true;
            }
            return Walk::Fits;
        });
        if (walk != Walk::Fits) return walk;
        if (!foundIloc) return itemsRequired ? Walk::Broken : Walk::Fits;
        return itemLocations(iloc, foundIdat ? idat.end - idat.payload : 0, foundIdat);
    }

    // iloc, versions 0 to 2: for each item its base offset and extents, by construction method
    // 0 (offsets in this file), 1 (offsets in idat) or 2 (in another item, not checked). Items
    // whose data reference names another file are not checked either.
    Walk itemLocations(const Box& iloc, std::uint64_t idatSize, bool hasIdat) {
        if (iloc.end - iloc.payload > MaxItemLocationBytes) return Walk::TooLong;
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(iloc.end - iloc.payload));
        if (!file_.read(iloc.payload, bytes.data(), bytes.size())) return Walk::Broken;
        FieldReader r(bytes);
        std::uint64_t version = 0, flags = 0, sizes = 0, moreSizes = 0, itemCount = 0;
        if (!r.take(1, version) || !r.take(3, flags) || version > 2 || !r.take(1, sizes) || !r.take(1, moreSizes)) {
            return Walk::Broken;
        }
        const std::size_t offsetSize = sizes >> 4, lengthSize = sizes & 15, baseOffsetSize = moreSizes >> 4;
        const std::size_t indexSize = version >= 1 ? (moreSizes & 15) : 0;
        for (const std::size_t s : {offsetSize, lengthSize, baseOffsetSize, indexSize}) {
            if (s != 0 && s != 4 && s != 8) return Walk::Broken;
        }
        if (!r.take(version < 2 ? 2 : 4, itemCount)) return Walk::Broken;
        std::uint64_t extents = 0;
        // Every item takes at least six bytes of the box, so the items end with the box.
        for (std::uint64_t item = 0; item < itemCount; ++item) {
            std::uint64_t id = 0, method = 0, dataReference = 0, base = 0, extentCount = 0;
            if (!r.take(version < 2 ? 2 : 4, id)) return Walk::Broken;
            if (version >= 1 && !r.take(2, method)) return Walk::Broken;
            method &= 15;
            if (!r.take(2, dataReference) || !r.take(baseOffsetSize, base) || !r.take(2, extentCount)) {
                return Walk::Broken;
            }
            for (std::uint64_t e = 0; e < extentCount; ++e) {
                if (++extents > MaxExtents) return Walk::TooLong;
                std::uint64_t index = 0, offset = 0, length = 0;
                if (!r.take(indexSize, index) || !r.take(offsetSize, offset) || !r.take(lengthSize, length)) {
                    return Walk::Broken;
                }
                if (dataReference != 0 || method == 2) continue;
                if (method > 2 || (method == 1 && !hasIdat)) return Walk::Broken;
                // Length 0: the extent runs to the end of the data it lies in.
                const std::uint64_t limit = method == 0 ? file_.size() : idatSize;
                if (base > limit || offset > limit - base || length > limit - base - offset) return Walk::Broken;
            }
        }
        return Walk::Fits;
    }

private:
    ContentFile& file_;
    std::uint64_t boxes_ = 0;
};

}  // namespace

TFileCondition CheckIsoMediaFile(ContentFile& file) {
    IsoWalk walk(file);
    Box moov, meta;
    bool hasMoov = false, hasMeta = false;
    // Every box moves the walk forward by at least its header.
    for (std::uint64_t at = 0; at < file.size();) {
        Box box;
        const Walk result = walk.box(at, file.size(), true, box);
        if (result != Walk::Fits) return Condition(result);
        if (!IsPrintableType(box.type.data())) return TFileCondition::Damaged;
        if (!hasMoov && box.is("moov")) {
            moov = box;
            hasMoov = true;
        } else if (!hasMeta && box.is("meta")) {
            meta = box;
            hasMeta = true;
        }
        at = box.end;
    }
    if (!hasMoov && !hasMeta) return TFileCondition::Damaged;
    if (hasMoov) {
        const Walk result = walk.movie(moov);
        if (result != Walk::Fits) return Condition(result);
    }
    // A film may carry a meta box of its own; a picture has no moov and needs its item locations.
    return hasMeta ? Condition(walk.items(meta, !hasMoov)) : TFileCondition::Whole;
}

}  // namespace quorvane
