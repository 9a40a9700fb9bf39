// The buffer tests of the structure analyser: is a sector made of plausible directory entries?
#include "fat/fat_analyser.h"
#include "fat/fat_analyser_fixture.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace quorvane {
namespace {

using namespace analyser_test;

// Drive figures for the tests: 1000 clusters (valid numbers 2..1001), 8000 data sectors.
constexpr std::uint32_t kClusters = 1000;
constexpr std::uint32_t kDataSectors = 8000;

TEST(CheckDirEntry, LadderNamesTheFirstReasonForRejecting) {
    struct Case {
        const char* name;
        std::function<void(Raw&)> change;
        DirEntryVerdict expected;
    };
    const std::vector<Case> cases = {
        {"plain file", [](Raw&) {}, DirEntryVerdict::Valid},
        {"deleted file (0xE5 passes)", [](Raw& e) { e[0] = 0xE5; }, DirEntryVerdict::Valid},
        {"0x05 standing for 0xE5", [](Raw& e) { e[0] = 0x05; }, DirEntryVerdict::Valid},
        {"0x05 later in the name", [](Raw& e) { e[3] = 0x05; }, DirEntryVerdict::BadNameByte},
        {"end marker", [](Raw& e) { e[0] = 0x00; }, DirEntryVerdict::BadNameByte},
        {"control byte in the extension", [](Raw& e) { e[10] = 0x1F; }, DirEntryVerdict::BadNameByte},
        {"space inside the name", [](Raw& e) { e[4] = ' '; }, DirEntryVerdict::Valid},
        {"lower-case letters", [](Raw& e) { e[1] = 'a'; }, DirEntryVerdict::Valid},
        {"code-page letter", [](Raw& e) { e[2] = 0x8E; }, DirEntryVerdict::Valid},
        {"DEL character", [](Raw& e) { e[2] = 0x7F; }, DirEntryVerdict::Valid},
        {"plus sign", [](Raw& e) { e[2] = '+'; }, DirEntryVerdict::BadNameByte},
        {"full stop", [](Raw& e) { e[0] = '.'; }, DirEntryVerdict::BadNameByte},
        {"question mark", [](Raw& e) { e[7] = '?'; }, DirEntryVerdict::BadNameByte},
        {"vertical bar", [](Raw& e) { e[9] = '|'; }, DirEntryVerdict::BadNameByte},
        {"backslash", [](Raw& e) { e[1] = '\\'; }, DirEntryVerdict::BadNameByte},
        {"first cluster 0 (empty file)", [](Raw& e) { PutLe16(e, 26, 0); }, DirEntryVerdict::BadFirstCluster},
        {"first cluster 1", [](Raw& e) { PutLe16(e, 26, 1); }, DirEntryVerdict::BadFirstCluster},
        {"last cluster of the volume", [](Raw& e) { PutLe16(e, 26, kClusters + 1); }, DirEntryVerdict::Valid},
        {"cluster past the volume", [](Raw& e) { PutLe16(e, 26, kClusters + 2); }, DirEntryVerdict::BadFirstCluster},
        {"high cluster word puts it past the volume", [](Raw& e) { PutLe16(e, 20, 1); },
         DirEntryVerdict::BadFirstCluster},
        {"label with a cluster", [](Raw& e) { e[11] = faVolumeLabel; }, DirEntryVerdict::BadFirstCluster},
        {"directory without a cluster", [](Raw& e) { e[11] = faDirectory; PutLe16(e, 26, 0); },
         DirEntryVerdict::BadFirstCluster},
        {"reserved attribute bit 0x40", [](Raw& e) { e[11] |= 0x40; }, DirEntryVerdict::ReservedAttrBits},
        {"reserved attribute bit 0x80", [](Raw& e) { e[11] |= 0x80; }, DirEntryVerdict::ReservedAttrBits},
        {"size filling the data area", [](Raw& e) { PutLe32(e, 28, kDataSectors * 512 + 511); },
         DirEntryVerdict::Valid},
        {"size larger than the data area", [](Raw& e) { PutLe32(e, 28, (kDataSectors + 1) * 512); },
         DirEntryVerdict::SizeBeyondData},
        {"write time 24:00", [](Raw& e) { PutLe16(e, 22, Time(24, 0, 0)); }, DirEntryVerdict::BadTime},
        {"write time minute 60", [](Raw& e) { PutLe16(e, 22, Time(1, 60, 0)); }, DirEntryVerdict::BadTime},
        {"write time seconds 60", [](Raw& e) { PutLe16(e, 22, 30); }, DirEntryVerdict::BadTime},
        {"write time 23:59:58", [](Raw& e) { PutLe16(e, 22, Time(23, 59, 58)); }, DirEntryVerdict::Valid},
        {"write date month 13", [](Raw& e) { PutLe16(e, 24, Date(2004, 13, 1)); }, DirEntryVerdict::BadDate},
        {"write date month 0", [](Raw& e) { PutLe16(e, 24, Date(2004, 0, 1)); }, DirEntryVerdict::BadDate},
        {"write date day 0", [](Raw& e) { PutLe16(e, 24, Date(2004, 5, 0)); }, DirEntryVerdict::BadDate},
        {"write date 0 is not tested", [](Raw& e) { PutLe16(e, 24, 0); }, DirEntryVerdict::Valid},
        {"year is not tested", [](Raw& e) { PutLe16(e, 24, Date(2107, 12, 31)); }, DirEntryVerdict::Valid},
        {"creation time out of range", [](Raw& e) { PutLe16(e, 14, Time(25, 0, 0)); }, DirEntryVerdict::BadTime},
        {"creation date out of range", [](Raw& e) { PutLe16(e, 16, Date(2000, 15, 3)); }, DirEntryVerdict::BadDate},
        {"access date out of range", [](Raw& e) { PutLe16(e, 18, Date(2000, 1, 0)); }, DirEntryVerdict::BadDate},
        {"name tested before cluster", [](Raw& e) { e[0] = '*'; PutLe16(e, 26, 0); }, DirEntryVerdict::BadNameByte},
        {"cluster tested before size", [](Raw& e) { PutLe16(e, 26, 0); PutLe32(e, 28, 0xFFFFFFFF); },
         DirEntryVerdict::BadFirstCluster},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Raw raw = FileEntry();
        c.change(raw);
        const DirEntryVerdict got = CheckDirEntry(Decode(raw), false, kClusters, kDataSectors);
        EXPECT_EQ(got, c.expected) << DirEntryVerdictName(got) << " instead of " << DirEntryVerdictName(c.expected);
    }
}

TEST(CheckDirEntry, LongNamePiecesArePassedOverOnlyInARun) {
    const Raw first = LongNamePiece(0x42, "ong name.jpg\0");
    const Raw later = LongNamePiece(0x01, "A very long n");
    EXPECT_EQ(CheckDirEntry(Decode(first), false, kClusters, kDataSectors), DirEntryVerdict::LongNamePiece);
    EXPECT_EQ(CheckDirEntry(Decode(later), true, kClusters, kDataSectors), DirEntryVerdict::LongNamePiece);
    // A later piece that follows no passed piece is read as a short entry; its UTF-16 high bytes
    // are control bytes.
    EXPECT_EQ(CheckDirEntry(Decode(later), false, kClusters, kDataSectors), DirEntryVerdict::BadNameByte);
    // A deleted first piece keeps the 0x40 bit in 0xE5.
    Raw deleted = first;
    deleted[0] = 0xE5;
    EXPECT_EQ(CheckDirEntry(Decode(deleted), false, kClusters, kDataSectors), DirEntryVerdict::LongNamePiece);
    // A "piece" with a cluster is no piece at all.
    Raw withCluster = first;
    PutLe16(withCluster, 26, 7);
    EXPECT_NE(CheckDirEntry(Decode(withCluster), false, kClusters, kDataSectors), DirEntryVerdict::LongNamePiece);
}

TEST(CheckDirEntry, LargestClusterCountDoesNotWrap) {
    Raw raw = FileEntry();
    PutLe16(raw, 20, 0xFFFF);
    PutLe16(raw, 26, 0xFFFF);
    EXPECT_EQ(CheckDirEntry(Decode(raw), false, 0xFFFFFFFF, kDataSectors), DirEntryVerdict::Valid);
}

// A 512-byte sector assembled from entries; the rest stays zero (end markers).
std::vector<std::uint8_t> Sector(const std::vector<Raw>& entries) {
    std::vector<std::uint8_t> s(512, 0);
    for (std::size_t i = 0; i < entries.size() && i < 16; ++i) std::memcpy(&s[i * 32], entries[i].data(), 32);
    return s;
}

std::vector<Raw> SixteenFiles() {
    std::vector<Raw> entries;
    for (int i = 0; i < 16; ++i) {
        char name[12];
        std::snprintf(name, sizeof name, "DSC%05dJPG", i);
        entries.push_back(FileEntry(name, static_cast<std::uint32_t>(2 + 10 * i)));
    }
    return entries;
}

TEST(DirEntriesValidB, NeedsSixteenPlausibleEntriesInARow) {
    struct Case {
        const char* name;
        std::function<void(std::vector<Raw>&)> change;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"sixteen live files", [](auto&) {}, true},
        {"some deleted", [](auto& e) { e[3][0] = 0xE5; e[9][0] = 0xE5; }, true},
        {"a plus sign in one name", [](auto& e) { e[12][4] = '+'; }, false},
        {"fifteen entries and the end marker", [](auto& e) { e[15] = Raw{}; }, false},
        {"month 13 in one write date", [](auto& e) { PutLe16(e[6], 24, Date(2004, 13, 2)); }, false},
        {"write dates of 0", [](auto& e) { for (auto& r : e) PutLe16(r, 24, 0); }, true},
        {"a volume label among files", [](auto& e) { e[0] = LabelEntry(); }, true},
        {"a long name: first piece, further piece, short entry",
         [](auto& e) {
             e[4] = LongNamePiece(0x42, "ong name.jpg\0");
             e[5] = LongNamePiece(0x01, "A very long n");
         },
         true},
        {"a lone later piece", [](auto& e) { e[5] = LongNamePiece(0x01, "A very long n"); }, false},
        {"one file starts past the volume", [](auto& e) { PutLe16(e[15], 26, kClusters + 2); }, false},
        {"one file larger than the data area",
         [](auto& e) { PutLe32(e[2], 28, (kDataSectors + 1) * 512); }, false},
        {"the dot entries of a directory start",
         [](auto& e) {
             std::memcpy(e[0].data(), ".          ", 11);
             std::memcpy(e[1].data(), "..         ", 11);
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto entries = SixteenFiles();
        c.change(entries);
        const auto sector = Sector(entries);
        TFATAnalyser analyser;
        EXPECT_EQ(analyser.DirEntriesValidB(sector.data(), 512, kClusters, kDataSectors), c.valid);
    }
}

TEST(DirEntriesValidB, RejectsSectorsThatAreNotDirectories) {
    TFATAnalyser analyser;
    const std::vector<std::uint8_t> zeros(512, 0);
    EXPECT_FALSE(analyser.DirEntriesValidB(zeros.data(), 512, kClusters, kDataSectors));

    // Nearly all zero: one plausible entry, then nothing.
    auto nearlyZero = Sector({FileEntry()});
    EXPECT_FALSE(analyser.DirEntriesValidB(nearlyZero.data(), 512, kClusters, kDataSectors));

    // Picture data: printable noise with forbidden characters and out-of-range fields.
    std::vector<std::uint8_t> noise(512);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 37 + 11);
    EXPECT_FALSE(analyser.DirEntriesValidB(noise.data(), 512, kClusters, kDataSectors));

    // Filled with 0xE5: names pass, but the cluster and the dates do not.
    const std::vector<std::uint8_t> e5(512, 0xE5);
    EXPECT_FALSE(analyser.DirEntriesValidB(e5.data(), 512, kClusters, kDataSectors));
}

TEST(DirEntriesValidB, ShortBuffersAreNotReadPastTheirEnd) {
    TFATAnalyser analyser;
    const auto sector = Sector(SixteenFiles());
    EXPECT_TRUE(analyser.DirEntriesValidB(sector.data(), 512, kClusters, kDataSectors));
    // Fifteen whole entries and a part of the sixteenth.
    EXPECT_FALSE(analyser.DirEntriesValidB(sector.data(), 511, kClusters, kDataSectors));
    EXPECT_FALSE(analyser.DirEntriesValidB(sector.data(), 0, kClusters, kDataSectors));
    EXPECT_FALSE(analyser.DirEntriesValidB(nullptr, 512, kClusters, kDataSectors));
}

TEST(GetNextRecordB, HandsOutWholeEntriesAndAdvances) {
    TFATAnalyser analyser;
    const auto sector = Sector({FileEntry("FIRST   TXT"), FileEntry("SECOND  TXT")});
    TDirEntry entry;
    std::uint16_t index = 0;
    ASSERT_TRUE(analyser.GetNextRecordB(sector.data(), 64, index, entry));
    EXPECT_EQ(TFATAnalyser::CnvName(entry), "FIRST.TXT");
    EXPECT_EQ(index, 1);
    ASSERT_TRUE(analyser.GetNextRecordB(sector.data(), 64, index, entry));
    EXPECT_EQ(TFATAnalyser::CnvName(entry), "SECOND.TXT");
    EXPECT_EQ(index, 2);
    // The third entry does not fit in 64 bytes (nor in 95): the index stays, the entry too.
    EXPECT_FALSE(analyser.GetNextRecordB(sector.data(), 95, index, entry));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(TFATAnalyser::CnvName(entry), "SECOND.TXT");
    // The largest index does not wrap around into the buffer.
    index = 0xFFFF;
    EXPECT_FALSE(analyser.GetNextRecordB(sector.data(), 512, index, entry));
}

TEST(TFATAnalyser, StatelessWrappersAgreeWithTheFormatRoutines) {
    EXPECT_EQ(TFATAnalyser::ClusterType(ftFAT12, 0xFF0), ctUsed);
    EXPECT_EQ(TFATAnalyser::ClusterType(ftFAT12, 0xFF1), ctBad);
    EXPECT_EQ(TFATAnalyser::ClusterType(ftFAT32, 0xFFFFFFF8), ctEOF);
    EXPECT_EQ(TFATAnalyser::CnvName(Decode(FileEntry("READ ME TXT"))), "README.TXT");
}

}  // namespace
}  // namespace quorvane
