// ISO base media and QuickTime files (MP4, MOV, 3GP, HEIC, AVIF, CR3): a chain of top-level
// boxes. The file ends after the last box of a type that stands at the top level; payloads,
// the media data above all, are passed over without being read.
#include <algorithm>
#include <array>
#include <cstring>

#include "media/end_walk.h"

namespace quorvane {
namespace {

constexpr std::size_t BoxHeader = 8;       // 32-bit size, type
constexpr std::size_t LargeBoxHeader = 16;  // size 1, type, 64-bit size

using BoxType = std::array<char, 4>;

constexpr std::array<BoxType, 15> TopLevelTypes = {{
    {'f', 't', 'y', 'p'}, {'m', 'o', 'o', 'v'}, {'m', 'd', 'a', 't'}, {'f', 'r', 'e', 'e'}, {'s', 'k', 'i', 'p'},
    {'w', 'i', 'd', 'e'}, {'m', 'e', 't', 'a'}, {'u', 'u', 'i', 'd'}, {'m', 'o', 'o', 'f'}, {'m', 'f', 'r', 'a'},
    {'p', 'd', 'i', 'n'}, {'s', 't', 'y', 'p'}, {'s', 'i', 'd', 'x'}, {'p', 'r', 'f', 't'}, {'e', 'm', 's', 'g'},
}};

bool TypeIs(const std::uint8_t* type, const char (&name)[5]) { return std::memcmp(type, name, 4) == 0; }

bool IsTopLevelType(const std::uint8_t* type) {
    return std::any_of(TopLevelTypes.begin(), TopLevelTypes.end(),
                       [type](const BoxType& t) { return std::memcmp(type, t.data(), 4) == 0; });
}

// Old QuickTime files may start without ftyp.
bool MayComeFirst(const std::uint8_t* type) {
    return TypeIs(type, "ftyp") || TypeIs(type, "moov") || TypeIs(type, "mdat") || TypeIs(type, "wide") ||
           TypeIs(type, "free");
}

class IsoMediaEndFinder final : public HeaderWalkFinder {
public:
    IsoMediaEndFinder() : HeaderWalkFinder(EndRule::IsoMedia, BoxHeader) {}

private:
    void OnHeader(const std::uint8_t* h, std::size_t size) override {
        const std::uint8_t* type = h + 4;
        // A second ftyp or moov is the start of another file, not more of this one.
        const bool startsAnother = (boxes_ > 0 && TypeIs(type, "ftyp")) || (sawMoov_ && TypeIs(type, "moov"));
        if (boxes_ == 0 ? !MayComeFirst(type) : (!IsTopLevelType(type) || startsAnother)) {
            // The walk has left the file. It ends here once the media data was passed: before
            // that, the boxes seen may be all that is left of a file whose media data was lost
            // (a cut HEIC whose meta box is followed by another file's bytes).
            return sawMdat_ ? EndAt(HeaderOffset()) : SetUnknown();
        }
        std::uint64_t boxSize = ReadBe32(h);
        std::size_t headerSize = BoxHeader;
        if (boxSize == 1) {
            if (size < LargeBoxHeader) return Extend(LargeBoxHeader);
            boxSize = ReadBe64(h + 8);
            headerSize = LargeBoxHeader;
        }
        // Size 0 runs "to the end of the file", which the box cannot tell.
        if (boxSize < headerSize) return SetUnknown();
        ++boxes_;
        sawMoov_ = sawMoov_ || TypeIs(type, "moov");
        sawMdat_ = sawMdat_ || TypeIs(type, "mdat");
        Next(boxSize - size, BoxHeader);
    }

    std::uint64_t boxes_ = 0;
    bool sawMoov_ = false;
    bool sawMdat_ = false;
};

}  // namespace

std::unique_ptr<FileEndFinder> MakeIsoMediaEndFinder() { return std::make_unique<IsoMediaEndFinder>(); }

}  // namespace quorvane
