// PNG: the signature, then chunks (length, type, data, CRC-32) up to and including IEND.
#include <cstring>

#include "media/end_walk.h"

namespace quorvane {
namespace {

constexpr std::size_t SignatureSize = 8;
constexpr std::size_t ChunkHeader = 8;  // length, type
constexpr std::size_t CrcSize = 4;
constexpr std::uint32_t MaxChunkLength = 0x7FFFFFFF;

bool IsLetter(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

class PngEndFinder final : public HeaderWalkFinder {
public:
    PngEndFinder() : HeaderWalkFinder(EndRule::Png, SignatureSize) {}

private:
    void OnHeader(const std::uint8_t* h, std::size_t) override {
        if (!sawSignature_) {
            if (std::memcmp(h, "\x89PNG\r\n\x1A\n", SignatureSize) != 0) return SetUnknown();
            sawSignature_ = true;
            return Next(0, ChunkHeader);
        }
        const std::uint32_t length = ReadBe32(h);
        const std::uint8_t* type = h + 4;
        if (length > MaxChunkLength || !IsLetter(type[0]) || !IsLetter(type[1]) || !IsLetter(type[2]) ||
            !IsLetter(type[3])) {
            return SetUnknown();
        }
        const bool ihdr = std::memcmp(type, "IHDR", 4) == 0;
        if (chunks_++ == 0 && !ihdr) return SetUnknown();
        if (std::memcmp(type, "IEND", 4) == 0) return EndAt(HeaderOffset() + ChunkHeader + length + CrcSize);
        Next(std::uint64_t{length} + CrcSize, ChunkHeader);
    }

    bool sawSignature_ = false;
    std::uint64_t chunks_ = 0;
};

}  // namespace

std::unique_ptr<FileEndFinder> MakePngEndFinder() { return std::make_unique<PngEndFinder>(); }

}  // namespace quorvane
