// libFuzzer target for the readers of recovered files' contents: the end finders (fed in pieces of
// a size the input chooses), the content checks, and the start and signature tests. Each input
// must end without a fault, a hang or unbounded memory, whatever its bytes.
//
// Byte 0 picks the format, byte 1 the piece size (0: all at once); the rest is the file. A JPEG
// is also walked by the fragment rebuild's strict walk, in those pieces and all at once: the two
// walks must agree on whether it ends, breaks or cannot be judged.
#include "media/content_check.h"
#include "media/file_end.h"
#include "media/filedet.h"
#include "media/jpeg_scan_walk.h"
#include "media/recoverutils.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

using namespace quorvane;

namespace {

constexpr std::array Rules = {EndRule::Jpeg, EndRule::Riff, EndRule::IsoMedia, EndRule::Png,
                              EndRule::Gif,  EndRule::Bmp,  EndRule::Tiff};
constexpr std::array Checks = {ContentCheck::JpegDecode,    ContentCheck::RiffChunks, ContentCheck::IsoBoxes,
                               ContentCheck::PngChunks,     ContentCheck::GifBlocks,  ContentCheck::BmpHeader,
                               ContentCheck::TiffStructure};

// The checks read files: the input goes to one in memory-backed storage, made once per process.
const std::string& ScratchPath() {
    static const struct Scratch {
        std::string path = "/dev/shm/quorvane-media-fuzz-" + std::to_string(::getpid());
        ~Scratch() { ::unlink(path.c_str()); }
    } scratch;
    return scratch.path;
}

void WriteScratch(const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(ScratchPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put = ::write(fd, data + done, size - done);
        if (put <= 0) break;
        done += static_cast<std::size_t>(put);
    }
    ::close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t which = data[0] % Rules.size();
    const std::size_t piece = data[1] == 0 ? size : data[1];
    data += 2;
    size -= 2;

    auto finder = MakeFileEndFinder(Rules[which]);
    for (std::size_t at = 0; at < size && finder->State() == EndState::Open; at += piece) {
        (void)finder->Owns(at);
        (void)finder->Covers(at);
        finder->Feed(std::span<const std::uint8_t>(data + at, std::min(piece, size - at)));
    }

    if (Rules[which] == EndRule::Jpeg) {
        JpegScanWalker inPieces, atOnce;
        for (std::size_t at = 0; at < size && inPieces.State() == JpegWalkState::Open; at += piece)
            inPieces.Feed(std::span<const std::uint8_t>(data + at, std::min(piece, size - at)));
        atOnce.Feed(std::span<const std::uint8_t>(data, size));
        if (inPieces.State() != atOnce.State()) __builtin_trap();
        if (atOnce.State() == JpegWalkState::Ended && inPieces.End() != atOnce.End()) __builtin_trap();
    }

    WriteScratch(data, size);
    (void)CheckFileContent(Checks[which], ScratchPath());

    // The start tests read a whole sector and fixed offsets below MinTestedSectorBytes.
    std::array<std::uint8_t, 512> sector{};
    std::copy_n(data, std::min(size, sector.size()), sector.begin());
    std::string ext;
    std::uint8_t type = 0;
    (void)IsFileStart(sector.data(), static_cast<std::int32_t>(sector.size()), ext);
    (void)IsFile(data, static_cast<std::uint32_t>(size), ext, type);
    return 0;
}
