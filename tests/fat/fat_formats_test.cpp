// Decoding of FAT records and the name conversions.
#include "fat/fat_formats.h"
#include "fat/fat_image_builder.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

using testing::RawEntry;
using testing::ShortEntry;

TDirEntry Decode(const RawEntry& raw) { return *DecodeDirEntry(raw); }

TEST(FatFormats, CnvNameDropsSpacesAndKeepsOtherBytes) {
    struct Case {
        const char* name;
        std::string name11;
        std::string expected;
    } cases[] = {
        {"inner space dropped", "READ ME TXT", "README.TXT"},
        {"no extension, no dot", "FOO        ", "FOO"},
        {"dot entry", ".          ", "."},
        {"dot-dot entry", "..         ", ".."},
        {"deleted marker kept", "\xE5OTO0001JPG", "\xE5OTO0001.JPG"},
        {"0x05 and lower case kept", "\x05" "abc    j g", "\x05" "abc.jg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CnvName(Decode(ShortEntry(c.name11, 0x20, 0, 0))), c.expected);
    }
}

TEST(FatFormats, ReplaceDeletedCharReplacesOnlyTheFirstMarker) {
    EXPECT_EQ(ReplaceDeletedChar("\xE5OTO0001.JPG"), "_OTO0001.JPG");
    EXPECT_EQ(ReplaceDeletedChar("A\xE5" "B\xE5"), "A_B\xE5");
    EXPECT_EQ(ReplaceDeletedChar("PLAIN.JPG"), "PLAIN.JPG");
}

TEST(FatFormats, ClusterTypeClassifiesByWidth) {
    struct Case {
        TFATType type;
        std::uint32_t value;
        TClusterKind kind;
    } cases[] = {
        {ftFAT12, 0, ctFree},          {ftFAT12, 1, ctUsed},          {ftFAT12, 0xFF0, ctUsed},
        {ftFAT12, 0xFF1, ctBad},       {ftFAT12, 0xFF7, ctBad},       {ftFAT12, 0xFF8, ctEOF},
        {ftFAT16, 0xFFF0, ctUsed},     {ftFAT16, 0xFFF7, ctBad},      {ftFAT16, 0xFFF8, ctEOF},
        {ftFAT16, 0, ctFree},          {ftFAT32, 0, ctFree},          {ftFAT32, 0x0FFFFFF0, ctUsed},
        {ftFAT32, 0x0FFFFFF7, ctBad},  {ftFAT32, 0xFFFFFFF8, ctEOF},  {ftFAT32, 0xF0000000, ctFree},
        // An unknown type knows only free and used.
        {ftNone, 0, ctFree},           {ftNone, 0xFFFFFFFF, ctUsed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << NumberOf(c.type) << " value " << std::hex << c.value);
        EXPECT_EQ(ClusterType(c.type, c.value), c.kind);
    }
    EXPECT_EQ(ClusterMask(ftFAT12, ctEOF), 0xFFFu);
    EXPECT_EQ(ClusterMask(ftFAT16, ctBad), 0xFFF7u);
    EXPECT_EQ(ClusterMask(ftFAT32, ctEOF), 0x0FFFFFFFu);
}

TEST(FatFormats, FatTypeFollowsTheClusterCount) {
    EXPECT_EQ(FATTypeForClusterCount(4084), ftFAT12);
    EXPECT_EQ(FATTypeForClusterCount(4085), ftFAT16);
    EXPECT_EQ(FATTypeForClusterCount(65524), ftFAT16);
    EXPECT_EQ(FATTypeForClusterCount(65525), ftFAT32);
}

TEST(FatFormats, Fat12EntriesArePackedInTwelveBits) {
    // Clusters 2 and 3 share bytes 3, 4 and 5: 0x456 for cluster 2, 0x123 for cluster 3.
    std::uint8_t fat[8] = {0xF8, 0xFF, 0xFF, 0x56, 0x34, 0x12, 0, 0};
    EXPECT_EQ(FATEntryOffset(ftFAT12, 2), 3u);
    EXPECT_EQ(FATEntryOffset(ftFAT12, 3), 4u);
    EXPECT_EQ(DecodeFATEntry(ftFAT12, 2, std::span<const std::uint8_t>(fat).subspan(3)), 0x456u);
    EXPECT_EQ(DecodeFATEntry(ftFAT12, 3, std::span<const std::uint8_t>(fat).subspan(4)), 0x123u);
    // FAT32 keeps 28 bits; a buffer too short for the entry gives nothing.
    std::uint8_t fat32[4] = {0x05, 0x00, 0x00, 0xF0};
    EXPECT_EQ(DecodeFATEntry(ftFAT32, 9, fat32), 5u);
    EXPECT_FALSE(DecodeFATEntry(ftFAT32, 9, std::span<const std::uint8_t>(fat32).first(3)));
    EXPECT_FALSE(DecodeFATEntry(ftNone, 9, fat32));
}

TEST(FatFormats, RecordsAreDecodedAtTheirOffsets) {
    RawEntry raw = ShortEntry("IMG_0001JPG", 0x21, 0x0003'0004, 123456, 0xBEEF, 0x5A21);
    raw[14] = 0x11, raw[16] = 0x22, raw[18] = 0x33;
    TDirEntry e = Decode(raw);
    EXPECT_EQ(e.Attr, 0x21);
    EXPECT_EQ(e.FirstCluster(), 0x0003'0004u);
    EXPECT_EQ(e.FileSize, 123456u);
    EXPECT_EQ(e.WriteTime, 0xBEEF);
    EXPECT_EQ(e.WriteDate, 0x5A21);
    EXPECT_EQ(e.CreateTime, 0x11);
    EXPECT_EQ(e.CreateDate, 0x22);
    EXPECT_EQ(e.AccessDate, 0x33);
    EXPECT_FALSE(DecodeDirEntry(std::span<const std::uint8_t>(raw).first(31)));

    TFATDate date = DecodeFATDate(0x5A21);  // 2025-01-01
    EXPECT_EQ(date.Year, 2025);
    EXPECT_EQ(date.Month, 1);
    EXPECT_EQ(date.Day, 1);
    TFATTime time = DecodeFATTime(0xBEEF);
    EXPECT_EQ(time.Hours, 23);
    EXPECT_EQ(time.Minutes, 55);
    EXPECT_EQ(time.Seconds2, 15);

    testing::FatImage image(testing::FatLayout::Fat32(65600, 1));
    auto boot = DecodeBootSec(*image.bytes);
    ASSERT_TRUE(boot);
    EXPECT_EQ(boot->BytesPerSector, 512);
    EXPECT_EQ(boot->ReservedSectors, 8);
    EXPECT_EQ(boot->SectorsPerFAT16, 0);
    EXPECT_EQ(boot->SectorsPerFAT32, image.Layout().sectorsPerFAT);
    EXPECT_EQ(boot->TotalSectors32, image.Layout().totalSectors);
    EXPECT_EQ(boot->RootCluster, 2u);
    EXPECT_EQ(std::string(boot->VolumeLabel32.begin(), boot->VolumeLabel32.end()), "TESTCARD   ");
    EXPECT_FALSE(DecodeBootSec(std::span<const std::uint8_t>(*image.bytes).first(89)));
}

TEST(FatFormats, LongNamePiecesCarryThirteenCharactersInThreeRuns) {
    auto pieces = testing::LongNameEntries("abcdefghijklmnop", "ABCDEF~1TXT");
    ASSERT_EQ(pieces.size(), 2u);
    TLongNamePiece last = DecodeLongNamePiece(Decode(pieces[0]));
    TLongNamePiece first = DecodeLongNamePiece(Decode(pieces[1]));
    EXPECT_TRUE(last.IsFirstStored());
    EXPECT_FALSE(first.IsFirstStored());
    EXPECT_EQ(std::u16string(first.Chars.begin(), first.Chars.end()), u"abcdefghijklm");
    EXPECT_EQ(last.Chars[0], u'n');
    EXPECT_EQ(last.Chars[3], 0);
    EXPECT_EQ(last.Chars[4], 0xFFFF);
    std::array<std::uint8_t, 11> shortName;
    std::copy_n("ABCDEF~1TXT", 11, shortName.begin());
    EXPECT_EQ(first.Checksum, ShortNameChecksum(shortName));
}

}  // namespace
}  // namespace quorvane
