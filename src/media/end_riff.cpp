// RIFF files (WAV, AVI): the size field says where the file ends. AVI files that outgrow the
// first RIFF chunk go on in "RIFF....AVIX" chunks right after it.
#include <cstring>

#include "media/end_walk.h"

namespace quorvane {
namespace {

constexpr std::size_t ChunkHeader = 12;  // "RIFF", size of what follows, form type

class RiffEndFinder final : public HeaderWalkFinder {
public:
    RiffEndFinder() : HeaderWalkFinder(EndRule::Riff, ChunkHeader) {}

    // The chunks' bodies are declared by their sizes but not walked: a start inside them (a Motion
    // JPEG film's frame that begins on a sector) is carved as well, and the film goes on.
    bool Covers(std::uint64_t offset) const override { return offset >= ChunkHeader && offset < coveredEnd_; }

private:
    void OnHeader(const std::uint8_t* h, std::size_t) override {
        const bool riff = std::memcmp(h, "RIFF", 4) == 0;
        const std::uint64_t chunkEnd = HeaderOffset() + 8 + ReadLe32(h + 4);
        if (riff) coveredEnd_ = chunkEnd;
        if (first_) {
            first_ = false;
            if (!riff || ReadLe32(h + 4) < 4) return SetUnknown();
            if (std::memcmp(h + 8, "AVI ", 4) != 0) return EndAt(chunkEnd);
            // An AVI file may go on: the 12 bytes after the chunk tell.
            return Next(chunkEnd - HeaderOffset() - ChunkHeader, ChunkHeader);
        }
        if (!riff || std::memcmp(h + 8, "AVIX", 4) != 0 || ReadLe32(h + 4) < 4) return EndAt(HeaderOffset());
        Next(chunkEnd - HeaderOffset() - ChunkHeader, ChunkHeader);
    }

    bool first_ = true;
    std::uint64_t coveredEnd_ = 0;
};

}  // namespace

std::unique_ptr<FileEndFinder> MakeRiffEndFinder() { return std::make_unique<RiffEndFinder>(); }

}  // namespace quorvane
