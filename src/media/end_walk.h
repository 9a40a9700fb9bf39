#pragma once
// Shared by the end finders (file_end.h): explicit byte-order reads, a small list of byte ranges
// that a file vouches for, and the walk that most formats share: fixed-size headers gathered
// across the pieces they are fed in, with the payloads between them passed over by arithmetic.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "media/file_end.h"

namespace quorvane {

inline std::uint16_t ReadBe16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
inline std::uint16_t ReadLe16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[1] << 8 | p[0]); }
inline std::uint32_t ReadBe32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}
inline std::uint32_t ReadLe32(const std::uint8_t* p) {
    return std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
}
inline std::uint64_t ReadBe64(const std::uint8_t* p) { return std::uint64_t{ReadBe32(p)} << 32 | ReadBe32(p + 4); }

// Reads in the byte order that a TIFF-structured block names with "II" or "MM".
struct ByteOrder {
    bool little = true;
    std::uint16_t U16(const std::uint8_t* p) const { return little ? ReadLe16(p) : ReadBe16(p); }
    std::uint32_t U32(const std::uint8_t* p) const { return little ? ReadLe32(p) : ReadBe32(p); }
};

// Byte ranges [begin, end) of a file, kept for Owns(). Bounded: past the cap, ranges are dropped,
// which only makes Owns() say false where it could have said true.
class OwnedRanges {
public:
    explicit OwnedRanges(std::size_t cap) : cap_(cap) {}

    void Add(std::uint64_t begin, std::uint64_t end) {
        if (begin >= end) return;
        // Strips and tiles usually follow one another: one range covers a run of them.
        if (!ranges_.empty() && ranges_.back().end == begin) {
            ranges_.back().end = end;
            return;
        }
        if (ranges_.size() < cap_) ranges_.push_back({begin, end});
    }

    bool Contains(std::uint64_t offset) const {
        for (const auto& r : ranges_) {
            if (offset >= r.begin && offset < r.end) return true;
        }
        return false;
    }

private:
    struct Range {
        std::uint64_t begin;
        std::uint64_t end;
    };
    std::size_t cap_;
    std::vector<Range> ranges_;
};

// A finder for formats built as a chain of headers and payloads. The walk asks for the next
// header's size; Feed() gathers that many bytes (copying only when a header straddles two
// pieces) and hands them to OnHeader(), which says how many payload bytes to pass over and how
// big the next header is, or ends the walk. Payload bytes are never looked at.
class HeaderWalkFinder : public FileEndFinder {
public:
    static constexpr std::size_t MaxHeader = 64;

    void Feed(std::span<const std::uint8_t> bytes) final;

protected:
    HeaderWalkFinder(EndRule rule, std::size_t firstHeader) : bound_(EndBound(rule)), need_(firstHeader) {}

    // The header of the size last asked for, which starts at HeaderOffset().
    virtual void OnHeader(const std::uint8_t* header, std::size_t size) = 0;

    // Called from OnHeader(): the next header, of size bytes (at most MaxHeader), starts after
    // count payload bytes. A walk that would pass the bound ends as Unknown.
    void Next(std::uint64_t count, std::size_t size);
    // Called from OnHeader(): the same header is handed over again once it has size bytes.
    void Extend(std::size_t size);
    // Called from OnHeader(): the file ends at end, or Unknown when end lies past the bound.
    void EndAt(std::uint64_t end);

    std::uint64_t HeaderOffset() const { return pos_; }
    std::uint64_t Bound() const { return bound_; }

private:
    std::uint64_t bound_;
    std::uint64_t pos_ = 0;   // offset of the header being gathered (or of the next byte while skipping)
    std::uint64_t skip_ = 0;  // payload bytes still to pass over
    std::size_t need_;        // size of the header being gathered
    std::size_t have_ = 0;    // bytes of it already in buf_
    // What the header being handled asked for (Next() or Extend()).
    std::uint64_t nextSkip_ = 0;
    std::size_t nextNeed_ = 0;
    bool extended_ = false;
    std::array<std::uint8_t, MaxHeader> buf_{};
};

std::unique_ptr<FileEndFinder> MakeJpegEndFinder();
std::unique_ptr<FileEndFinder> MakeRiffEndFinder();
std::unique_ptr<FileEndFinder> MakeIsoMediaEndFinder();
std::unique_ptr<FileEndFinder> MakePngEndFinder();
std::unique_ptr<FileEndFinder> MakeGifEndFinder();
std::unique_ptr<FileEndFinder> MakeBmpEndFinder();
std::unique_ptr<FileEndFinder> MakeTiffEndFinder();

}  // namespace quorvane
