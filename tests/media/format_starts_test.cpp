// The start tests (IsFileStart) and signature tests (IsFile) of the JPEG, ISO base media and raw
// rows, on the first bytes of files that the real tools make at test time, and on small edits of
// them where no tool writes the layout (a JPEG whose first segment is not APP0, a HEIF file with a
// generic major brand). Raw files come from exiftool over a TIFF where it can write what the
// format shows in IFD0, and from a small builder where it cannot.
#include "media/filedet.h"
#include "media/recoverutils.h"
#include "media/raw_tiff_builder.h"
#include "media/start_tool_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace quorvane {
namespace {

using testing::RawTiffBuilder;
using testing::ToolFolder;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int32_t kSector = 512;

// The IFD0 tags the raw rows look at.
constexpr std::uint16_t kNewSubfileType = 0x00FE, kPhotometric = 0x0106, kMake = 0x010F, kSubIfds = 0x014A,
                        kDngVersion = 0xC612;
constexpr std::uint16_t kShort = RawTiffBuilder::Short, kLong = RawTiffBuilder::Long;

// The marker segments of a JPEG between its SOI and first SOS: offset and whole length.
struct Segment {
    std::size_t at;
    std::size_t size;
    std::uint8_t marker;
};

std::vector<Segment> SegmentsBeforeScan(const Bytes& jpeg) {
    std::vector<Segment> segments;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
        const std::size_t size = 2 + ((std::size_t{jpeg[at + 2]} << 8) | jpeg[at + 3]);
        segments.push_back({at, size, jpeg[at + 1]});
        at += size;
    }
    return segments;
}

Bytes Erase(Bytes jpeg, const Segment& s) {
    const auto from = jpeg.begin() + static_cast<std::ptrdiff_t>(s.at);
    jpeg.erase(from, from + static_cast<std::ptrdiff_t>(s.size));
    return jpeg;
}

Bytes InsertAfterSoi(Bytes jpeg, const Bytes& segment) {
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

// The first segment of the marker, taken out.
std::function<Bytes(Bytes)> DropFirst(std::uint8_t marker) {
    return [marker](Bytes jpeg) {
        for (const Segment& s : SegmentsBeforeScan(jpeg)) {
            if (s.marker == marker) return Erase(jpeg, s);
        }
        ADD_FAILURE() << "no segment " << int{marker};
        return jpeg;
    };
}

// The first segment of the marker, moved right after SOI: tables and the frame header may come
// in any order before the scan.
std::function<Bytes(Bytes)> MoveFirst(std::uint8_t marker) {
    return [marker](Bytes jpeg) {
        for (const Segment& s : SegmentsBeforeScan(jpeg)) {
            if (s.marker != marker) continue;
            const Bytes segment(jpeg.begin() + static_cast<std::ptrdiff_t>(s.at),
                                jpeg.begin() + static_cast<std::ptrdiff_t>(s.at + s.size));
            return InsertAfterSoi(Erase(jpeg, s), segment);
        }
        ADD_FAILURE() << "no segment " << int{marker};
        return jpeg;
    };
}

// APP0 replaced by another segment.
std::function<Bytes(Bytes)> App0ReplacedBy(Bytes segment) {
    return [segment](Bytes jpeg) { return InsertAfterSoi(DropFirst(0xE0)(std::move(jpeg)), segment); };
}

// The four bytes at offset replaced (a brand of a file type box).
std::function<Bytes(Bytes)> Overwrite(std::size_t offset, const char (&brand)[5]) {
    return [offset, &brand](Bytes file) {
        std::memcpy(file.data() + offset, brand, 4);
        return file;
    };
}

// The offset of the first compatible brand text in a file type box.
std::size_t CompatibleBrandAt(const Bytes& file, const char (&brand)[5]) {
    const std::size_t boxSize = file.size() >= 4 ? (std::size_t{file[2]} << 8 | file[3]) : 0;
    for (std::size_t at = 16; at + 4 <= std::min(boxSize, file.size()); at += 4) {
        if (std::memcmp(file.data() + at, brand, 4) == 0) return at;
    }
    ADD_FAILURE() << "no compatible brand " << brand;
    return 8;
}

struct ToolCase {
    const char* name;
    std::function<Bytes(const ToolFolder&)> make;
    const char* start;      // the extension IsFileStart gives the first sector; nullptr: none
    const char* signature;  // the one IsFile gives the first 4 KiB
};

// A file made by command as name, then edited.
std::function<Bytes(const ToolFolder&)> Tool(std::string command, std::string name,
                                             std::function<Bytes(Bytes)> edit = nullptr) {
    return [=](const ToolFolder& folder) {
        if (!folder.Run(command)) return Bytes{};
        Bytes file = folder.Read(name);
        return edit ? edit(std::move(file)) : file;
    };
}

std::function<Bytes(const ToolFolder&)> Built(Bytes bytes) {
    return [bytes](const ToolFolder&) { return bytes; };
}

const std::string kFilm = "ffmpeg -v error -y -f lavfi -i testsrc=duration=1:size=176x144:rate=10 ";
const std::string kTiff = "convert -size 16x12 xc:blue -compress none ";
const std::string kTiffMsb = kTiff + "-define tiff:endian=msb ";
const std::string kExif = " && exiftool -q -overwrite_original ";

// A bare file type box and a little more, where no tool here writes the format.
Bytes FileTypeBox(const std::string& brands) {
    Bytes box = {0, 0, 0, static_cast<std::uint8_t>(8 + brands.size()), 'f', 't', 'y', 'p'};
    box.insert(box.end(), brands.begin(), brands.end());
    box.resize(1024, 0);
    return box;
}

const std::string kCanonRaw("CR\x02\0", 4);  // CR2's mark and major version at 8

std::vector<ToolCase> Cases() {
    const Bytes restartInterval = {0xFF, 0xDD, 0x00, 0x04, 0x00, 0x00};
    const Bytes comment = {0xFF, 0xFE, 0x00, 0x07, 'h', 'e', 'l', 'l', 'o'};
    const std::string picture = "convert -size 64x48 gradient:red-blue ";
    return {
        // JPEG: convert writes APP0 (JFIF) first, or APP14 (Adobe) for CMYK.
        {"JFIF", Tool(picture + "a.jpg", "a.jpg"), "JPG", "JPG"},
        {"CMYK: Adobe APP14 first", Tool(picture + "-colorspace CMYK b.jpg", "b.jpg"), "JPG", "JPG"},
        {"quantisation tables first", Tool(picture + "c.jpg", "c.jpg", DropFirst(0xE0)), "JPG", "JPG"},
        {"baseline frame header first", Tool(picture + "d.jpg", "d.jpg", MoveFirst(0xC0)), "JPG", "JPG"},
        {"grey frame header (one component) first", Tool(picture + "-colorspace Gray e.jpg", "e.jpg", MoveFirst(0xC0)),
         "JPG", "JPG"},
        {"progressive frame header first", Tool(picture + "-interlace Plane f.jpg", "f.jpg", MoveFirst(0xC2)), "JPG",
         "JPG"},
        {"Huffman table first", Tool(picture + "g.jpg", "g.jpg", MoveFirst(0xC4)), "JPG", "JPG"},
        {"restart interval first", Tool(picture + "h.jpg", "h.jpg", App0ReplacedBy(restartInterval)), "JPG", "JPG"},
        {"comment first", Tool(picture + "i.jpg", "i.jpg", App0ReplacedBy(comment)), "JPG", "JPG"},

        // ISO base media: ffmpeg picks the brand by the container asked for.
        {"ffmpeg MP4 (isom)", Tool(kFilm + "a.mp4", "a.mp4"), "MP4", "MP4"},
        {"ffmpeg QuickTime (qt)", Tool(kFilm + "a.mov", "a.mov"), "MOV", "MOV"},
        {"ffmpeg 3GPP (3gp4)", Tool(kFilm + "a.3gp", "a.3gp"), "3GP", "3GP"},
        {"ffmpeg 3GPP2 (3g2a)", Tool(kFilm + "a.3g2", "a.3g2"), "3G2", "3G2"},
        {"ffmpeg M4V", Tool(kFilm + "a.m4v", "a.m4v"), "M4V", "M4V"},
        {"ffmpeg M4A", Tool("ffmpeg -v error -y -f lavfi -i sine=duration=1 a.m4a", "a.m4a"), "M4A", "M4A"},
        {"heif-enc HEIC (heic)", Tool(picture + "p.jpg && heif-enc -q 30 -o a.heic p.jpg", "a.heic"), "HEIC", "HEIC"},
        {"HEIC with the generic major brand mif1", Tool(picture + "q.jpg && heif-enc -q 30 -o b.heic q.jpg", "b.heic",
                                                         Overwrite(8, "mif1")),
         "HEIC", "HEIC"},
        {"HEIF with no codec brand (mif1, miaf)",
         Tool(picture + "r.jpg && heif-enc -q 30 -o c.heic r.jpg", "c.heic",
              [](Bytes f) { return Overwrite(CompatibleBrandAt(f, "heic"), "miaf")(Overwrite(8, "mif1")(f)); }),
         "HEIF", "HEIF"},
        {"heif-enc AVIF (avif)", Tool(picture + "s.jpg && heif-enc -A -q 30 -o a.avif s.jpg", "a.avif"), "AVIF",
         "AVIF"},
        {"AVIF with the generic major brand mif1",
         Tool(picture + "t.jpg && heif-enc -A -q 30 -o b.avif t.jpg", "b.avif", Overwrite(8, "mif1")), "AVIF", "AVIF"},
        {"Canon CR3 (crx)", Built(FileTypeBox(std::string("crx \0\0\0\1crx isom", 16))), "CR3", "CR3"},

        // Raw files over TIFF. exiftool writes IFD0 at 8 with its values after it.
        {"NEF: Nikon Make and a preview IFD0, Motorola order",
         Tool(kTiffMsb + "a.tif" + kExif + "-Make='NIKON CORPORATION' -IFD0:SubfileType#=1 a.tif", "a.tif"), "NEF",
         "NEF"},
        {"a Nikon camera's TIFF picture stays TIFF",
         Tool(kTiffMsb + "b.tif" + kExif + "-Make='NIKON CORPORATION' b.tif", "b.tif"), "TIF", "TIF"},
        {"ARW: Sony Make and a preview IFD0",
         Tool(kTiff + "c.tif" + kExif + "-Make=SONY -IFD0:SubfileType#=1 c.tif", "c.tif"), "ARW", "ARW"},
        {"DNG: DNGVersion, whatever the Make",
         Tool(kTiff + "d.tif" + kExif + "-DNGVersion=1.4.0.0 -Make='NIKON CORPORATION' -IFD0:SubfileType#=1 d.tif",
              "d.tif"),
         "DNG", "DNG"},
        {"DNG with NIKON at 352, where the older Nikon rules look",
         Built(RawTiffBuilder(true)
                   .Text(kMake, "NIKON CORPORATION")
                   .Bytes(kDngVersion, {1, 4, 0, 0})
                   .ValuesAt(352)
                   .Build()),
         "DNG", "DNG"},
        {"PEF: Pentax Make and colour filter array pixels",
         Built(RawTiffBuilder(true).Text(kMake, "PENTAX Corporation").Number(kPhotometric, kShort, 32803).Build()),
         "PEF", "PEF"},
        {"PEF of a Ricoh-made Pentax body, with SubIFDs",
         Built(RawTiffBuilder(false)
                   .Text(kMake, "RICOH IMAGING COMPANY, LTD.")
                   .Number(kSubIfds, kLong, 1024)
                   .Build()),
         "PEF", "PEF"},
        {"CR2 with the Make text at 250, where the older Canon rule looks",
         Built(RawTiffBuilder(false, 42, 16).Put(8, kCanonRaw).Text(kMake, "Canon").ValuesAt(250).Build()),
         "CR2", "CR2"},
        {"ORF (IIRO)", Built(RawTiffBuilder(false, 0x4F52).Text(kMake, "OLYMPUS IMAGING CORP.").Build()), "ORF", "ORF"},
        {"ORF (IIRS)", Built(RawTiffBuilder(false, 0x5352).Text(kMake, "OLYMPUS OPTICAL").Build()), "ORF", "ORF"},
        {"ORF (MMOR)", Built(RawTiffBuilder(true, 0x4F52).Text(kMake, "OLYMPUS OPTICAL").Build()), "ORF", "ORF"},
        {"RW2 (IIU)", Built(RawTiffBuilder(false, 0x55, 0x18).Text(kMake, "Panasonic").Build()), "RW2", "RW2"},
        // A start test reads the sector only; the file's first 4 KiB show the Make.
        {"NEF whose Make text lies past the first sector",
         Built(RawTiffBuilder(true)
                   .Text(kMake, "NIKON CORPORATION")
                   .Number(kNewSubfileType, kLong, 1)
                   .ValuesAt(600)
                   .Build()),
         "TIF", "NEF"},
    };
}

TEST(FormatStarts, RealFilesStartWhereTheirRowSays) {
    const ToolFolder folder;
    for (const ToolCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        const Bytes file = c.make(folder);
        ASSERT_GE(file.size(), 64u);

        std::array<std::uint8_t, 512> sector{};
        std::memcpy(sector.data(), file.data(), std::min(file.size(), sector.size()));
        std::string extension = "none";
        EXPECT_EQ(IsFileStart(sector.data(), 512, extension), c.start != nullptr);
        EXPECT_EQ(extension, c.start != nullptr ? c.start : "none");

        std::string named = "none";
        std::uint8_t type = 0;
        const auto head = static_cast<std::uint32_t>(std::min<std::size_t>(file.size(), 4096));
        EXPECT_EQ(IsFile(file.data(), head, named, type), c.signature != nullptr);
        EXPECT_EQ(named, c.signature != nullptr ? c.signature : "none");
    }
}

// Bytes just inside and just outside what each new rule takes for a start, on sectors that
// nothing else matches (zero filler).
struct EdgeCase {
    const char* name;
    Bytes start;                 // the sector's first bytes
    const char* extension;       // nullptr: no start
    std::int32_t size = kSector;  // the drive's bytes per sector
};

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Jpeg(std::uint8_t marker, unsigned length, Bytes body = {}) {
    return Cat({{0xFF, 0xD8, 0xFF, marker, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)},
                std::move(body)});
}

// A Huffman table header: selector, then 16 code counts of which the first holds symbols.
Bytes HuffmanHeader(std::uint8_t selector, std::uint8_t symbols) {
    Bytes b = {selector, symbols};
    b.resize(17, 0);
    return b;
}

Bytes Ftyp(std::uint32_t boxSize, const std::string& brands) {
    Bytes b = {static_cast<std::uint8_t>(boxSize >> 24), static_cast<std::uint8_t>(boxSize >> 16),
               static_cast<std::uint8_t>(boxSize >> 8), static_cast<std::uint8_t>(boxSize), 'f', 't', 'y', 'p'};
    b.insert(b.end(), brands.begin(), brands.end());
    return b;
}

const std::string kZero4("\0\0\0\0", 4);
const std::string kFour("\0\0\0\4", 4);

TEST(FormatStarts, BytesJustInsideOrOutsideARule) {
    const Bytes sonyIfdAt600 = RawTiffBuilder(false, 42, 600).Text(kMake, "SONY").Number(kSubIfds, kLong, 1).Build();
    const std::vector<EdgeCase> cases = {
        {"one 8-bit quantisation table", Jpeg(0xDB, 67, {0x00}), "JPG"},
        {"two 8-bit tables", Jpeg(0xDB, 132, {0x00}), "JPG"},
        {"one 16-bit table", Jpeg(0xDB, 131, {0x10}), "JPG"},
        {"quantisation length of no table count", Jpeg(0xDB, 68, {0x00}), nullptr},
        {"five tables are one too many", Jpeg(0xDB, 2 + 5 * 65, {0x00}), nullptr},
        {"quantisation table destination 4", Jpeg(0xDB, 67, {0x04}), nullptr},
        {"frame header of three components", Jpeg(0xC0, 17, {8, 0, 16, 0, 16, 3}), "JPG"},
        {"lossless frame header of one component", Jpeg(0xC3, 11, {16, 0, 16, 0, 16, 1}), "JPG"},
        {"frame length that fits no component count", Jpeg(0xC1, 16, {8, 0, 16, 0, 16, 3}), nullptr},
        {"frame of five components", Jpeg(0xC0, 23, {8, 0, 16, 0, 16, 5}), nullptr},
        {"frame of width 0", Jpeg(0xC2, 17, {8, 0, 16, 0, 0, 3}), nullptr},
        {"SOF5 is not a first segment", Jpeg(0xC5, 17, {8, 0, 16, 0, 16, 3}), nullptr},
        {"Huffman table with its symbols", Jpeg(0xC4, 19 + 12, HuffmanHeader(0x10, 12)), "JPG"},
        {"Huffman segment shorter than its symbols", Jpeg(0xC4, 19 + 11, HuffmanHeader(0x10, 12)), nullptr},
        {"Huffman table without symbols", Jpeg(0xC4, 19, HuffmanHeader(0x00, 0)), nullptr},
        {"Huffman table class 2", Jpeg(0xC4, 19 + 12, HuffmanHeader(0x20, 12)), nullptr},
        {"restart interval", Jpeg(0xDD, 4), "JPG"},
        {"restart interval of length 5", Jpeg(0xDD, 5), nullptr},
        {"APP2 of length 2", Jpeg(0xE2, 2), "JPG"},
        {"APP15 of length 1", Jpeg(0xEF, 1), nullptr},
        {"comment of length 0", Jpeg(0xFE, 0), nullptr},

        {"file type box of 16 bytes", Ftyp(16, "isom" + kZero4), "MP4"},
        {"file type box of 4096 bytes", Ftyp(4096, "mp42" + kZero4), "MP4"},
        {"file type box of 12 bytes", Ftyp(12, "isom" + kZero4), nullptr},
        {"file type box of 4100 bytes", Ftyp(4100, "isom" + kZero4), nullptr},
        {"file type box of 30 bytes", Ftyp(30, "isom" + kZero4 + "isomiso2"), nullptr},
        {"unknown major brand", Ftyp(24, "abcd" + kZero4 + "isom"), nullptr},
        {"Sony camera film", Ftyp(24, "XAVC" + kZero4 + "XAVCmp42"), "MP4"},
        {"HEVC brand in the box", Ftyp(24, "mif1" + kZero4 + "miafheic"), "HEIC"},
        {"HEVC brand just past the box", Ftyp(24, "mif1" + kZero4 + "miafmif1heic"), "HEIF"},
        {"AV1 brand in the box", Ftyp(20, "msf1" + kZero4 + "avis"), "AVIF"},

        {"IFD0 outside the sector", sonyIfdAt600, "TIF"},
        {"IFD0 inside a larger sector", sonyIfdAt600, "ARW", 2048},
        {"IFD0 offset inside the header",
         RawTiffBuilder(true, 42, 8).Text(kMake, "SONY").Number(kSubIfds, kLong, 1).Put(4, kFour).Build(), "TIF"},
        {"Make of four bytes held in its entry",
         RawTiffBuilder(true).Text(kMake, "SONY", false).Number(kSubIfds, kLong, 1).Build(), "ARW"},
        {"Make text past the sector",
         RawTiffBuilder(true).Text(kMake, "SONY").Number(kSubIfds, kLong, 1).ValuesAt(520).Build(), "TIF"},
        {"Make text cut by the sector's end",
         RawTiffBuilder(true).Text(kMake, "PENTAX").Number(kNewSubfileType, kLong, 1).ValuesAt(508).Build(), "TIF"},
        {"entry count past the sector, Make among the entries read",
         RawTiffBuilder(false).Text(kMake, "NIKON").Number(kSubIfds, kLong, 1).Put(8, "\xFF\xFF").Build(), "NEF"},
        {"Make of another maker", RawTiffBuilder(false).Text(kMake, "Leica").Number(kSubIfds, kLong, 1).Build(), "TIF"},
    };
    for (const EdgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes sector(4096, 0);
        std::copy_n(c.start.begin(), std::min(c.start.size(), sector.size()), sector.begin());
        std::string extension = "none";
        EXPECT_EQ(IsFileStart(sector.data(), c.size, extension), c.extension != nullptr);
        EXPECT_EQ(extension, c.extension != nullptr ? c.extension : "none");
    }
}

}  // namespace
}  // namespace quorvane
