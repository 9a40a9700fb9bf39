// Throughput of the end finders. The scan method feeds every byte of every carved file to one, so
// a finder has to pass over entropy-coded data and media payloads far faster than the disk reads.
//
// Each case builds one file in memory and feeds it in 64 KiB pieces, as the scan's blocks come:
// - a 12 MB JPEG: Exif and tables, then 12 MB of entropy-coded data (random bytes, so FF 00
//   stuffing and restart markers appear as often as in a real photo's), then EOI;
// - a 50 MB MP4 with its moov box at the end, as cameras write it;
// - a 25 MB TIFF as libtiff writes it: a JPEG preview and one big strip, then the IFD.
// Before timing, each case checks that the finder ends exactly at the file's size.
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "media/file_end.h"

namespace quorvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t PieceSize = 64 * 1024;
constexpr std::size_t Trailer = 512;

void PutBe(Bytes& b, std::uint64_t v, int width) {
    for (int i = width - 1; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void PutLe(Bytes& b, std::uint64_t v, int width) {
    for (int i = 0; i < width; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void PutText(Bytes& b, std::string_view text) { b.insert(b.end(), text.begin(), text.end()); }

std::uint8_t NextRandom(std::uint64_t& state) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<std::uint8_t>(state >> 24);
}

void Segment(Bytes& b, std::uint8_t marker, std::size_t payload) {
    b.push_back(0xFF);
    b.push_back(marker);
    PutBe(b, payload + 2, 2);
    b.insert(b.end(), payload, 0x20);
}

Bytes MakeJpeg(std::size_t entropyBytes) {
    Bytes b = {0xFF, 0xD8};
    Segment(b, 0xE1, 30000);  // Exif with its preview
    Segment(b, 0xDB, 130);
    Segment(b, 0xC0, 15);
    Segment(b, 0xC4, 400);
    Segment(b, 0xDA, 10);
    std::uint64_t state = 0x2545F4914F6CDD1DULL;
    b.reserve(b.size() + entropyBytes + entropyBytes / 200);
    for (std::size_t i = 0; i < entropyBytes; ++i) {
        const std::uint8_t byte = NextRandom(state);
        b.push_back(byte);
        if (byte == 0xFF) b.push_back(0x00);
        if (i % 8192 == 8191) b.insert(b.end(), {0xFF, static_cast<std::uint8_t>(0xD0 + i / 8192 % 8)});
    }
    b.insert(b.end(), {0xFF, 0xD9});
    return b;
}

Bytes MakeMp4(std::size_t mdatBytes) {
    Bytes b;
    PutBe(b, 24, 4);
    PutText(b, "ftypisom");
    PutBe(b, 0x200, 4);
    PutText(b, "isommp41");
    PutBe(b, 8 + mdatBytes, 4);
    PutText(b, "mdat");
    b.resize(b.size() + mdatBytes, 0x5A);
    PutBe(b, 8 + 200000, 4);
    PutText(b, "moov");
    b.resize(b.size() + 200000, 0x00);
    // The walk ends where the next box is not one of the file's: here the next sector's zeros.
    b.resize(b.size() + Trailer, 0x00);
    return b;
}

// libtiff's order: the pixels first, the IFD after them, so the finder keeps its head and waits.
Bytes MakeTiff(std::size_t stripBytes) {
    constexpr std::uint32_t previewAt = 8, previewSize = 500000;
    const std::uint32_t stripAt = previewAt + previewSize;
    const auto ifdAt = static_cast<std::uint32_t>(stripAt + stripBytes);
    Bytes b;
    PutText(b, std::string_view("II*\0", 4));
    PutLe(b, ifdAt, 4);
    b.resize(ifdAt, 0x33);
    const std::uint32_t entries[][4] = {
        {0x0100, 4, 1, 6000}, {0x0111, 4, 1, stripAt}, {0x0117, 4, 1, static_cast<std::uint32_t>(stripBytes)},
        {0x0201, 4, 1, previewAt}, {0x0202, 4, 1, previewSize}};
    PutLe(b, std::size(entries), 2);
    for (const auto& e : entries) {
        PutLe(b, e[0], 2);
        PutLe(b, e[1], 2);
        PutLe(b, e[2], 4);
        PutLe(b, e[3], 4);
    }
    PutLe(b, 0, 4);
    return b;
}

struct Case {
    const char* name;
    EndRule rule;
    std::function<Bytes()> make;
    std::size_t trailer = 0;  // bytes after the file's end
};

void BM_FileEnd(benchmark::State& state, const Case& c) {
    const Bytes file = c.make();
    const std::span<const std::uint8_t> bytes(file);
    auto feed = [&] {
        auto finder = MakeFileEndFinder(c.rule);
        for (std::size_t at = 0; at < bytes.size(); at += PieceSize) {
            finder->Feed(bytes.subspan(at, std::min(PieceSize, bytes.size() - at)));
        }
        return finder;
    };
    const auto check = feed();
    if (check->State() != EndState::Ended || check->End() != file.size() - c.trailer) {
        state.SkipWithError("the finder does not end at the file's size");
        return;
    }
    for (auto _ : state) {
        auto finder = feed();
        benchmark::DoNotOptimize(finder->End());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(file.size()));
}

const bool registered = [] {
    static const Case cases[] = {
        {"jpeg_12MB", EndRule::Jpeg, [] { return MakeJpeg(12'000'000); }, 0},
        {"mp4_50MB", EndRule::IsoMedia, [] { return MakeMp4(50'000'000); }, Trailer},
        {"tiff_25MB_ifd_last", EndRule::Tiff, [] { return MakeTiff(25'000'000); }, 0},
    };
    for (const Case& c : cases) {
        benchmark::RegisterBenchmark((std::string("FileEnd/") + c.name).c_str(), BM_FileEnd, c)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
}  // namespace quorvane
