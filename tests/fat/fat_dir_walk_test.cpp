// Walking directories: live and deleted entries, long names, chains that end, loop or break.
#include "fat/fat_drive.h"
#include "fat/fat_image_builder.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

using namespace quorvane::testing;

struct Found {
    std::string name;
    std::uint8_t attr;
    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Found& f) { return os << f.name << "/" << std::hex << int(f.attr); }

// Every entry FindNextEntry gives for a walk, with a cap so that a walk that never ends fails.
std::vector<Found> Walk(TFATdrive& drive, TDirCursor cursor, bool withDeleted) {
    std::vector<Found> out;
    TDirEntry entry;
    std::string name;
    while (out.size() < 100000 && drive.FindNextEntry(cursor, entry, name, withDeleted))
        out.push_back({name, entry.Attr});
    return out;
}

std::vector<Found> WalkRoot(TFATdrive& drive, bool withDeleted) {
    return Walk(drive, TDirCursor(drive.RootCluster, drive.RootDirSector), withDeleted);
}

// A directory cluster filled with n plain file entries named F0001 ...
void FillFiles(FatImage& image, DirSlot& dir, int n, int first = 1) {
    for (int i = first; i < first + n; ++i) {
        char name[12];
        std::snprintf(name, sizeof name, "F%04d   DAT", i);
        image.Put(dir, ShortEntry(name, 0x20, 0, 0));
    }
}

TEST(FatDirWalk, LiveAndDeletedEntriesInDiskOrder) {
    FatImage image(FatLayout::Fat16(5000));
    DirSlot root = image.Root();
    image.Put(root, ShortEntry("TESTCARD   ", 0x08, 0, 0));
    image.Put(root, ShortEntry("A       JPG", 0x20, 5, 10));
    image.Put(root, Deleted(ShortEntry("B       JPG", 0x20, 6, 10)));
    image.Put(root, ShortEntry("DCIM       ", 0x10, 7, 0));
    root.next++;  // the end marker
    image.Put(root, ShortEntry("HIDDEN  JPG", 0x20, 8, 10));  // beyond the end: never read
    auto m = Mount(image);

    EXPECT_EQ(WalkRoot(*m.drive, false),
              (std::vector<Found>{{"TESTCARD", 0x08}, {"A.JPG", 0x20}, {"DCIM", 0x10}}));
    EXPECT_EQ(WalkRoot(*m.drive, true),
              (std::vector<Found>{{"TESTCARD", 0x08}, {"A.JPG", 0x20}, {"\xE5.JPG", 0x20}, {"DCIM", 0x10}}));
}

TEST(FatDirWalk, LongNamesJoinLiveOrDeletedPieces) {
    FatImage image(FatLayout::Fat16(5000));
    DirSlot root = image.Root();
    image.Put(root, LongNameEntries("Holiday photo 0001.jpeg", "HOLIDA~1JPE"));
    image.Put(root, ShortEntry("HOLIDA~1JPE", 0x20, 5, 10));
    image.Put(root, Deleted(LongNameEntries("Deleted picture.jpg", "DELETE~1JPG")));
    image.Put(root, Deleted(ShortEntry("DELETE~1JPG", 0x20, 6, 10)));
    auto m = Mount(image);

    EXPECT_EQ(WalkRoot(*m.drive, true),
              (std::vector<Found>{{"Holiday photo 0001.jpeg", 0x20}, {"Deleted picture.jpg", 0x20}}));
    // Without deleted entries the deleted pieces and their short entry are all passed over.
    EXPECT_EQ(WalkRoot(*m.drive, false), (std::vector<Found>{{"Holiday photo 0001.jpeg", 0x20}}));
}

TEST(FatDirWalk, BrokenLongNames) {
    struct Case {
        const char* name;
        std::function<void(FatImage&, DirSlot&)> fill;
        std::vector<Found> expected;
    } cases[] = {
        {"a piece with another checksum ends the name and is met as an entry",
         [](FatImage& image, DirSlot& root) {
             auto pieces = LongNameEntries("abcdefghijklmnopqrstuvwxyz0", "ABCDEF~1TXT");  // 3 pieces
             pieces[1][13] ^= 0xFF;
             image.Put(root, pieces);
             image.Put(root, ShortEntry("ABCDEF~1TXT", 0x20, 5, 10));
         },
         // The first piece alone gives "0", returned with the odd piece as its entry; the third piece
         // does not start a name; the file is still met under its short name.
         {{"0", 0x0F}, {"", 0x0F}, {"ABCDEF~1.TXT", 0x20}}},
        {"a piece without the first-piece bit is dropped by its attributes",
         [](FatImage& image, DirSlot& root) {
             auto pieces = LongNameEntries("abcdefghijklmnopq", "ABCDEF~1TXT");
             image.Put(root, pieces[1]);
             image.Put(root, ShortEntry("ABCDEF~1TXT", 0x20, 5, 10));
         },
         {{"", 0x0F}, {"ABCDEF~1.TXT", 0x20}}},
        {"pieces at the very end of a directory name nothing",
         [](FatImage& image, DirSlot& root) {
             image.Put(root, ShortEntry("FIRST   TXT", 0x20, 5, 10));
             image.Put(root, LongNameEntries("orphaned long name", "ORPHAN~1TXT"));
         },
         {{"FIRST.TXT", 0x20}}},
        {"a name of 19 pieces keeps 18 and the file is met under its short name",
         [](FatImage& image, DirSlot& root) {
             image.Put(root, LongNameEntries(std::string(240, 'x'), "XXXXXX~1TXT"));
             image.Put(root, ShortEntry("XXXXXX~1TXT", 0x20, 5, 10));
         },
         // The name starts at the 14th character, the first piece being left over.
         {{std::string(227, 'x'), 0x0F}, {"", 0x0F}, {"XXXXXX~1.TXT", 0x20}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FatImage image(FatLayout::Fat12(100, 4));  // a root of 16 entries, clusters of 64
        DirSlot root = image.Root();
        c.fill(image, root);
        auto m = Mount(image);
        auto found = WalkRoot(*m.drive, true);
        // A piece met on its own is named by its raw bytes; only the other names are compared.
        ASSERT_EQ(found.size(), c.expected.size()) << ::testing::PrintToString(found);
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].attr, c.expected[i].attr) << i;
            if (!c.expected[i].name.empty()) {
                EXPECT_EQ(found[i].name, c.expected[i].name) << i;
            }
        }
    }
}

TEST(FatDirWalk, SubdirectoryChainsEndWhereTheyShould) {
    struct Case {
        const char* name;
        std::function<void(FatImage&)> fat;  // FAT entries of the directory clusters 10 and 11
        std::size_t entries;
    } cases[] = {
        {"one cluster with an end mark", [](FatImage& i) { i.Chain({10}); }, 16},
        {"two chained clusters", [](FatImage& i) { i.Chain({10, 11}); }, 32},
        {"a chain looping back to its start", [](FatImage& i) { i.SetFat(10, 11), i.SetFat(11, 10); }, 32},
        {"a cluster pointing at itself", [](FatImage& i) { i.SetFat(10, 10); }, 16},
        // A deleted directory's entries are free: the walk goes on into the free cluster after it,
        // which holds the rest of its entries, and ends at the empty one after that (never reading
        // sector "cluster 0" in front of the data area).
        {"a free next cluster", [](FatImage&) {}, 32},
        {"a bad next cluster", [](FatImage& i) { i.SetFat(10, 0xFFF7); }, 16},
        {"a next cluster outside the volume", [](FatImage& i) { i.SetFat(10, 6000); }, 16},
        {"a next cluster of 1", [](FatImage& i) { i.SetFat(10, 1); }, 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FatImage image(FatLayout::Fat16(5000));
        image.Chain({3, 4});  // makes the FAT trusted
        c.fat(image);
        DirSlot dir = image.Dir({10, 11});
        FillFiles(image, dir, 32);  // both clusters full, no end marker
        auto m = Mount(image);
        ASSERT_EQ(m.drive->ActiveFAT, 1);

        TDirCursor cursor(10, 0);
        auto found = Walk(*m.drive, cursor, true);
        EXPECT_EQ(found.size(), c.entries);
        // Once ended, a walk stays ended.
        TDirEntry entry;
        TDirCursor ended(10, 0);
        for (std::size_t i = 0; i < c.entries; ++i) ASSERT_TRUE(m.drive->GetNextRecord(ended, entry));
        EXPECT_FALSE(m.drive->GetNextRecord(ended, entry));
        EXPECT_FALSE(m.drive->GetNextRecord(ended, entry));
    }
}

TEST(FatDirWalk, WithoutAFatDirectoriesAreContiguous) {
    FatImage image(FatLayout::Fat16(5000));  // quick-formatted: no chains at all
    DirSlot dir = image.Dir({10, 11});
    FillFiles(image, dir, 20);
    auto m = Mount(image);
    ASSERT_EQ(m.drive->ActiveFAT, 0);
    m.device->reads.clear();
    EXPECT_EQ(Walk(*m.drive, TDirCursor(10, 0), false).size(), 20u);
    for (std::uint32_t s : m.device->reads) EXPECT_GE(s, m.drive->FirstDataSector) << "FAT read";
}

TEST(FatDirWalk, CursorsOutsideTheVolumeReadNothing) {
    FatImage image(FatLayout::Fat16(5000));
    auto m = Mount(image);
    m.device->reads.clear();
    TDirEntry entry;
    TDirCursor beyond(m.drive->ClusterCount + 2, 0);
    EXPECT_FALSE(m.drive->GetNextRecord(beyond, entry));
    TDirCursor one(1, 0);
    EXPECT_FALSE(m.drive->GetNextRecord(one, entry));
    TDirCursor pastEnd(0, m.drive->TotalSectors);
    EXPECT_FALSE(m.drive->GetNextRecord(pastEnd, entry));
    EXPECT_TRUE(m.device->reads.empty());
}

TEST(FatDirWalk, RunsOfSectorsEndAtTheVolumesEnd) {
    // A root area without an end marker, followed by a data area whose every entry looks used.
    FatImage image(FatLayout::Fat12(8));
    DirSlot root = image.Root();
    FillFiles(image, root, 16);
    for (std::uint32_t s = image.FirstDataSector(); s < image.Layout().totalSectors; ++s)
        image.WriteSector(s, Bytes(512, 'Q'));
    auto m = Mount(image);
    auto found = WalkRoot(*m.drive, false);
    EXPECT_EQ(found.size(), std::size_t{16 + 8 * 16});
}

TEST(FatDirWalk, AnUnreadableDirectorySectorEndsTheWalk) {
    FatImage image(FatLayout::Fat16(5000));
    image.Chain({3, 4});
    DirSlot dir = image.Dir({10, 11});
    image.Chain({10, 11});
    FillFiles(image, dir, 25);
    auto m = Mount(image);
    m.device->failing = {image.ClusterSector(11)};
    EXPECT_EQ(Walk(*m.drive, TDirCursor(10, 0), false).size(), 16u);
}

TEST(FatDirWalk, ReadDataSecHandsOutWholeSectors) {
    FatImage image(FatLayout::Fat16(5000, 2));
    image.Chain({3, 4});
    image.Chain({10, 12});
    for (std::uint32_t c : {10u, 11u, 12u})
        for (std::uint32_t k = 0; k < 2; ++k)
            image.WriteSector(image.ClusterSector(c) + k, Bytes(512, static_cast<std::uint8_t>(c * 10 + k)));
    auto m = Mount(image);
    std::uint8_t sector[512];
    std::vector<int> seen;

    TDirCursor chain(10, 0);
    while (seen.size() < 10 && m.drive->ReadDataSec(chain, sector)) seen.push_back(sector[0]);
    EXPECT_EQ(seen, (std::vector<int>{100, 101, 120, 121}));

    seen.clear();
    TDirCursor run(0, image.ClusterSector(11));
    for (int i = 0; i < 3 && m.drive->ReadDataSec(run, sector); ++i) seen.push_back(sector[0]);
    EXPECT_EQ(seen, (std::vector<int>{110, 111, 120}));
}

TEST(FatDirWalk, Fat32RootFollowsItsChain) {
    FatImage image(FatLayout::Fat32(65530));
    image.Chain({2, 9});
    DirSlot root = image.Dir({2, 9});
    FillFiles(image, root, 20);
    auto m = Mount(image);
    ASSERT_EQ(m.drive->ActiveFAT, 1);
    auto found = WalkRoot(*m.drive, false);
    ASSERT_EQ(found.size(), 20u);
    EXPECT_EQ(found[19].name, "F0020.DAT");
}

}  // namespace
}  // namespace quorvane
