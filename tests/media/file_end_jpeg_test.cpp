// The JPEG end finder on hand-made pictures: the marker walk (segments, entropy-coded data with
// stuffing and restart markers, progressive scans, fill bytes, an Exif preview with its own
// end of image) and MPF files whose index names further pictures stored after the first.
#include "file_end_fixtures.h"

#include <gtest/gtest.h>

namespace quorvane::testing {
namespace {

constexpr std::uint64_t MiB = 1024ull * 1024;

Bytes Segment(std::uint8_t marker, const Bytes& payload) {
    return Writer().U8(0xFF).U8(marker).U16(payload.size() + 2).Raw(payload).Done();
}

// Entropy-coded data as an encoder writes it: FF only as FF 00, restart markers in between.
Bytes EntropyData(std::size_t size, unsigned seed, bool restarts) {
    Bytes data;
    Bytes random = RandomBytes(size, seed);
    for (std::size_t i = 0; i < random.size(); ++i) {
        data.push_back(random[i]);
        if (random[i] == 0xFF) data.push_back(0x00);
        if (restarts && i % 300 == 299) data.insert(data.end(), {0xFF, static_cast<std::uint8_t>(0xD0 + i / 300 % 8)});
    }
    return data;
}

struct JpegShape {
    bool exifPreview = true;
    int scans = 1;  // progressive pictures have several
    bool restarts = true;
    bool fillBytes = false;  // FF FF before markers
    Bytes mpf{};             // APP2 payload, when not empty
    std::size_t entropySize = 5000;
};

// SOI, JFIF, an Exif block holding a whole small JPEG, optional MPF, tables, frame, scans, EOI.
Bytes MakeJpeg(const JpegShape& s) {
    Writer w;
    w.U8(0xFF).U8(0xD8);
    w.Raw(Segment(0xE0, Writer().Text(std::string_view("JFIF\0\1\1\0\0\1\0\1\0\0", 14)).Done()));
    if (s.exifPreview) {
        const Bytes preview = Writer().U8(0xFF).U8(0xD8).Raw(Segment(0xDB, Bytes(65, 1))).Fill(30, 0x44)
                                  .U8(0xFF).U8(0xD9).Done();
        w.Raw(Segment(0xE1, Writer().Text(std::string_view("Exif\0\0", 6)).Fill(40).Raw(preview).Done()));
    }
    if (!s.mpf.empty()) w.Raw(Segment(0xE2, s.mpf));
    w.Raw(Segment(0xDB, Bytes(65, 2)));
    w.Raw(Segment(0xC2, Bytes(15, 3)));
    for (int scan = 0; scan < s.scans; ++scan) {
        w.Raw(Segment(0xC4, Bytes(30, 4)));
        if (s.fillBytes) w.U8(0xFF).U8(0xFF);
        w.Raw(Segment(0xDA, Bytes(10, 5)));
        w.Raw(EntropyData(s.entropySize, 10 + static_cast<unsigned>(scan), s.restarts));
    }
    if (s.fillBytes) w.U8(0xFF).U8(0xFF).U8(0xFF);
    return w.U8(0xFF).U8(0xD9).Done();
}

Bytes WithByteAt(Bytes bytes, std::size_t at, std::uint8_t value) {
    bytes.at(at) = value;
    return bytes;
}

// The offset of the first marker segment of the kind in a picture made by MakeJpeg.
std::size_t FindMarker(const Bytes& jpeg, std::uint8_t marker) {
    for (std::size_t i = 2; i + 1 < jpeg.size();) {
        if (jpeg[i + 1] == marker) return i;
        i += 2 + (std::size_t{jpeg[i + 2]} << 8 | jpeg[i + 3]);
    }
    return 0;
}

TEST(JpegEnd, MarkerWalk) {
    const Bytes plain = MakeJpeg({});
    const Bytes progressive = MakeJpeg({.scans = 4, .restarts = false});
    const Bytes filled = MakeJpeg({.fillBytes = true});
    const std::size_t sos = FindMarker(plain, 0xDA);
    const std::size_t dqt = FindMarker(plain, 0xDB);
    const Bytes uncut(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(dqt));
    const Bytes cutInScan(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(sos) + 500);
    struct Case {
        const char* name;
        Bytes bytes;
        Fed expected;
    };
    const Case cases[] = {
        // Not at the preview's EOI inside APP1, nor at a second picture's.
        {"picture followed by another", Concat(plain, plain), EndedAt(plain.size())},
        {"progressive picture", Concat(progressive, RandomBytes(100, 1)), EndedAt(progressive.size())},
        {"fill bytes before markers", Concat(filled, JpegStart()), EndedAt(filled.size())},
        {"entropy data still coming", Bytes(plain.begin(), plain.end() - 2), StillOpen},
        {"segment still coming", Concat(uncut, Writer().U8(0xFF).U8(0xE1).U16(0xFFFF).Fill(100).Done()), StillOpen},
        {"no start of image", WithByteAt(plain, 1, 0xD9), NotFound},
        {"segment length 0", Concat(uncut, Bytes{0xFF, 0xDB, 0x00, 0x00, 0xFF, 0xD9}), NotFound},
        {"segment length 1", Concat(uncut, Bytes{0xFF, 0xDB, 0x00, 0x01, 0xFF, 0xD9}), NotFound},
        {"no marker after a segment", WithByteAt(plain, dqt, 0x12), NotFound},
        {"FF 00 where a marker must be", WithByteAt(plain, dqt + 1, 0x00), NotFound},
        {"reserved marker", WithByteAt(plain, dqt + 1, 0x02), NotFound},
        // A picture cut short and followed by the start of another.
        {"start of image in the entropy data", Concat(cutInScan, JpegStart()), NotFound},
        {"start of image after a segment", Concat(uncut, JpegStart()), NotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FeedEveryWay(EndRule::Jpeg, c.bytes), c.expected);
    }
}

// An APP segment's length is declared but its content is not placed: the finder covers it (a
// start there may be an embedded picture) without owning it.
TEST(JpegEnd, AJpegCoversItsAppSegmentsOnly) {
    const Bytes jpeg = MakeJpeg({});
    const std::size_t app1 = FindMarker(jpeg, 0xE1);
    const std::size_t dqt = FindMarker(jpeg, 0xDB);
    auto finder = MakeFileEndFinder(EndRule::Jpeg);
    // Asked before the segment's bytes go by: its length is known from its header.
    finder->Feed(std::span(jpeg).first(app1 + 4));
    EXPECT_TRUE(finder->Covers(app1 + 50));
    EXPECT_FALSE(finder->Owns(app1 + 50));
    EXPECT_FALSE(finder->Covers(dqt + 10));
    ASSERT_EQ(FeedInPieces(*finder, Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(app1) + 4, jpeg.end()), 0),
              EndedAt(jpeg.size()));
    EXPECT_TRUE(finder->Covers(dqt - 1));
    EXPECT_FALSE(finder->Covers(jpeg.size()));
}

// The MPF APP2 payload: "MPF\0", then a TIFF-structured index whose MP entries name each
// picture's size and offset, counted from the index's byte-order mark.
struct MpfPicture {
    std::uint32_t size;
    std::uint32_t offset;  // 0 for the first picture
};

Bytes MpfPayload(bool little, const std::vector<MpfPicture>& pictures, std::uint32_t entriesLengthExtra = 0) {
    Writer w(little);
    w.Text(std::string_view("MPF\0", 4));
    w.Text(little ? "II" : "MM").U16(42).U32(8);
    const std::uint32_t entriesAt = 8 + 2 + 3 * 12 + 4;
    w.U16(3);
    w.U16(0xB000).U16(7).U32(4).Text("0100");
    w.U16(0xB001).U16(4).U32(1).U32(pictures.size());
    w.U16(0xB002).U16(7).U32(16 * pictures.size() + entriesLengthExtra).U32(entriesAt);
    w.U32(0);
    for (const auto& p : pictures) w.U32(p.offset == 0 ? 0x20030000 : 0x00020000).U32(p.size).U32(p.offset).U32(0);
    return w.Done();
}

struct MpfFile {
    Bytes bytes;
    std::vector<std::size_t> starts;  // of each picture
};

// A first picture whose MPF index names the pictures appended after it. The index takes the
// same room whatever the sizes, so it is written twice: once to learn the offsets.
MpfFile MakeMpf(bool little, const std::vector<Bytes>& further, std::uint32_t sizeExtra = 0,
                std::uint32_t entriesLengthExtra = 0) {
    std::vector<MpfPicture> pictures(1 + further.size(), MpfPicture{0, 0});
    Bytes first = MakeJpeg({.mpf = MpfPayload(little, pictures, entriesLengthExtra)});
    const std::size_t base = FindMarker(first, 0xE2) + 8;  // FF E2, length, "MPF\0"
    MpfFile file{first, {0}};
    for (std::size_t i = 0; i < further.size(); ++i) {
        file.starts.push_back(file.bytes.size());
        pictures[i + 1] = {static_cast<std::uint32_t>(further[i].size()) + sizeExtra,
                           static_cast<std::uint32_t>(file.bytes.size() - base)};
        file.bytes = Concat(file.bytes, further[i]);
    }
    pictures[0].size = static_cast<std::uint32_t>(first.size());
    const Bytes index = MakeJpeg({.mpf = MpfPayload(little, pictures, entriesLengthExtra)});
    std::copy(index.begin(), index.end(), file.bytes.begin());
    return file;
}

TEST(JpegEnd, AnMpfFileEndsAtItsLastPicture) {
    const Bytes depthMap = MakeJpeg({.exifPreview = false, .entropySize = 800});
    const Bytes gainMap = MakeJpeg({.exifPreview = false, .entropySize = 1500});
    struct Case {
        const char* name;
        MpfFile file;
        Fed expected;  // at the file's size when Ended with 0
    };
    const Case cases[] = {
        {"Intel index, one further picture", MakeMpf(true, {gainMap}), EndedAt(0)},
        {"Motorola index, one further picture", MakeMpf(false, {gainMap}), EndedAt(0)},
        {"two further pictures", MakeMpf(true, {depthMap, gainMap}), EndedAt(0)},
        {"picture past the bound", MakeMpf(false, {gainMap}, 64 * MiB), NotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes& file = c.file.bytes;
        const Fed expected = c.expected.state == EndState::Ended ? EndedAt(file.size()) : c.expected;
        EXPECT_EQ(FeedEveryWay(EndRule::Jpeg, Concat(file, JpegStart())), expected);
        if (expected.state != EndState::Ended) continue;
        // The further pictures are the file's own, not new files.
        auto finder = MakeFileEndFinder(EndRule::Jpeg);
        FeedInPieces(*finder, file, 512);
        for (std::size_t i = 1; i < c.file.starts.size(); ++i) {
            EXPECT_TRUE(finder->Owns(c.file.starts[i]));
            EXPECT_TRUE(finder->Owns(c.file.starts[i] + 100));
        }
        EXPECT_FALSE(finder->Owns(file.size()));
    }
}

TEST(JpegEnd, AnMpfIndexThatDoesNotHoldIsIgnored) {
    const Bytes gainMap = MakeJpeg({.exifPreview = false, .entropySize = 800});
    const MpfFile overlong = MakeMpf(true, {gainMap}, 0, 4096);
    const Bytes plain = MakeJpeg({});
    struct Case {
        const char* name;
        Bytes bytes;
        std::size_t firstEnd;
    };
    const Case cases[] = {
        {"entries running past the segment", overlong.bytes, overlong.starts[1]},
        // Without an index, a JPEG right after the end of image is a new file.
        {"no MPF index at all", Concat(plain, gainMap), plain.size()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FeedEveryWay(EndRule::Jpeg, c.bytes), EndedAt(c.firstEnd));
    }
}

}  // namespace
}  // namespace quorvane::testing
