// Throughput of the scan method's start test. The scan runs IsFileStart on every sector of a
// card, so on sectors that match nothing (the bulk of any card) it has to be far faster than
// the disk; sectors with a TIFF header are the slow path, since two searches go through them.
//
// Each case fills 1 MiB of sectors of one kind (random filler with the bytes of one row of the
// start table written in) and tests all of them per iteration. Before timing, every case checks
// that its sectors really give the expected answer, so a case never measures a different row.
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "media/recoverutils.h"

namespace quorvane {
namespace {

constexpr std::int32_t kSectorSize = 512;
constexpr int kSectors = 2048;

using Patch = std::function<void(std::uint8_t*)>;

void Put(std::uint8_t* s, int at, std::string_view bytes) { std::memcpy(s + at, bytes.data(), bytes.size()); }

struct Case {
    const char* name;
    const char* expected;  // nullptr: no row may match
    bool zeroFill;         // all zeros instead of random filler
    Patch patch;
};

// Random filler first gets a leading 0x00 where a random first byte could stand for II, MM or
// FF D8 and let an earlier row take the sector.
const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"no_match_random", nullptr, false, [](std::uint8_t*) {}},
        {"no_match_zeros", nullptr, true, [](std::uint8_t*) {}},
        {"row01_jpg", "JPG", false, [](std::uint8_t* s) { Put(s, 0, "\xFF\xD8\xFF\xE1"); }},
        {"row02_crw_heapccdr", "CRW", false, [](std::uint8_t* s) { Put(s, 0, "II"); Put(s, 6, "HEAPCCDR"); }},
        {"row03_crw_canon_at_250", "CRW", false, [](std::uint8_t* s) { s[0] = 0; Put(s, 250, "Canon"); }},
        {"row04_bmp", "BMP", false, [](std::uint8_t* s) { Put(s, 0, "BM"); Put(s, 6, std::string_view("\0\0\0\0", 4)); }},
        {"row05_gif", "GIF", false, [](std::uint8_t* s) { Put(s, 0, "GIF89a"); }},
        {"row06_png", "PNG", false, [](std::uint8_t* s) { Put(s, 0, "\x89PNG\r\n\x1A\n"); }},
        {"row07_wav", "WAV", false, [](std::uint8_t* s) { Put(s, 0, "RIFF"); Put(s, 8, "WAVE"); }},
        {"row08_avi", "AVI", false, [](std::uint8_t* s) { Put(s, 0, "RIFF"); Put(s, 8, "AVI "); }},
        {"row09_riff", "RIFF", false, [](std::uint8_t* s) { Put(s, 0, "RIFF"); Put(s, 8, "CDXA"); }},
        {"row10_mov", "MOV", false, [](std::uint8_t* s) { s[0] = 0; Put(s, 4, "moov"); }},
        {"row11_nef_nikon_at_352", "NEF", false, [](std::uint8_t* s) { Put(s, 0, "MM"); Put(s, 352, "NIKON"); }},
        {"row12_nef_nikon_at_484", "NEF", false, [](std::uint8_t* s) { Put(s, 0, "II"); Put(s, 484, "NIKON"); }},
        {"row13_mrw", "MRW", false, [](std::uint8_t* s) { Put(s, 0, std::string_view("\0MRM", 4)); }},
        {"row14_dcr", "DCR", false,
         [](std::uint8_t* s) { Put(s, 0, std::string_view("MM\0*", 4)); Put(s, 250, "Kodak"); }},
        // Late in the sector, so the search runs almost to the end.
        {"row15_raf", "RAF", false,
         [](std::uint8_t* s) { Put(s, 0, std::string_view("II*\0", 4)); Put(s, 500, "Fuji"); }},
        // Both searches run through the whole sector and find nothing.
        {"row16_tif", "TIF", false, [](std::uint8_t* s) { Put(s, 0, std::string_view("II*\0", 4)); }},
        // Rules that read a structure once their gate holds.
        {"row17_jpg_tables_first", "JPG", false,
         [](std::uint8_t* s) { Put(s, 0, std::string_view("\xFF\xD8\xFF\xDB\x00\x43\x00", 7)); }},
        {"row18_mp4_file_type_box", "MP4", false,
         [](std::uint8_t* s) { Put(s, 0, std::string_view("\0\0\0\x18" "ftypisom\0\0\2\0isommp41", 24)); }},
        {"row19_heif_generic_brand", "HEIC", false,
         [](std::uint8_t* s) { Put(s, 0, std::string_view("\0\0\0\x1C" "ftypmif1\0\0\0\0mif1miafheic", 28)); }},
        // IFD0 of one entry, DNGVersion.
        {"row20_dng_ifd0", "DNG", false,
         [](std::uint8_t* s) {
             Put(s, 0, std::string_view("II*\0\x08\0\0\0\x01\0"
                                        "\x12\xC6\x01\0\x04\0\0\0\x01\x04\0\0"
                                        "\0\0\0\0", 26));
         }},
        // IFD0 of two entries: Make "NIKON" at 38 and SubIFDs; the walk reads both.
        {"row21_nef_make_in_ifd0", "NEF", false, [](std::uint8_t* s) {
             Put(s, 0, std::string_view("II*\0\x08\0\0\0\x02\0"
                                        "\x0F\x01\x02\0\x06\0\0\0\x26\0\0\0"
                                        "\x4A\x01\x04\0\x01\0\0\0\0\0\0\0"
                                        "\0\0\0\0NIKON\0", 44));
         }},
    };
    return cases;
}

std::vector<std::uint8_t> MakeSectors(const Case& c) {
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kSectors) * kSectorSize, 0);
    std::uint64_t state = 0x2545F4914F6CDD1DULL;
    if (!c.zeroFill) {
        for (auto& b : buffer) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            b = static_cast<std::uint8_t>(state >> 24);
        }
    }
    for (int i = 0; i < kSectors; ++i) {
        std::uint8_t* s = buffer.data() + static_cast<std::size_t>(i) * kSectorSize;
        if (!c.zeroFill && c.expected == nullptr) s[0] = 0;
        c.patch(s);
    }
    return buffer;
}

// The case's answer for every sector, or an error text naming the first sector that differs.
std::string Verify(const Case& c, const std::vector<std::uint8_t>& buffer) {
    for (int i = 0; i < kSectors; ++i) {
        std::string ext = "none";
        const bool found = IsFileStart(buffer.data() + static_cast<std::size_t>(i) * kSectorSize, kSectorSize, ext);
        const bool right = c.expected == nullptr ? !found : (found && ext == c.expected);
        if (!right) return "sector " + std::to_string(i) + " gave " + (found ? ext : std::string("no match"));
    }
    return {};
}

void BM_IsFileStart(benchmark::State& state, const Case& c) {
    const std::vector<std::uint8_t> buffer = MakeSectors(c);
    if (const std::string error = Verify(c, buffer); !error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::string extension;
    for (auto _ : state) {
        int starts = 0;
        for (int i = 0; i < kSectors; ++i)
            starts += IsFileStart(buffer.data() + static_cast<std::size_t>(i) * kSectorSize, kSectorSize, extension);
        benchmark::DoNotOptimize(starts);
        benchmark::DoNotOptimize(extension);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSectors * kSectorSize);
}

const bool registered = [] {
    for (const Case& c : Cases())
        benchmark::RegisterBenchmark((std::string("IsFileStart/") + c.name).c_str(), BM_IsFileStart, c);
    return true;
}();

}  // namespace
}  // namespace quorvane
