#include "media/file_end.h"

#include "media/end_walk.h"
#include "media/recoverutils.h"

namespace quorvane {

std::uint64_t EndBound(EndRule rule) {
    constexpr std::uint64_t MiB = 1024 * 1024;
    switch (rule) {
        case EndRule::SizeLimit: return static_cast<std::uint64_t>(CarvedFileSizeLimit);
        case EndRule::Riff:
        case EndRule::IsoMedia: return 4096 * MiB;
        default: return 64 * MiB;
    }
}

std::unique_ptr<FileEndFinder> MakeFileEndFinder(EndRule rule) {
    switch (rule) {
        case EndRule::SizeLimit: return nullptr;
        case EndRule::Jpeg: return MakeJpegEndFinder();
        case EndRule::Riff: return MakeRiffEndFinder();
        case EndRule::IsoMedia: return MakeIsoMediaEndFinder();
        case EndRule::Png: return MakePngEndFinder();
        case EndRule::Gif: return MakeGifEndFinder();
        case EndRule::Bmp: return MakeBmpEndFinder();
        case EndRule::Tiff: return MakeTiffEndFinder();
    }
    return nullptr;
}

FoundEnd FindFileEnd(EndRule rule, std::span<const std::uint8_t> bytes) {
    auto finder = MakeFileEndFinder(rule);
    if (!finder) return {};
    finder->Feed(bytes);
    return {finder->State(), finder->End()};
}

}  // namespace quorvane
