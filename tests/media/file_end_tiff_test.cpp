// The TIFF end finder on hand-made files: which blocks count towards the end, IFDs found ahead
// of and behind the bytes fed (inside and past the kept head), and hostile IFD chains.
#include "file_end_fixtures.h"

#include <gtest/gtest.h>

namespace quorvane::testing {
namespace {

constexpr std::uint64_t MiB = 1024ull * 1024;
constexpr std::uint16_t Short = 3, Long = 4, Ascii = 2;

struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::uint32_t value;  // or the offset of the values
};

// A little-endian TIFF under construction: IFDs and arrays are put at fixed offsets.
class Tiff {
public:
    explicit Tiff(std::uint32_t ifd0, std::string_view magic = std::string_view("II*\0", 4)) {
        w_.Text(magic).U32(ifd0);
    }

    Tiff& Ifd(std::size_t at, const std::vector<Entry>& entries, std::uint32_t next = 0) {
        w_.U16At(at, entries.size());
        for (std::size_t k = 0; k < entries.size(); ++k) {
            const std::size_t e = at + 2 + 12 * k;
            w_.U16At(e, entries[k].tag).U16At(e + 2, entries[k].type).U32At(e + 4, entries[k].count);
            w_.U32At(e + 8, entries[k].value);
        }
        w_.U32At(at + 2 + 12 * entries.size(), next);
        return *this;
    }

    Tiff& Longs(std::size_t at, const std::vector<std::uint32_t>& values) {
        for (std::size_t i = 0; i < values.size(); ++i) w_.U32At(at + 4 * i, values[i]);
        return *this;
    }

    Tiff& Shorts(std::size_t at, const std::vector<std::uint32_t>& values) {
        for (std::size_t i = 0; i < values.size(); ++i) w_.U16At(at + 2 * i, values[i]);
        return *this;
    }

    Bytes Sized(std::size_t size) {
        w_.PadTo(size);
        return w_.Done();
    }

private:
    Writer w_{true};
};

constexpr std::size_t IfdSize(std::size_t entries) { return 2 + 12 * entries + 4; }

// One strip of pixels, given inline.
std::vector<Entry> Strip(std::uint32_t offset, std::uint32_t length) {
    return {{0x0100, Short, 1, 16}, {0x0111, Long, 1, offset}, {0x0117, Long, 1, length}};
}

// The arrays of three strips at 'at' (offsets) and at + 12 (counts).
std::vector<Entry> ThreeStrips(std::uint32_t at) {
    return {{0x0111, Long, 3, at}, {0x0117, Long, 3, at + 12}};
}

Bytes ChainOfIfds(std::size_t count) {
    Tiff t(8);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 8 + i * IfdSize(1);
        t.Ifd(at, {{0x0100, Short, 1, 16}}, i + 1 < count ? static_cast<std::uint32_t>(at + IfdSize(1)) : 0);
    }
    return t.Sized(8 + count * IfdSize(1));
}

struct Case {
    const char* name;
    Bytes bytes;
    Fed expected;
};

TEST(TiffEnd, BlocksThatReachFurthest) {
    const std::vector<Entry> exif = {{0x8769, Long, 1, 100}};
    const Bytes ifdLast = Tiff(600).Ifd(600, Strip(8, 592)).Sized(600 + IfdSize(3));
    const std::vector<Case> cases = {
        {"strip after the IFD", Concat(Tiff(8).Ifd(8, Strip(100, 400)).Sized(500), RandomBytes(100, 1)),
         EndedAt(500)},
        {"IFD after the strip", Tiff(600).Ifd(600, Strip(8, 592)).Sized(600 + IfdSize(3)), EndedAt(600 + IfdSize(3))},
        {"three strips in arrays",
         Tiff(8).Ifd(8, ThreeStrips(200)).Longs(200, {300, 400, 900}).Longs(212, {100, 50, 100}).Sized(1000),
         EndedAt(1000)},
        {"strip counts as SHORT", Tiff(8).Ifd(8, {{0x0111, Long, 3, 200}, {0x0117, Short, 3, 212}})
                                      .Longs(200, {300, 400, 500}).Shorts(212, {100, 100, 700}).Sized(1200),
         EndedAt(1200)},
        {"tiles", Tiff(8).Ifd(8, {{0x0144, Long, 2, 200}, {0x0145, Long, 2, 208}}).Longs(200, {300, 500})
                      .Longs(208, {200, 250}).Sized(750), EndedAt(750)},
        {"JPEG preview", Tiff(8).Ifd(8, {{0x0201, Long, 1, 300}, {0x0202, Long, 1, 1000}}).Sized(1300), EndedAt(1300)},
        {"long value", Tiff(8).Ifd(8, {{0x010F, Ascii, 500, 100}}).Sized(600), EndedAt(600)},
        {"Exif IFD with a long value", Tiff(8).Ifd(8, exif).Ifd(100, {{0x927C, 7, 1000, 200}}).Sized(1200),
         EndedAt(1200)},
        {"sub-IFDs", Tiff(8).Ifd(8, {{0x014A, Long, 2, 100}}).Longs(100, {200, 300}).Ifd(200, Strip(400, 10))
                         .Ifd(300, Strip(500, 20)).Sized(520), EndedAt(520)},
        {"second IFD", Tiff(8).Ifd(8, Strip(100, 10), 200).Ifd(200, Strip(300, 50)).Sized(350), EndedAt(350)},
        {"IFD reaching furthest", Tiff(8).Ifd(8, Strip(100, 10), 200).Ifd(200, {{0x0100, Short, 1, 16}})
                                      .Sized(200 + IfdSize(1)), EndedAt(200 + IfdSize(1))},
        {"ORF header", Tiff(8, "IIRO").Ifd(8, Strip(100, 400)).Sized(500), EndedAt(500)},
        {"RW2 header", Tiff(8, std::string_view("IIU\0", 4)).Ifd(8, Strip(100, 400)).Sized(500), EndedAt(500)},
        // The IFD is not all there yet.
        {"IFD still to come", Bytes(ifdLast.begin(), ifdLast.end() - 1), StillOpen},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FeedEveryWay(EndRule::Tiff, c.bytes), c.expected);
    }
}

TEST(TiffEnd, BlocksPastTheKeptHeadAreGatheredAheadButNotFoundBehind) {
    const std::uint32_t far = 2 * MiB;
    const std::vector<Case> cases = {
        {"IFD in the head, arrays past it", Tiff(8).Ifd(8, ThreeStrips(far)).Longs(far, {100, 200, 300})
                                                .Longs(far + 12, {10, 10, 10}).Sized(far + 24), EndedAt(far + 24)},
        {"IFD past the head, arrays after it", Tiff(far).Ifd(far, ThreeStrips(far + 100))
                                                   .Longs(far + 100, {8, 1000, 2000}).Longs(far + 112, {10, 10, 10})
                                                   .Sized(far + 124), EndedAt(far + 124)},
        {"IFD past the head, arrays in the head", Tiff(far).Ifd(far, ThreeStrips(100)).Longs(100, {200, 300, 400})
                                                      .Longs(112, {10, 10, 10}).Sized(far + IfdSize(2)),
         EndedAt(far + IfdSize(2))},
        // libtiff's order with large arrays: values first, then the IFD that names them.
        {"IFD past the head, arrays behind it", Tiff(far).Ifd(far, ThreeStrips(far - 100))
                                                    .Longs(far - 100, {8, 1000, 2000}).Longs(far - 88, {10, 10, 10})
                                                    .Sized(far + IfdSize(2)), NotFound},
        {"IFD behind past the head", Tiff(far).Ifd(far, Strip(8, 10), far - 1000).Ifd(far - 1000, Strip(8, 10))
                                         .Sized(far + IfdSize(3)), NotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FeedEveryWay(EndRule::Tiff, c.bytes), c.expected);
    }
}

TEST(TiffEnd, HostileStructuresStayBounded) {
    const std::vector<Case> cases = {
        {"IFD linking to itself", Tiff(8).Ifd(8, Strip(100, 10), 8).Sized(110), EndedAt(110)},
        {"IFDs linking to each other", Tiff(8).Ifd(8, Strip(100, 10), 200).Ifd(200, Strip(300, 10), 8).Sized(310),
         EndedAt(310)},
        {"sub-IFD naming its parent", Tiff(8).Ifd(8, {{0x014A, Long, 1, 8}, {0x0100, Short, 1, 16}}).Sized(100),
         EndedAt(8 + IfdSize(2))},
        {"chain of 200 IFDs", ChainOfIfds(200), EndedAt(8 + 200 * IfdSize(1))},
        {"chain of 300 IFDs", ChainOfIfds(300), NotFound},
        {"IFD0 at offset 0", Tiff(0).Sized(100), NotFound},
        {"IFD0 inside the header", Tiff(4).Sized(100), NotFound},
        {"IFD past the bound", Tiff(0xFFFFFFF0).Sized(100), NotFound},
        {"IFD without entries", Tiff(8).Ifd(8, {}).Sized(100), NotFound},
        {"IFD of 5000 entries", Writer(true).Text(std::string_view("II*\0", 4)).U32(8).U16(5000).Fill(200).Done(),
         NotFound},
        {"strip past the bound", Tiff(8).Ifd(8, Strip(100, 0xFFFFFF00)).Sized(200), NotFound},
        {"value past the bound", Tiff(8).Ifd(8, {{0x010F, Ascii, 0x7FFFFFFF, 100}}).Sized(200), NotFound},
        {"array of 2^30 strips", Tiff(8).Ifd(8, {{0x0111, Long, 1u << 30, 100}, {0x0117, Long, 1u << 30, 200}})
                                     .Sized(300), NotFound},
        {"strip offsets of a wrong type", Tiff(8).Ifd(8, {{0x0111, Ascii, 3, 100}, {0x0117, Long, 1, 10}}).Sized(200),
         NotFound},
        {"BigTIFF", Tiff(8, std::string_view("II+\0", 4)).Ifd(8, Strip(100, 10)).Sized(200), NotFound},
        {"no byte order", Tiff(8, std::string_view("IM*\0", 4)).Ifd(8, Strip(100, 10)).Sized(200), NotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FeedEveryWay(EndRule::Tiff, c.bytes), c.expected);
    }
}

TEST(TiffEnd, ATiffOwnsItsPreviewAndStripsOnly) {
    const Bytes tiff = Tiff(8).Ifd(8, Strip(100, 50), 200).Ifd(200, {{0x0201, Long, 1, 300}, {0x0202, Long, 1, 1000}})
                           .Sized(1300);
    auto finder = MakeFileEndFinder(EndRule::Tiff);
    // Known as soon as the IFDs are read, before the preview's bytes go by.
    ASSERT_EQ(FeedInPieces(*finder, Bytes(tiff.begin(), tiff.begin() + 260), 0), EndedAt(1300));
    EXPECT_TRUE(finder->Owns(300));
    EXPECT_TRUE(finder->Owns(1299));
    EXPECT_TRUE(finder->Owns(120));
    EXPECT_FALSE(finder->Owns(1300));
    EXPECT_FALSE(finder->Owns(250));
}

}  // namespace
}  // namespace quorvane::testing
