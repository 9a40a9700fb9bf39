#include "media/recoverutils.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace quorvane {
namespace {

using Sector = std::array<std::uint8_t, 512>;

struct Put {
    std::size_t at;
    std::string bytes;
};

Sector sectorWith(std::initializer_list<Put> puts) {
    Sector s{};
    s.fill(0x55);  // matches no row on its own
    for (const auto& p : puts) std::memcpy(s.data() + p.at, p.bytes.data(), p.bytes.size());
    return s;
}

const std::string tiffLE("II\x2A\x00", 4);
const std::string tiffBE("MM\x00\x2A", 4);

struct StartCase {
    const char* name;
    Sector sector;
    const char* extension;  // nullptr: no start
};

TEST(IsFileStart, RecognisesEachRowInOrder) {
    const StartCase cases[] = {
        {"JFIF JPEG", sectorWith({{0, "\xFF\xD8\xFF\xE0"}}), "JPG"},
        {"Exif JPEG with a TIFF header inside", sectorWith({{0, "\xFF\xD8\xFF\xE1"}, {12, tiffLE}}), "JPG"},
        {"JPEG with quantisation tables of an impossible length", sectorWith({{0, "\xFF\xD8\xFF\xDB"}}), nullptr},
        {"Canon CRW header", sectorWith({{0, "II"}, {6, "HEAPCCDR"}}), "CRW"},
        {"Canon maker text alone", sectorWith({{250, "Canon"}}), "CRW"},
        {"JPEG wins over Canon text", sectorWith({{0, "\xFF\xD8\xFF\xE1"}, {250, "Canon"}}), "JPG"},
        {"Canon text wins over BMP", sectorWith({{0, std::string("BM\x01\x02\x03\x04\0\0\0\0", 10)}, {250, "Canon"}}), "CRW"},
        {"BMP", sectorWith({{0, std::string("BM\x01\x02\x03\x04\0\0\0\0", 10)}}), "BMP"},
        {"BM with reserved bytes set", sectorWith({{0, std::string("BM\x01\x02\x03\x04\0\0\0\x01", 10)}}), nullptr},
        {"GIF89a", sectorWith({{0, "GIF89a"}}), "GIF"},
        {"GIF87a", sectorWith({{0, "GIF87a"}}), "GIF"},
        {"GIF88a", sectorWith({{0, "GIF88a"}}), nullptr},
        {"PNG", sectorWith({{0, "\x89PNG\r\n\x1A\n"}}), "PNG"},
        {"RIFF WAVE", sectorWith({{0, "RIFF"}, {8, "WAVE"}}), "WAV"},
        {"RIFF AVI", sectorWith({{0, "RIFF"}, {8, "AVI "}}), "AVI"},
        {"RIFF AVIX (byte 11 not tested)", sectorWith({{0, "RIFF"}, {8, "AVIX"}}), "AVI"},
        {"other RIFF", sectorWith({{0, "RIFF"}, {8, "CDXA"}}), "RIFF"},
        {"QuickTime moov", sectorWith({{4, "moov"}}), "MOV"},
        {"NEF with NIKON at 352 without TIFF magic", sectorWith({{0, "MM\x01\x02"}, {352, "NIKON"}}), "NEF"},
        {"NEF with NIKON at 484", sectorWith({{0, "II"}, {484, "NIKON"}}), "NEF"},
        {"MRW with zero first byte", sectorWith({{0, std::string("\0MRM", 4)}}), "MRW"},
        {"MRW with FF first byte", sectorWith({{0, "\xFFMRM"}}), "MRW"},
        {"DCR: big-endian TIFF, Kodak at 10", sectorWith({{0, tiffBE}, {10, "Kodak"}}), "DCR"},
        {"TIF: Kodak at 12 is not on the search grid", sectorWith({{0, tiffBE}, {12, "Kodak"}}), "TIF"},
        {"RAF: little-endian TIFF, Fuji at 7", sectorWith({{0, tiffLE}, {7, "Fuji"}}), "RAF"},
        {"RAF: Fuji in the last four bytes", sectorWith({{0, tiffLE}, {508, "Fuji"}}), "RAF"},
        {"DCR wins over RAF", sectorWith({{0, tiffLE}, {10, "Kodak"}, {100, "Fuji"}}), "DCR"},
        {"plain TIFF", sectorWith({{0, tiffLE}}), "TIF"},
        {"nothing", sectorWith({}), nullptr},
        {"zeros", Sector{}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string extension = "previous";
        const bool found = IsFileStart(c.sector.data(), 512, extension);
        if (c.extension == nullptr) {
            EXPECT_FALSE(found);
            EXPECT_EQ(extension, "previous");  // untouched without a match
        } else {
            EXPECT_TRUE(found);
            EXPECT_EQ(extension, c.extension);
        }
    }
}

TEST(IsFileEnd, AnswersOncePastTheLimitAndCountsEverySector) {
    const Sector s{};
    std::int64_t count = CarvedFileSizeLimit - 512;
    EXPECT_FALSE(IsFileEnd(s.data(), 512, count, "JPG"));
    EXPECT_EQ(count, 5'120'000);  // exactly the limit is not past it
    count = CarvedFileSizeLimit;
    EXPECT_TRUE(IsFileEnd(s.data(), 1, count, "JPG"));

    // A file created with its first sector counted ends at its 10,001st sector.
    count = 512;
    int sectors = 1;
    while (!IsFileEnd(s.data(), 512, count, "JPG")) ++sectors;
    EXPECT_EQ(sectors + 1, 10'001);
}

TEST(ContainsText, SearchesOnlyAtMultiplesOfTheTextLength) {
    Sector s{};
    std::memcpy(s.data() + 505, "Kodak", 5);  // the last window that starts below 512 - 5
    EXPECT_TRUE(ContainsText(s.data(), 512, "Kodak"));
    EXPECT_TRUE(ContainsText(s.data(), 511, "Kodak"));   // 505 < 511 - 5: still tried
    EXPECT_FALSE(ContainsText(s.data(), 510, "Kodak"));  // 505 is not below 510 - 5
    EXPECT_FALSE(ContainsText(s.data(), 512, "kodak"));  // case-sensitive
    s = Sector{};
    std::memcpy(s.data() + 506, "Kodak", 5);  // off the grid of multiples of 5
    EXPECT_FALSE(ContainsText(s.data(), 512, "Kodak"));
}

TEST(FillBuffer, FillsExactlyTheGivenLength) {
    std::array<std::uint8_t, 8> b{};
    b.fill(7);
    FillBuffer(b.data(), 0, 1);
    FillBuffer(b.data(), -3, 1);
    EXPECT_EQ(b[0], 7);
    FillBuffer(b.data(), 5, 0);
    EXPECT_EQ(b[4], 0);
    EXPECT_EQ(b[5], 7);
}

}  // namespace
}  // namespace quorvane
