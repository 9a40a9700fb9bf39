// End finders of the formats whose end follows from sizes and block chains (RIFF, ISO media,
// PNG, GIF, BMP), on hand-made files: where they must end, and where the structure does not
// hold or runs past the bound, that they give up or wait instead of naming a wrong end.
#include "file_end_fixtures.h"

#include <gtest/gtest.h>

namespace quorvane::testing {
namespace {

struct Case {
    const char* name;
    Bytes bytes;
    Fed expected;
};

void CheckCases(EndRule rule, const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FeedEveryWay(rule, c.bytes), c.expected);
    }
}

constexpr std::uint64_t GiB = 1024ull * 1024 * 1024;
constexpr std::uint64_t MiB = 1024ull * 1024;

Bytes Riff(std::string_view form, std::uint32_t payload) {
    return Writer(true).Text("RIFF").U32(4 + payload).Text(form).Fill(payload, 0x11).Done();
}

TEST(RiffEnd, SizeFieldAndAvixChunks) {
    const Bytes avi = Riff("AVI ", 20);
    const Bytes avix1 = Riff("AVIX", 10);
    const Bytes avix2 = Riff("AVIX", 7);
    const Bytes junk = RandomBytes(100, 1);
    const std::size_t aviSize = avi.size();
    const std::size_t chainSize = aviSize + avix1.size() + avix2.size();
    CheckCases(EndRule::Riff, {
        // Known from the first 12 bytes, long before the rest goes by.
        {"sound, header alone", Writer(true).Text("RIFF").U32(1000).Text("WAVE").Done(), EndedAt(1008)},
        {"sound, then junk", Concat(Riff("WAVE", 50), junk), EndedAt(62)},
        {"film with two AVIX chunks", Concat(Concat(Concat(avi, avix1), avix2), junk), EndedAt(chainSize)},
        {"film, AVIX only after a gap", Concat(Concat(avi, Bytes(4)), avix1), EndedAt(aviSize)},
        {"film followed by another film", Concat(avi, avi), EndedAt(aviSize)},
        // Whether AVIX chunks follow is not known yet.
        {"film with nothing after it", avi, StillOpen},
        {"size below the form type", Writer(true).Text("RIFF").U32(3).Text("WAVE").Done(), NotFound},
        {"end exactly at the bound", Writer(true).Text("RIFF").U32(0xFFFFFFF8).Text("WAVE").Done(), EndedAt(4 * GiB)},
        {"end past the bound", Writer(true).Text("RIFF").U32(0xFFFFFFFF).Text("WAVE").Done(), NotFound},
        {"film past the bound", Writer(true).Text("RIFF").U32(0xFFFFFFFF).Text("AVI ").Done(), NotFound},
        {"not RIFF", Writer(true).Text("RIFX").U32(100).Text("WAVE").Done(), NotFound},
    });
}

Bytes Box(std::string_view type, std::uint32_t payload) {
    return Writer().U32(8 + payload).Text(type).Fill(payload, 0x22).Done();
}

Bytes LargeBox(std::string_view type, std::uint64_t size, std::uint32_t payload) {
    return Writer().U32(1).Text(type).U64(size).Fill(payload, 0x22).Done();
}

TEST(IsoMediaEnd, TopLevelBoxes) {
    const Bytes ftyp = Writer().U32(20).Text("ftypisom").U32(0x200).Text("mp41").Done();
    const Bytes junk = RandomBytes(64, 2);
    const Bytes film = Concat(Concat(Concat(ftyp, Box("free", 0)), Box("mdat", 300)), Box("moov", 40));
    CheckCases(EndRule::IsoMedia, {
        {"film, then junk", Concat(film, junk), EndedAt(film.size())},
        {"film, then zeros", Concat(film, Bytes(32)), EndedAt(film.size())},
        {"film with a 64-bit mdat size", Concat(Concat(ftyp, LargeBox("mdat", 16 + 50, 50)), junk),
         EndedAt(ftyp.size() + 66)},
        {"old QuickTime starting with mdat", Concat(Concat(Box("mdat", 30), Box("moov", 30)), junk), EndedAt(76)},
        {"a second moov starts another file", Concat(Concat(Box("mdat", 30), Box("moov", 30)), Box("moov", 8)),
         EndedAt(76)},
        // Boxes without the media data may be the remains of a file: not a sure end.
        {"picture boxes without mdat, then junk", Concat(Concat(ftyp, Box("meta", 40)), junk), NotFound},
        {"media data still to come", Concat(ftyp, Writer().U32(100000).Text("mdat").Fill(100).Done()), StillOpen},
        {"box of size 0", Concat(ftyp, Writer().U32(0).Text("mdat").Fill(100).Done()), NotFound},
        {"box smaller than its header", Concat(ftyp, Writer().U32(7).Text("mdat").Fill(100).Done()), NotFound},
        {"64-bit size smaller than its header", Concat(ftyp, LargeBox("mdat", 15, 20)), NotFound},
        {"64-bit size past the bound", Concat(ftyp, LargeBox("mdat", 5 * GiB, 20)), NotFound},
        {"huge 64-bit size", Concat(ftyp, LargeBox("mdat", ~0ull, 20)), NotFound},
        {"first box of another type", Concat(Box("abcd", 8), film), NotFound},
    });
}

Bytes Chunk(std::string_view type, std::uint32_t length) {
    return Writer().U32(length).Text(type).Fill(length, 0x33).U32(0x12345678).Done();
}

TEST(PngEnd, ChunksUpToIend) {
    const Bytes signature = Writer().Text("\x89PNG\r\n\x1A\n").Done();
    const Bytes png = Concat(Concat(Concat(signature, Chunk("IHDR", 13)), Chunk("IDAT", 100)), Chunk("IEND", 0));
    const Bytes ihdr = Concat(signature, Chunk("IHDR", 13));
    CheckCases(EndRule::Png, {
        {"picture, then junk", Concat(png, RandomBytes(50, 3)), EndedAt(png.size())},
        {"IDAT still to come", Concat(ihdr, Writer().U32(5000).Text("IDAT").Fill(100).Done()), StillOpen},
        {"wrong signature", Concat(Writer().Text("\x89PNG\r\n\x1A\r").Done(), Chunk("IHDR", 13)), NotFound},
        {"first chunk not IHDR", Concat(signature, Chunk("IDAT", 13)), NotFound},
        {"length of 2^31", Concat(ihdr, Writer().U32(0x80000000).Text("IDAT").Done()), NotFound},
        {"chunk type that is not letters", Concat(ihdr, Chunk("ID4T", 4)), NotFound},
    });
}

// A GIF with a global colour table of 4 entries, a graphic control extension and one image with
// a local colour table of 2 entries; sub-blocks of the given sizes.
Bytes Gif(std::string_view version, std::uint8_t lzwCodeSize, std::initializer_list<std::uint8_t> subBlocks) {
    Writer w(true);
    w.Text(version).U16(10).U16(10).U8(0x81).U8(0).U8(0).Fill(12);
    w.U8(0x21).U8(0xF9).U8(4).Fill(4).U8(0);
    w.U8(0x2C).U16(0).U16(0).U16(10).U16(10).U8(0x80).Fill(6);
    w.U8(lzwCodeSize);
    for (std::uint8_t size : subBlocks) w.U8(size).Fill(size, 0x3B);  // trailer bytes inside the data
    return w.U8(0).U8(0x3B).Done();
}

TEST(GifEnd, BlocksUpToTheTrailer) {
    const Bytes gif = Gif("GIF89a", 2, {255, 3});
    const Bytes cut(gif.begin(), gif.end() - 10);
    CheckCases(EndRule::Gif, {
        {"picture, then junk", Concat(gif, RandomBytes(50, 4)), EndedAt(gif.size())},
        {"old version", Gif("GIF87a", 8, {1}), EndedAt(Gif("GIF87a", 8, {1}).size())},
        {"sub-blocks still to come", cut, StillOpen},
        {"unknown version", Gif("GIF90a", 2, {3}), NotFound},
        {"LZW code size above 12", Gif("GIF89a", 13, {3}), NotFound},
        {"unknown block", Concat(Bytes(gif.begin(), gif.end() - 1), Bytes{0x99, 0x3B}), NotFound},
    });
}

struct BmpShape {
    std::uint32_t fileSize = 10000;
    std::uint32_t pixelOffset = 54;
    std::uint32_t infoSize = 40;
    std::int32_t width = 10;
    std::int32_t height = 10;
    std::uint32_t planes = 1;
    std::uint32_t bpp = 24;
    std::uint32_t compression = 0;
};

// Only the headers: the finder knows the end from them.
Bytes BmpHeaders(const BmpShape& s) {
    Writer w(true);
    w.Text("BM").U32(s.fileSize).U32(0).U32(s.pixelOffset).U32(s.infoSize);
    if (s.infoSize == 12) return w.U16(s.width).U16(s.height).U16(s.planes).U16(s.bpp).Done();
    w.U32(static_cast<std::uint32_t>(s.width)).U32(static_cast<std::uint32_t>(s.height));
    return w.U16(s.planes).U16(s.bpp).U32(s.compression).Fill(20).Done();
}

TEST(BmpEnd, SizeFieldCheckedAgainstTheHeaders) {
    CheckCases(EndRule::Bmp, {
        {"picture known from its headers", BmpHeaders({}), EndedAt(10000)},
        {"pixel array filling the file exactly", BmpHeaders({.fileSize = 54 + 320}), EndedAt(374)},
        {"OS/2 header", BmpHeaders({.fileSize = 26 + 320, .pixelOffset = 26, .infoSize = 12}), EndedAt(346)},
        {"rows top-down", BmpHeaders({.height = -10}), EndedAt(10000)},
        {"run-length pixels smaller than raw ones", BmpHeaders({.fileSize = 100, .bpp = 8, .compression = 1}),
         EndedAt(100)},
        {"pixel array larger than the file", BmpHeaders({.fileSize = 54 + 319}), NotFound},
        {"file smaller than its headers", BmpHeaders({.fileSize = 20, .pixelOffset = 20}), NotFound},
        {"unknown header size", BmpHeaders({.infoSize = 30}), NotFound},
        {"pixels past the end", BmpHeaders({.fileSize = 1000, .pixelOffset = 1001}), NotFound},
        {"3 bits per pixel", BmpHeaders({.bpp = 3}), NotFound},
        {"two planes", BmpHeaders({.planes = 2}), NotFound},
        {"no width", BmpHeaders({.width = 0}), NotFound},
        {"huge dimensions", BmpHeaders({.width = 0x7FFFFFFF, .height = 0x7FFFFFFF}), NotFound},
        {"past the bound", BmpHeaders({.fileSize = 64 * MiB + 1}), NotFound},
        {"not BM", Writer(true).Text("BA").U32(10000).Fill(40).Done(), NotFound},
    });
}

}  // namespace
}  // namespace quorvane::testing
