#include "media/filedet.h"
#include "media/raw_tiff_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvane {
namespace {

// A 512-byte cluster start filled with filler, with byte strings written at given offsets.
struct Patch {
    std::size_t offset;
    std::string bytes;
};

std::vector<std::uint8_t> MakeCluster(const std::vector<Patch>& patches, std::uint8_t filler = 0) {
    std::vector<std::uint8_t> cluster(512, filler);
    for (const auto& p : patches) {
        std::copy(p.bytes.begin(), p.bytes.end(), cluster.begin() + static_cast<std::ptrdiff_t>(p.offset));
    }
    return cluster;
}

const std::string kNoMatch = "<none>";

struct SignatureCase {
    const char* name;
    std::vector<Patch> patches;
    std::string expected;  // kNoMatch when IsFile must answer false
};

TEST(IsFile, NamesTheTypeFromTheFirstBytes) {
    const std::string tiffLE("II\x2A\x00", 4);
    const std::string tiffBE("MM\x00\x2A", 4);
    const std::vector<SignatureCase> cases = {
        {"JPEG with a quantisation table marker", {{0, "\xFF\xD8\xFF\xDB"}}, "JPG"},
        {"JPEG start alone, any marker after it", {{0, "\xFF\xD8\x00\x00"}}, "JPG"},
        {"bitmap with non-zero reserved fields", {{0, "BM"}, {6, "\x12\x34\x56\x78"}}, "BMP"},
        {"GIF89a", {{0, "GIF89a"}}, "GIF"},
        {"GIF87a", {{0, "GIF87a"}}, "GIF"},
        {"GIF88a is not a GIF version", {{0, "GIF88a"}}, kNoMatch},
        {"GIF89b is not a GIF version", {{0, "GIF89b"}}, kNoMatch},
        {"Canon CRW heap, Intel order", {{0, "II"}, {6, "HEAPCCDR"}}, "CRW"},
        {"Canon CRW heap, Motorola order", {{0, "MM"}, {6, "HEAPCCDR"}}, "CRW"},
        {"CRW heap text without byte order mark", {{0, "XX"}, {6, "HEAPCCDR"}}, kNoMatch},
        {"TIFF carrying the Canon model name", {{0, tiffLE}, {250, "Canon EOS-1D"}}, "CRW"},
        {"Canon model name alone is enough", {{250, "Canon EOS-1D"}}, "CRW"},
        {"shorter Canon model name is not", {{0, "Q"}, {250, "Canon EOS-1"}}, kNoMatch},
        {"TIFF with NIKON at 352", {{0, tiffLE}, {352, "NIKON"}}, "NEF"},
        {"TIFF with NIKON at 484", {{0, tiffLE}, {484, "NIKON"}}, "NEF"},
        {"NIKON at 484 without byte order mark", {{0, "QQ"}, {484, "NIKON"}}, kNoMatch},
        {"Minolta raw, first byte not tested", {{0, "\x7FMRM"}}, "MRW"},
        {"plain little-endian TIFF", {{0, tiffLE}}, "TIF"},
        {"plain big-endian TIFF", {{0, tiffBE}}, "TIF"},
        {"TIFF mark with the wrong magic", {{0, std::string("II\x2B\x00", 4)}}, kNoMatch},
        {"PNG", {{0, "\x89PNG\r\n\x1A\n"}}, "PNG"},
        {"PNG with a damaged line-end check", {{0, "\x89PNG\r\r\x1A\n"}}, kNoMatch},
        {"RIFF CorelDraw, any fourth byte", {{0, "RIFF"}, {8, "CDRx"}}, "CDR"},
        {"RIFF WAVE", {{0, "RIFF"}, {8, "WAVE"}}, "WAV"},
        {"RIFF AVI with the blank", {{0, "RIFF"}, {8, "AVI "}}, "AVI"},
        {"RIFF AVIX is another RIFF", {{0, "RIFF"}, {8, "AVIX"}}, "RIFF"},
        {"lower-case riff is not RIFF", {{0, "riff"}, {8, "WAVE"}}, kNoMatch},
        {"standard MIDI file", {{0, "MThd"}}, "MID"},
        {"QuickTime movie atom at 4", {{4, "moov"}}, "MOV"},
        {"QuickTime free atom is not recognised", {{4, "free"}}, kNoMatch},
        {"all zero", {}, kNoMatch},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto cluster = MakeCluster(c.patches);
        std::string ext = kNoMatch;
        std::uint8_t type = 0;
        const bool found = IsFile(cluster.data(), static_cast<std::uint32_t>(cluster.size()), ext, type);
        EXPECT_EQ(found, c.expected != kNoMatch);
        EXPECT_EQ(ext, c.expected);  // unchanged on no match
        EXPECT_EQ(type, IsFileTypeValue);
    }
}

TEST(IsFile, EarlierRowsWin) {
    struct Case {
        const char* name;
        std::vector<Patch> patches;
        const char* expected;
    };
    const std::vector<Case> cases = {
        // A JPEG start beats the Canon model text further in.
        {"JPEG over Canon text", {{0, "\xFF\xD8"}, {250, "Canon EOS-1D"}}, "JPG"},
        // The Canon model text is tested before the plain TIFF header.
        {"Canon text over TIFF", {{0, std::string("MM\x00\x2A", 4)}, {250, "Canon EOS-1D"}}, "CRW"},
        // NIKON at 352 and a TIFF header: the raw type wins.
        {"NIKON over TIFF", {{0, std::string("MM\x00\x2A", 4)}, {352, "NIKON"}}, "NEF"},
        // A RIFF file whose size field happens to read "moov" stays RIFF.
        {"RIFF over moov", {{0, "RIFFmoov"}, {8, "WAVE"}}, "WAV"},
        // A file type box names the film before the Canon model text that Canon's films carry.
        {"QuickTime file type over Canon text",
         {{0, std::string("\0\0\0\x14" "ftypqt  \0\0\0\0qt  ", 20)}, {250, "Canon EOS-1D"}},
         "MOV"},
        // CR2's mark is tighter than the model text and the TIFF header.
        {"CR2 over Canon text", {{0, std::string("II\x2A\0\x10\0\0\0CR", 10)}, {250, "Canon EOS-1D"}}, "CR2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto cluster = MakeCluster(c.patches);
        std::string ext;
        std::uint8_t type = 0;
        ASSERT_TRUE(IsFile(cluster.data(), 512, ext, type));
        EXPECT_EQ(ext, c.expected);
    }
}

TEST(IsFile, NeverReadsPastTheGivenSize) {
    // The NIKON text lies at 484-488; a buffer that ends before byte 489 cannot show it.
    auto cluster = MakeCluster({{0, "II"}, {484, "NIKON"}});
    std::string ext = "old";
    std::uint8_t type = 0;
    EXPECT_FALSE(IsFile(cluster.data(), 488, ext, type));
    EXPECT_EQ(ext, "old");
    EXPECT_TRUE(IsFile(cluster.data(), 489, ext, type));
    EXPECT_EQ(ext, "NEF");

    // Tiny buffers: only the rows whose bytes fit are tried.
    const std::uint8_t jpegStart[] = {0xFF, 0xD8};
    EXPECT_TRUE(IsFile(jpegStart, 2, ext, type));
    EXPECT_EQ(ext, "JPG");
    ext = "old";
    EXPECT_FALSE(IsFile(jpegStart, 1, ext, type));
    EXPECT_FALSE(IsFile(jpegStart, 0, ext, type));
    EXPECT_FALSE(IsFile(nullptr, 512, ext, type));
    EXPECT_EQ(ext, "old");
    EXPECT_EQ(type, IsFileTypeValue);

    // Structures are read only as far as the size: a Make text cut short names no maker, and a
    // compatible brand past the end is not seen.
    const auto nef = testing::RawTiffBuilder(false).Text(0x010F, "NIKON").Number(0x014A, 4, 1).ValuesAt(100).Build();
    EXPECT_TRUE(IsFile(nef.data(), 104, ext, type));
    EXPECT_EQ(ext, "TIF");
    EXPECT_TRUE(IsFile(nef.data(), 105, ext, type));
    EXPECT_EQ(ext, "NEF");
    const auto heif = MakeCluster({{0, std::string("\0\0\0\x1C" "ftypmif1\0\0\0\0mif1heic", 28)}});
    EXPECT_TRUE(IsFile(heif.data(), 23, ext, type));
    EXPECT_EQ(ext, "HEIF");
    EXPECT_TRUE(IsFile(heif.data(), 24, ext, type));
    EXPECT_EQ(ext, "HEIC");
}

TEST(MediaExtensions, AreTheListedRowsInTheOrderUsersSeeThem) {
    // Derived from the listed rows of the format table: a row added, dropped or moved there
    // shows up here.
    const std::vector<std::string_view> expected = {
        "jpg", "jpeg", "crw", "bmp",  "gif",  "png",  "wav",  "avi", "riff", "mov", "nef",
        "mrw", "dcr",  "raf", "tif",  "tiff", "pcx",  "mp4",  "m4a", "m4v",  "3gp", "3g2",
        "heic", "heif", "avif", "cr3", "cr2", "dng", "arw", "pef", "orf", "rw2"};
    EXPECT_EQ(std::vector<std::string_view>(MediaExtensions.begin(), MediaExtensions.end()), expected);
}

TEST(MediaExtensions, TheThreeFormsListTheSameTypesInOrder) {
    for (std::size_t i = 0; i < MediaExtensions.size(); ++i) {
        std::string upper(MediaExtensions[i]);
        for (char& c : upper) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        EXPECT_EQ(MediaExtensionPatterns[i], "*." + std::string(MediaExtensions[i]));
        EXPECT_EQ(MediaExtensionTexts[i], "." + upper);
    }
}

TEST(MediaExtensions, DecideWhichFileNamesAreMedia) {
    const std::vector<std::pair<const char*, bool>> cases = {
        {"IMG_0001.JPG", true},  {"photo.jpeg", true},  {"PHOTO.JPEG", true}, {"photo.jpe", false},
        {"scan.tiff", true},     {"scan.Tif", true},    {"clip.AVI", true},   {"draw.cdr", false},
        {"song.mid", false},     {"README", false},     {"archive.jpg.zip", false},
        {"a.b.pcx", true},       {".jpg", true},        {"jpg", false},       {"x.", false},
        {"MVI_0001.MP4", true},  {"IMG_0001.HEIC", true}, {"song.m4a", true}, {"DSC_0001.NEF", true},
        {"clip.3GP", true},      {"clip.mp4v", false},
    };
    for (const auto& [name, media] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(IsMediaFileName(name), media);
    }
    EXPECT_TRUE(IsMediaExtension(".raf"));
    EXPECT_FALSE(IsMediaExtension("raf"));
    EXPECT_FALSE(IsMediaExtension(""));
}

}  // namespace
}  // namespace quorvane
