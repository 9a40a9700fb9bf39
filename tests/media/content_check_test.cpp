#include "media/content_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/image_fixtures.h"

namespace quorvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::RunTool;
using testing::TempDir;

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::size_t Find(const Bytes& bytes, std::string_view text) {
    const auto at = std::search(bytes.begin(), bytes.end(), text.begin(), text.end(),
                                [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); });
    EXPECT_NE(at, bytes.end()) << "no " << text;
    return static_cast<std::size_t>(at - bytes.begin());
}

std::uint32_t Le32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

void PutBe32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// Where overwritten bytes hit what a format's check reads. For formats whose middle is picture
// or sound data that every byte value fits (BMP and TIFF pixels, PCM samples, the media data of
// films and HEIF pictures) that is the structure around it, since no structure check can see
// damage inside such data.
using Locate = std::function<std::size_t(const Bytes&)>;
const Locate Middle = [](const Bytes& b) { return b.size() / 2; };
// plus counts from the box or chunk type: 4 is where a box's first child starts.
Locate Inside(std::string_view type, std::size_t plus) {
    return [type, plus](const Bytes& b) { return Find(b, type) + plus; };
}
// ImageMagick writes TIFF in Intel order here, with IFD0 after the picture data.
const Locate TiffIfd0 = [](const Bytes& b) { return std::size_t{Le32(b, 4)}; };

struct Sample {
    const char* file;
    ContentCheck check;
    // Makes the file; {src} is a 640x480 picture, {out} the file.
    const char* command;
    Locate damageAt;
};

// Two seconds of a test picture and a tone, for every film sample.
constexpr const char* kFilm =
    "ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=10:duration=2 "
    "-f lavfi -i sine=frequency=440:sample_rate=8000:duration=2 -fflags +bitexact -flags +bitexact ";

const std::vector<Sample>& Samples() {
    static const std::vector<Sample> samples = {
        {"baseline.jpg", ContentCheck::JpegDecode, "convert {src} -quality 90 {out}", Middle},
        {"progressive.jpg", ContentCheck::JpegDecode, "convert {src} -quality 90 -interlace Plane {out}", Middle},
        // An Exif block holding a preview with its own SOI and EOI ahead of the picture.
        {"exif.jpg", ContentCheck::JpegDecode,
         "convert {src} -quality 90 {out} && convert {src} -resize 160x120 {out}.thumb.jpg && "
         "exiftool -q -overwrite_original '-ThumbnailImage<={out}.thumb.jpg' {out}",
         Middle},
        {"picture.png", ContentCheck::PngChunks, "convert {src} {out}", Middle},
        {"picture.gif", ContentCheck::GifBlocks, "convert {src} {out}", Middle},
        {"picture.bmp", ContentCheck::BmpHeader, "convert {src} {out}", [](const Bytes&) { return 0; }},
        {"plain.tif", ContentCheck::TiffStructure, "convert {src} -compress none {out}", TiffIfd0},
        {"lzw.tif", ContentCheck::TiffStructure, "convert {src} -compress lzw {out}", TiffIfd0},
        {"moov-last.mp4", ContentCheck::IsoBoxes, "{film} -c:v libx264 -c:a aac {out}", Inside("moov", 4)},
        {"moov-first.mp4", ContentCheck::IsoBoxes, "{film} -c:v libx264 -c:a aac -movflags +faststart {out}",
         Inside("moov", 4)},
        {"film.mov", ContentCheck::IsoBoxes, "{film} -c:v mpeg4 -c:a pcm_s16le {out}", Inside("moov", 4)},
        {"picture.heic", ContentCheck::IsoBoxes, "heif-enc -q 50 -o {out} {src}", Inside("meta", 4)},
        {"film.avi", ContentCheck::RiffChunks, "{film} -c:v mpeg4 -c:a pcm_s16le {out}", Middle},
        {"sound.wav", ContentCheck::RiffChunks,
         "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=1 -fflags +bitexact {out}", Inside("fmt ", 0)},
    };
    return samples;
}

std::string Expand(std::string text, const std::string& key, const std::string& value) {
    for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
    return text;
}

class ContentCheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        const std::string src = dir_->file("source.png");
        ASSERT_EQ(RunTool("convert -seed 7 -size 640x480 plasma:fractal '" + src + "'"), 0);
        for (const Sample& s : Samples()) {
            std::string command = Expand(s.command, "{film}", kFilm);
            command = Expand(Expand(command, "{src}", "'" + src + "'"), "{out}", "'" + dir_->file(s.file) + "'");
            ASSERT_EQ(RunTool(command), 0) << command;
        }
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static std::string Path(const std::string& name) { return dir_->file(name); }

    // Writes bytes to a new file and checks it.
    static TFileCondition CheckBytes(ContentCheck check, const Bytes& bytes) {
        const std::string path = Path("case.bin");
        WriteAll(path, bytes);
        return CheckFileContent(check, path);
    }

    static inline std::unique_ptr<TempDir> dir_;
};

TEST_F(ContentCheckTest, FilesAsTheToolsWroteThemAreWhole) {
    for (const Sample& s : Samples()) {
        EXPECT_EQ(CheckFileContent(s.check, Path(s.file)), TFileCondition::Whole) << s.file;
    }
}

TEST_F(ContentCheckTest, FilesCutInHalfAreDamaged) {
    for (const Sample& s : Samples()) {
        Bytes bytes = ReadAll(Path(s.file));
        bytes.resize(bytes.size() / 2);
        EXPECT_EQ(CheckBytes(s.check, bytes), TFileCondition::Damaged) << s.file;
    }
}

// A cluster's worth of bytes replaced (32 KiB, as on most cards), as when a recovered file took a
// cluster of another file; in the smaller samples that runs to the end.
TEST_F(ContentCheckTest, FilesWithOverwrittenBytesAreDamaged) {
    constexpr std::size_t kCluster = 32 * 1024;
    const auto& samples = Samples();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        const Bytes intact = ReadAll(Path(s.file));
        const Bytes other = ReadAll(Path(samples[(i + 1) % samples.size()].file));
        std::mt19937 random(static_cast<std::uint32_t>(i));
        const std::size_t at = s.damageAt(intact);
        const std::size_t length = std::min(kCluster, intact.size() - at);
        const std::vector<std::pair<const char*, std::function<std::uint8_t(std::size_t)>>> fills = {
            {"zeros", [](std::size_t) { return std::uint8_t{0}; }},
            {"random bytes", [&](std::size_t) { return static_cast<std::uint8_t>(random()); }},
            {"another file's bytes", [&](std::size_t k) { return other[(other.size() / 2 + k) % other.size()]; }},
        };
        for (const auto& [name, fill] : fills) {
            Bytes damaged = intact;
            for (std::size_t k = 0; k < length; ++k) damaged[at + k] = fill(k);
            EXPECT_EQ(CheckBytes(s.check, damaged), TFileCondition::Damaged) << s.file << " with " << name;
        }
    }
}

// A cluster of another file after the end, as when a file's end was found too late. TIFF has no
// end of its own (raw files carry data after every block the IFDs name), and a JPEG picture stays
// whole whatever follows its EOI, so neither is tested here.
TEST_F(ContentCheckTest, FilesWithAnotherFilesBytesAfterTheEndAreDamaged) {
    const auto& samples = Samples();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        if (s.check == ContentCheck::TiffStructure || s.check == ContentCheck::JpegDecode) continue;
        Bytes bytes = ReadAll(Path(s.file));
        const Bytes other = ReadAll(Path(samples[(i + 1) % samples.size()].file));
        const std::size_t from = other.size() / 2, length = std::min<std::size_t>(4096, other.size() - from);
        bytes.insert(bytes.end(), other.begin() + static_cast<std::ptrdiff_t>(from),
                     other.begin() + static_cast<std::ptrdiff_t>(from + length));
        EXPECT_EQ(CheckBytes(s.check, bytes), TFileCondition::Damaged) << s.file;
    }
}

// Whatever follows the picture's EOI (further pictures, phone trailers, the rest of a sector)
// leaves the picture whole.
TEST_F(ContentCheckTest, JpegBytesAfterThePicture) {
    const Bytes picture = ReadAll(Path("baseline.jpg"));
    const Bytes further = ReadAll(Path("progressive.jpg"));
    struct Case {
        const char* name;
        Bytes tail;
        TFileCondition expected;
    };
    const Case cases[] = {
        {"a further picture", further, TFileCondition::Whole},
        {"zero padding", Bytes(512, 0), TFileCondition::Whole},
        {"0xFF padding", Bytes(100, 0xFF), TFileCondition::Whole},
        {"a start of image alone", {0xFF, 0xD8}, TFileCondition::Whole},
    };
    for (const Case& c : cases) {
        Bytes bytes = picture;
        bytes.insert(bytes.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(CheckBytes(ContentCheck::JpegDecode, bytes), c.expected) << c.name;
    }
}

TEST_F(ContentCheckTest, JpegClaimingAHugeSizeIsNotDecoded) {
    Bytes bytes = ReadAll(Path("baseline.jpg"));
    const std::size_t frame = Find(bytes, "\xFF\xC0");
    // Height and width of the frame header: 60000 x 60000 pixels.
    for (const std::size_t at : {frame + 5, frame + 7}) bytes[at] = 0xEA, bytes[at + 1] = 0x60;
    EXPECT_EQ(CheckBytes(ContentCheck::JpegDecode, bytes), TFileCondition::Unknown);
}

// Films and HEIF pictures whose top-level boxes may still fill the file, but whose structure
// does not hold.
TEST_F(ContentCheckTest, IsoMediaStructure) {
    // The last box (mdat) cut short with its size field made to agree: the media data that the
    // chunk offsets (films) or item extents (HEIF) point at is gone.
    auto shortMediaData = [](Bytes bytes) {
        const std::size_t mdat = Find(bytes, "mdat") - 4;
        bytes.resize(mdat + 16);
        PutBe32(bytes, mdat, 16);
        return bytes;
    };
    // A zeroed box header reads as a box of size 0, "to the end of the file".
    auto zeroedMediaDataHeader = [](Bytes bytes) {
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(Find(bytes, "mdat") - 4), 8, 0);
        return bytes;
    };
    // Every trak box renamed, so that moov holds none.
    auto withoutTracks = [](Bytes bytes) {
        const std::string_view trak = "trak";
        for (auto at = bytes.begin(); (at = std::search(at, bytes.end(), trak.begin(), trak.end())) != bytes.end();) {
            at = std::copy_n("free", 4, at);
        }
        return bytes;
    };
    struct Case {
        const char* name;
        Bytes file;
    };
    const Case cases[] = {
        {"film with its media data cut short", shortMediaData(ReadAll(Path("moov-first.mp4")))},
        {"picture with its media data cut short", shortMediaData(ReadAll(Path("picture.heic")))},
        {"film with a zeroed mdat header", zeroedMediaDataHeader(ReadAll(Path("moov-first.mp4")))},
        {"film without tracks", withoutTracks(ReadAll(Path("moov-last.mp4")))},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckBytes(ContentCheck::IsoBoxes, c.file), TFileCondition::Damaged) << c.name;
    }
}

Bytes Riff(std::string_view form, const Bytes& chunks, std::uint32_t extraSize = 0) {
    Bytes b = {'R', 'I', 'F', 'F', 0, 0, 0, 0};
    const auto size = static_cast<std::uint32_t>(4 + chunks.size()) + extraSize;
    for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<std::uint8_t>(size >> 8 * i);
    b.insert(b.end(), form.begin(), form.end());
    b.insert(b.end(), chunks.begin(), chunks.end());
    return b;
}

Bytes Chunk(std::string_view type, std::size_t size, bool pad) {
    Bytes b(type.begin(), type.end());
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(size >> 8 * i));
    b.resize(b.size() + size + (pad ? size & 1 : 0), 0x11);
    return b;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

TEST_F(ContentCheckTest, RiffForms) {
    const Bytes avi = ReadAll(Path("film.avi"));
    Bytes movieList = Join({{'L', 'I', 'S', 'T', 16, 0, 0, 0, 'm', 'o', 'v', 'i'}, Chunk("00dc", 4, true)});
    struct Case {
        const char* name;
        Bytes file;
        TFileCondition expected;
    };
    const Case cases[] = {
        {"AVI going on with an AVIX form", Join({avi, Riff("AVIX", movieList)}), TFileCondition::Whole},
        {"AVIX form running past the end", Join({avi, Riff("AVIX", movieList, 2)}), TFileCondition::Damaged},
        {"AVI going on with a second AVI form", Join({avi, Riff("AVI ", movieList)}), TFileCondition::Damaged},
        {"last chunk of odd size without its pad byte",
         Riff("WAVE", Join({Chunk("fmt ", 16, true), Chunk("data", 3, false)})), TFileCondition::Whole},
        {"chunk of odd size without its pad byte before another",
         Riff("WAVE", Join({Chunk("data", 3, false), Chunk("fmt ", 16, true)})), TFileCondition::Damaged},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckBytes(ContentCheck::RiffChunks, c.file), c.expected) << c.name;
}

// A small TIFF: header, IFD0 at 8 with the given entries, then data the entries may point at.
struct TiffEntry {
    std::uint16_t tag, type;
    std::uint32_t count, value;
};

Bytes MakeTiff(std::string_view header, const std::vector<TiffEntry>& entries, std::uint32_t next = 0,
               std::size_t dataBytes = 64) {
    const bool big = header[0] == 'M';
    Bytes b(header.begin(), header.end());
    auto put = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = big ? 8 * (bytes - 1 - i) : 8 * i;
            b.push_back(static_cast<std::uint8_t>(v >> shift));
        }
    };
    put(8, 4);
    put(static_cast<std::uint32_t>(entries.size()), 2);
    for (const TiffEntry& e : entries) {
        put(e.tag, 2), put(e.type, 2), put(e.count, 4);
        put(e.value, e.type == 3 && e.count == 1 ? 2 : 4);
        if (e.type == 3 && e.count == 1) put(0, 2);
    }
    put(next, 4);
    b.resize(b.size() + dataBytes, 0x55);
    return b;
}

TEST_F(ContentCheckTest, TiffStructure) {
    // IFD0 of 3 entries ends at 8 + 2 + 36 + 4 = 50; 64 data bytes follow, to 114.
    const TiffEntry strip{0x0111, 4, 1, 50}, stripLength{0x0117, 4, 1, 64};
    struct Case {
        const char* name;
        Bytes file;
        TFileCondition expected;
    };
    const Case cases[] = {
        {"Intel order", MakeTiff({"II*\0", 4}, {strip, stripLength, {0x0100, 3, 1, 8}}), TFileCondition::Whole},
        {"Motorola order", MakeTiff({"MM\0*", 4}, {strip, stripLength, {0x0100, 3, 1, 8}}), TFileCondition::Whole},
        {"ORF header", MakeTiff("IIRO", {strip, stripLength, {0x0100, 3, 1, 8}}), TFileCondition::Whole},
        {"ORF header, second kind", MakeTiff("IIRS", {strip, stripLength, {0x0100, 3, 1, 8}}), TFileCondition::Whole},
        {"RW2 header", MakeTiff({"IIU\0", 4}, {strip, stripLength, {0x0100, 3, 1, 8}}), TFileCondition::Whole},
        {"strip past the end", MakeTiff({"II*\0", 4}, {strip, {0x0117, 4, 1, 65}, {0x0100, 3, 1, 8}}),
         TFileCondition::Damaged},
        {"tile past the end", MakeTiff({"II*\0", 4}, {{0x0144, 4, 1, 100}, {0x0145, 4, 1, 15}, {0x0100, 3, 1, 8}}),
         TFileCondition::Damaged},
        {"JPEG preview past the end",
         MakeTiff({"II*\0", 4}, {{0x0201, 4, 1, 50}, {0x0202, 4, 1, 1000}, {0x0100, 3, 1, 8}}),
         TFileCondition::Damaged},
        {"offsets and lengths disagree in number",
         MakeTiff({"II*\0", 4}, {{0x0111, 3, 2, 50 | 60 << 16}, stripLength, {0x0100, 3, 1, 8}}),
         TFileCondition::Damaged},
        {"long value past the end", MakeTiff({"II*\0", 4}, {strip, stripLength, {0x010E, 2, 100, 50}}),
         TFileCondition::Damaged},
        {"IFD chain looping back", MakeTiff({"II*\0", 4}, {strip, stripLength, {0x0100, 3, 1, 8}}, 8),
         TFileCondition::Damaged},
        {"Exif IFD pointing back at IFD0", MakeTiff({"II*\0", 4}, {strip, stripLength, {0x8769, 4, 1, 8}}),
         TFileCondition::Whole},
        {"IFD past the end", MakeTiff({"II*\0", 4}, {strip, stripLength, {0x0100, 3, 1, 8}}, 1u << 30),
         TFileCondition::Damaged},
        {"entry of no type", MakeTiff({"II*\0", 4}, {strip, stripLength, {0, 0, 0, 0}}), TFileCondition::Damaged},
        {"BigTIFF", MakeTiff({"II+\0", 4}, {}), TFileCondition::Unknown},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckBytes(ContentCheck::TiffStructure, c.file), c.expected) << c.name;
}

// Made-up headers with sizes, counts and nesting meant to run a walk away: each check gives up
// quickly and says damaged, or unknown where it stopped at its own limit.
TEST_F(ContentCheckTest, HostileHeadersStayBounded) {
    auto bytes = [](std::initializer_list<std::string_view> parts) {
        Bytes b;
        for (std::string_view p : parts) b.insert(b.end(), p.begin(), p.end());
        return b;
    };
    using namespace std::string_view_literals;
    auto putLe32 = [](Bytes& b, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> 8 * i);
    };
    // Each LIST holds the next one and all of them end with the form.
    constexpr std::uint32_t kDepth = 500, kEnd = 12 + 12 * kDepth + 8;
    Bytes nestedLists = bytes({"RIFF....WAVE"sv});
    putLe32(nestedLists, 4, kEnd - 8);
    for (std::uint32_t i = 0; i < kDepth; ++i) {
        const std::size_t at = nestedLists.size();
        nestedLists.insert(nestedLists.end(), {'L', 'I', 'S', 'T', 0, 0, 0, 0, 'I', 'N', 'F', 'O'});
        putLe32(nestedLists, at + 4, kEnd - static_cast<std::uint32_t>(at) - 8);
    }
    nestedLists.insert(nestedLists.end(), {'I', 'N', 'A', 'M', 0, 0, 0, 0});

    // An iloc of 65535 items of 65535 extents each, every field of them zero bytes long.
    Bytes manyExtents = bytes({"\x00\x00\x00\x10" "ftypheic\x00\x00\x00\x00"sv});
    Bytes iloc = bytes({"iloc\x00\x00\x00\x00\x00\x00\xFF\xFF"sv});
    for (int i = 0; i < 0xFFFF; ++i) iloc.insert(iloc.end(), {0, 1, 0, 0, 0xFF, 0xFF});
    auto appendBe32 = [](Bytes& b, std::size_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (24 - 8 * i)));
    };
    Bytes meta = bytes({"meta\x00\x00\x00\x00"sv});
    appendBe32(meta, iloc.size() + 4);
    meta.insert(meta.end(), iloc.begin(), iloc.end());
    appendBe32(manyExtents, meta.size() + 4);
    manyExtents.insert(manyExtents.end(), meta.begin(), meta.end());

    // A progressive JPEG of one block whose DC scan comes again and again, each time whole: every
    // scan of a real picture is a pass over all its blocks.
    auto manyScans = [&](int scans) {
        Bytes jpeg = bytes({"\xFF\xD8\xFF\xDB\x00\x43\x00"sv});
        jpeg.insert(jpeg.end(), 64, 1);
        const Bytes frame = bytes({"\xFF\xC2\x00\x0B\x08\x00\x08\x00\x08\x01\x01\x11\x00"sv});
        jpeg.insert(jpeg.end(), frame.begin(), frame.end());
        // A DC table of one code, '0', for a difference of 0.
        const Bytes table =
            bytes({"\xFF\xC4\x00\x14\x00\x01"sv, std::string_view("\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16)});
        jpeg.insert(jpeg.end(), table.begin(), table.end());
        const Bytes scan = bytes({"\xFF\xDA\x00\x08\x01\x01\x00\x00\x00\x00"sv, std::string_view("\0", 1)});
        for (int i = 0; i < scans; ++i) jpeg.insert(jpeg.end(), scan.begin(), scan.end());
        jpeg.insert(jpeg.end(), {0xFF, 0xD9});
        return jpeg;
    };

    struct Case {
        const char* name;
        ContentCheck check;
        Bytes file;
        TFileCondition expected;
    };
    const Case cases[] = {
        {"JPEG of 20 scans", ContentCheck::JpegDecode, manyScans(20), TFileCondition::Whole},
        {"JPEG of 2000 scans", ContentCheck::JpegDecode, manyScans(2000), TFileCondition::Unknown},
        {"PNG chunk of 2 GiB", ContentCheck::PngChunks,
         bytes({"\x89PNG\r\n\x1A\n\x7F\xFF\xFF\xF0IDAT"sv, std::string_view("\0\0\0\0", 4)}), TFileCondition::Damaged},
        {"box of 2^63 bytes", ContentCheck::IsoBoxes,
         bytes({"\x00\x00\x00\x01" "mdat\x80\x00\x00\x00\x00\x00\x00\x00"sv}), TFileCondition::Damaged},
        {"box smaller than its header", ContentCheck::IsoBoxes, bytes({"\x00\x00\x00\x04moov"sv}),
         TFileCondition::Damaged},
        {"iloc of four billion extents", ContentCheck::IsoBoxes, manyExtents, TFileCondition::Unknown},
        {"RIFF of 4 GiB", ContentCheck::RiffChunks, bytes({"RIFF\xF0\xFF\xFF\xFFWAVEdata\x00\x00\x00\x00"sv}),
         TFileCondition::Damaged},
        {"LIST chunks nested 500 deep", ContentCheck::RiffChunks, nestedLists, TFileCondition::Damaged},
        {"GIF sub-blocks running off the end", ContentCheck::GifBlocks,
         bytes({"GIF89a\x01\x00\x01\x00\x00\x00\x00\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\xFF\xFF"sv}),
         TFileCondition::Damaged},
        {"BMP of 2^31 x 2^31 pixels", ContentCheck::BmpHeader,
         bytes({"BM\x3A\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00\xFF\xFF\xFF\x7F\xFF\xFF\xFF\x7F"
                "\x01\x00\x18\x00"sv,
                std::string_view("\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 28)}),
         TFileCondition::Damaged},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckBytes(c.check, c.file), c.expected) << c.name;
}

// Files whose condition cannot be known: a format with nothing to check, and paths that are not
// a regular file of their own.
TEST_F(ContentCheckTest, UnknownWhenNothingCanBeChecked) {
    const std::string madeUp = Path("made-up.xyz");
    WriteAll(madeUp, {'X', 'Y', 'Z', 1, 2, 3});
    const std::string link = Path("link.jpg");
    std::filesystem::create_symlink(Path("baseline.jpg"), link);
    const std::string fifo = Path("fifo.jpg");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        const char* name;
        ContentCheck check;
        std::string path;
    };
    const Case cases[] = {
        {"a format with nothing to check", ContentCheck::None, madeUp},
        {"a missing file", ContentCheck::JpegDecode, Path("missing.jpg")},
        {"a symbolic link to a whole picture", ContentCheck::JpegDecode, link},
        {"a folder", ContentCheck::PngChunks, dir_->path().string()},
        {"a FIFO", ContentCheck::JpegDecode, fifo},
        {"an empty path", ContentCheck::GifBlocks, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckFileContent(c.check, c.path), TFileCondition::Unknown) << c.name;
}

}  // namespace
}  // namespace quorvane
