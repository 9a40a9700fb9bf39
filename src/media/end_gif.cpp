// GIF: header and logical screen descriptor, the global colour table, then image descriptors
// and extensions, each followed by data sub-blocks, up to the trailer byte.
#include <cstring>

#include "media/end_walk.h"

namespace quorvane {
namespace {

constexpr std::size_t HeaderAndScreen = 13;  // "GIF89a", width, height, flags, background, aspect
constexpr std::size_t ImageDescriptor = 9;    // left, top, width, height, flags (after the 0x2C)
constexpr std::uint8_t ImageIntroducer = 0x2C;
constexpr std::uint8_t ExtensionIntroducer = 0x21;
constexpr std::uint8_t Trailer = 0x3B;
constexpr std::uint8_t MaxLzwCodeSize = 12;

// Bytes of the colour table that a flags byte announces (bit 7 set, 2^(n+1) entries of 3 bytes).
std::uint64_t ColourTableSize(std::uint8_t flags) {
    return (flags & 0x80) != 0 ? 3u << ((flags & 0x07) + 1) : 0;
}

class GifEndFinder final : public HeaderWalkFinder {
public:
    GifEndFinder() : HeaderWalkFinder(EndRule::Gif, HeaderAndScreen) {}

private:
    enum class Expect : std::uint8_t { Header, Block, Descriptor, LzwCodeSize, Label, SubBlock };

    void OnHeader(const std::uint8_t* h, std::size_t) override {
        switch (expect_) {
            case Expect::Header:
                if (std::memcmp(h, "GIF87a", 6) != 0 && std::memcmp(h, "GIF89a", 6) != 0) return SetUnknown();
                expect_ = Expect::Block;
                return Next(ColourTableSize(h[10]), 1);
            case Expect::Block:
                if (h[0] == Trailer) return EndAt(HeaderOffset() + 1);
                if (h[0] == ImageIntroducer) {
                    expect_ = Expect::Descriptor;
                    return Next(0, ImageDescriptor);
                }
                if (h[0] == ExtensionIntroducer) {
                    expect_ = Expect::Label;
                    return Next(0, 1);
                }
                return SetUnknown();
            case Expect::Descriptor:
                expect_ = Expect::LzwCodeSize;
                return Next(ColourTableSize(h[8]), 1);
            case Expect::LzwCodeSize:
                if (h[0] > MaxLzwCodeSize) return SetUnknown();
                expect_ = Expect::SubBlock;
                return Next(0, 1);
            case Expect::Label:
                expect_ = Expect::SubBlock;
                return Next(0, 1);
            case Expect::SubBlock:
                // A zero length ends the block's data.
                if (h[0] == 0) expect_ = Expect::Block;
                return Next(h[0], 1);
        }
    }

    Expect expect_ = Expect::Header;
};

}  // namespace

std::unique_ptr<FileEndFinder> MakeGifEndFinder() { return std::make_unique<GifEndFinder>(); }

}  // namespace quorvane
