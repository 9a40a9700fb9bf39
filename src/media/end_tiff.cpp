// TIFF and the raw formats built on it (CR2, NEF, ARW, DNG, ORF, RW2, PEF): the file ends at
// the furthest byte that any IFD, value, strip, tile or JPEG preview reaches.
//
// IFDs and the arrays of strip offsets can lie anywhere, behind the bytes already fed as well
// as ahead. The finder keeps the first HeadKeep bytes of the file for what lies behind, and
// gathers what lies ahead as it goes by; a block behind and beyond the kept head cannot be read
// and leaves the end Unknown. Once no block remains to be read, the end is the furthest extent.
#include <algorithm>
#include <cstring>
#include <vector>

#include "media/end_walk.h"
#include "media/tiff_tags.h"

namespace quorvane {

using namespace tiff;
namespace {

constexpr std::uint64_t HeadKeep = 1024 * 1024;
constexpr std::size_t MaxIfds = 256;
constexpr std::uint16_t MaxEntries = 1024;
constexpr std::uint32_t MaxArrayCount = 65536;
constexpr std::size_t MaxGatheredBytes = 8 * 1024 * 1024;  // blocks ahead, gathered at once
constexpr std::size_t MaxOwnedRanges = 4096;
constexpr std::size_t TiffHeader = 8;
constexpr std::size_t EntrySize = 12;

// One entry's value: where its bytes are (inline in the entry when they fit in 4).
struct Field {
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    const std::uint8_t* inlineBytes = nullptr;  // the entry's 4-byte value field
    std::uint32_t offset = 0;
    bool present = false;

    std::uint64_t Size() const { return std::uint64_t{TypeBytes(type)} * count; }
    bool IsInline() const { return Size() <= 4; }
};

// The first value of an inline SHORT or LONG field (a SHORT sits in the first two bytes).
std::uint32_t Scalar(const Field& field, const ByteOrder& order) {
    return field.type == TypeShort ? order.U16(field.inlineBytes) : order.U32(field.inlineBytes);
}

class TiffEndFinder final : public FileEndFinder {
public:
    TiffEndFinder() { Request({.offset = 0, .size = TiffHeader, .kind = Kind::Header}); }

    void Feed(std::span<const std::uint8_t> bytes) override;
    bool Owns(std::uint64_t offset) const override { return owned_.Contains(offset); }

private:
    enum class Kind : std::uint8_t { Header, IfdCount, IfdBody, Array };
    // What an array of values is for: the IFDs it points at, or one half of offset/length pairs.
    enum class Use : std::uint8_t { SubIfds, Starts, Lengths };

    struct Read {
        std::uint64_t offset = 0;
        std::uint32_t size = 0;
        Kind kind = Kind::Header;
        Use use = Use::SubIfds;
        std::uint16_t type = 0;   // Array: the values' type
        std::uint32_t count = 0;  // Array: the number of values
        std::size_t pair = 0;     // Starts, Lengths: which pair
        std::vector<std::uint8_t> bytes{};  // gathered here when the block reaches past the head
        std::uint64_t End() const { return offset + size; }
    };

    // Strip or tile offsets with their byte counts, filled as both arrays come in.
    struct Pair {
        std::vector<std::uint32_t> starts;
        std::vector<std::uint32_t> lengths;
        bool haveStarts = false;
        bool haveLengths = false;
    };

    void Request(Read read);
    void RequestIfd(std::uint64_t offset);
    void RequestArray(const Field& field, Use use, std::size_t pair);
    void Drain();
    void Process(const Read& read, const std::uint8_t* data);
    void ReadIfd(const Read& read, const std::uint8_t* data);
    void OnArray(Use use, std::size_t pair, std::vector<std::uint32_t> values);
    void AddPair(const Field& starts, const Field& lengths);
    void Reach(std::uint64_t end);

    const std::uint64_t bound_ = EndBound(EndRule::Tiff);
    std::uint64_t pos_ = 0;
    std::vector<std::uint8_t> head_;
    std::vector<Read> pending_;
    std::size_t gathered_ = 0;  // bytes held by pending_ reads
    std::vector<std::uint64_t> visited_;
    std::vector<Pair> pairs_;
    ByteOrder order_;
    std::uint64_t furthest_ = TiffHeader;
    OwnedRanges owned_{MaxOwnedRanges};
};

void TiffEndFinder::Feed(std::span<const std::uint8_t> bytes) {
    while (State() == EndState::Open && !bytes.empty()) {
        // Step to the next end of a pending block at most, so that each block is handled at the
        // same offset however the bytes are cut into pieces.
        std::uint64_t stepEnd = pos_ + bytes.size();
        for (const auto& r : pending_) {
            if (r.End() > pos_) stepEnd = std::min(stepEnd, r.End());
        }
        const auto n = static_cast<std::size_t>(stepEnd - pos_);
        if (pos_ < HeadKeep) {
            const auto keep = static_cast<std::size_t>(std::min<std::uint64_t>(n, HeadKeep - pos_));
            head_.insert(head_.end(), bytes.data(), bytes.data() + keep);
        }
        for (auto& r : pending_) {
            if (r.bytes.empty()) continue;
            const std::uint64_t from = std::max(r.offset, pos_);
            const std::uint64_t to = std::min(r.End(), stepEnd);
            if (from >= to) continue;
            std::memcpy(r.bytes.data() + (from - r.offset), bytes.data() + (from - pos_), to - from);
        }
        pos_ = stepEnd;
        bytes = bytes.subspan(n);
        Drain();
    }
    if (State() == EndState::Open && pos_ > bound_) SetUnknown();
}

void TiffEndFinder::Request(Read read) {
    const std::uint64_t end = read.End();
    if (end > bound_) return SetUnknown();
    Reach(end);
    if (end > HeadKeep) {
        // The part already fed must still be in the head.
        if (read.offset < pos_ && pos_ > HeadKeep) return SetUnknown();
        if (gathered_ + read.size > MaxGatheredBytes) return SetUnknown();
        read.bytes.assign(read.size, 0);
        gathered_ += read.size;
        if (read.offset < pos_) {
            std::memcpy(read.bytes.data(), head_.data() + read.offset, pos_ - read.offset);
        }
    }
    pending_.push_back(std::move(read));
}

void TiffEndFinder::RequestIfd(std::uint64_t offset) {
    if (offset < TiffHeader) return SetUnknown();
    // IFD links may loop: each IFD is read once.
    if (std::find(visited_.begin(), visited_.end(), offset) != visited_.end()) return;
    if (visited_.size() >= MaxIfds) return SetUnknown();
    visited_.push_back(offset);
    Request({.offset = offset, .size = 2, .kind = Kind::IfdCount});
}

void TiffEndFinder::Drain() {
    for (bool progress = true; progress && State() == EndState::Open;) {
        progress = false;
        for (std::size_t k = 0; k < pending_.size() && State() == EndState::Open;) {
            if (pending_[k].End() > pos_) {
                ++k;
                continue;
            }
            Read read = std::move(pending_[k]);
            pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(k));
            gathered_ -= read.bytes.size();
            Process(read, read.bytes.empty() ? head_.data() + read.offset : read.bytes.data());
            progress = true;
        }
    }
    if (State() != EndState::Open || !pending_.empty()) return;
    if (furthest_ > bound_) return SetUnknown();
    SetEnded(furthest_);
}

void TiffEndFinder::Process(const Read& read, const std::uint8_t* data) {
    switch (read.kind) {
        case Kind::Header: {
            if (data[0] == 'I' && data[1] == 'I') {
                order_.little = true;
                // TIFF, and the ORF ("IIRO", "IIRS") and RW2 ("IIU\0") variants.
                const bool known = (data[2] == 0x2A && data[3] == 0) || (data[2] == 'R' && data[3] == 'O') ||
                                   (data[2] == 'R' && data[3] == 'S') || (data[2] == 'U' && data[3] == 0);
                if (!known) return SetUnknown();
            } else if (data[0] == 'M' && data[1] == 'M') {
                order_.little = false;
                if (data[2] != 0 || data[3] != 0x2A) return SetUnknown();
            } else {
                return SetUnknown();
            }
            return RequestIfd(order_.U32(data + 4));
        }
        case Kind::IfdCount: {
            const std::uint16_t count = order_.U16(data);
            if (count == 0 || count > MaxEntries) return SetUnknown();
            return Request({.offset = read.offset + 2,
                            .size = static_cast<std::uint32_t>(count * EntrySize + 4),
                            .kind = Kind::IfdBody});
        }
        case Kind::IfdBody: return ReadIfd(read, data);
        case Kind::Array: {
            const std::uint32_t step = TypeBytes(read.type);
            std::vector<std::uint32_t> values(read.count);
            for (std::uint32_t i = 0; i < read.count; ++i) {
                values[i] = step == 2 ? order_.U16(data + i * step) : order_.U32(data + i * step);
            }
            return OnArray(read.use, read.pair, std::move(values));
        }
    }
}

void TiffEndFinder::ReadIfd(const Read& read, const std::uint8_t* data) {
    const std::size_t count = (read.size - 4) / EntrySize;
    Field strips, stripLengths, tiles, tileLengths, subIfds;
    std::uint32_t jpegOffset = 0, jpegLength = 0;
    for (std::size_t k = 0; k < count && State() == EndState::Open; ++k) {
        const std::uint8_t* entry = data + k * EntrySize;
        Field field{.type = order_.U16(entry + 2),
                    .count = order_.U32(entry + 4),
                    .inlineBytes = entry + 8,
                    .offset = order_.U32(entry + 8),
                    .present = true};
        if (TypeBytes(field.type) == 0) continue;
        if (!field.IsInline()) Reach(std::uint64_t{field.offset} + field.Size());
        switch (order_.U16(entry)) {
            case TagStripOffsets: strips = field; break;
            case TagStripByteCounts: stripLengths = field; break;
            case TagTileOffsets: tiles = field; break;
            case TagTileByteCounts: tileLengths = field; break;
            case TagSubIfds: subIfds = field; break;
            case TagJpegOffset: jpegOffset = Scalar(field, order_); break;
            case TagJpegLength: jpegLength = Scalar(field, order_); break;
            case TagExifIfd:
            case TagGpsIfd:
                if (field.count == 1 && (field.type == TypeLong || field.type == TypeIfd)) RequestIfd(field.offset);
                break;
            default: break;
        }
    }
    if (State() != EndState::Open) return;
    if (jpegOffset != 0 && jpegLength != 0) {
        Reach(std::uint64_t{jpegOffset} + jpegLength);
        owned_.Add(jpegOffset, std::uint64_t{jpegOffset} + jpegLength);
    }
    AddPair(strips, stripLengths);
    AddPair(tiles, tileLengths);
    if (subIfds.present) RequestArray(subIfds, Use::SubIfds, 0);
    const std::uint32_t next = order_.U32(data + count * EntrySize);
    if (next != 0 && State() == EndState::Open) RequestIfd(next);
}

void TiffEndFinder::AddPair(const Field& starts, const Field& lengths) {
    if (!starts.present || !lengths.present || State() != EndState::Open) return;
    pairs_.emplace_back();
    const std::size_t pair = pairs_.size() - 1;
    RequestArray(starts, Use::Starts, pair);
    RequestArray(lengths, Use::Lengths, pair);
}

void TiffEndFinder::RequestArray(const Field& field, Use use, std::size_t pair) {
    if (State() != EndState::Open) return;
    if (field.type != TypeShort && field.type != TypeLong && field.type != TypeIfd) return SetUnknown();
    if (field.count == 0 || field.count > MaxArrayCount) return SetUnknown();
    if (field.IsInline()) {
        std::vector<std::uint32_t> values(field.count);
        for (std::uint32_t i = 0; i < field.count; ++i) {
            values[i] = field.type == TypeShort ? order_.U16(field.inlineBytes + 2 * i) : order_.U32(field.inlineBytes);
        }
        return OnArray(use, pair, std::move(values));
    }
    Request({.offset = field.offset,
             .size = static_cast<std::uint32_t>(field.Size()),
             .kind = Kind::Array,
             .use = use,
             .type = field.type,
             .count = field.count,
             .pair = pair});
}

void TiffEndFinder::OnArray(Use use, std::size_t pair, std::vector<std::uint32_t> values) {
    if (use == Use::SubIfds) {
        for (std::uint32_t offset : values) {
            if (State() == EndState::Open) RequestIfd(offset);
        }
        return;
    }
    Pair& p = pairs_[pair];
    if (use == Use::Starts) {
        p.starts = std::move(values);
        p.haveStarts = true;
    } else {
        p.lengths = std::move(values);
        p.haveLengths = true;
    }
    if (!p.haveStarts || !p.haveLengths) return;
    const std::size_t n = std::min(p.starts.size(), p.lengths.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (p.starts[i] == 0 || p.lengths[i] == 0) continue;
        const std::uint64_t end = std::uint64_t{p.starts[i]} + p.lengths[i];
        Reach(end);
        owned_.Add(p.starts[i], end);
    }
    p = {};
}

void TiffEndFinder::Reach(std::uint64_t end) {
    if (end > bound_) return SetUnknown();
    furthest_ = std::max(furthest_, end);
}

}  // namespace

std::unique_ptr<FileEndFinder> MakeTiffEndFinder() { return std::make_unique<TiffEndFinder>(); }

}  // namespace quorvane
