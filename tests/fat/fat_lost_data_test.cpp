// The lost data search on small cards built in memory: what a walk from the root accounts for,
// lost directories and files after a quick format, where a lost file's copy ends, and the bounds
// that keep damaged cards from hanging the search.
#include "fat/fat_image_builder.h"
#include "fat/fat_objects.h"
#include "fat/fat_recording_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quorvane {
namespace {

using namespace testing;

// Bytes that the signature test takes for a JPEG: the start-of-image marker, then pattern bytes.
Bytes Jpeg(std::size_t size, std::uint8_t seed) {
    Bytes b = Pattern(size, seed);
    b[0] = 0xFF, b[1] = 0xD8, b[2] = 0xFF, b[3] = 0xE0;
    return b;
}

// The names of the items in "Lost", in list order.
std::vector<std::string> LostNames(TFATdrive& drive) {
    std::vector<std::string> names;
    for (const auto& item : *drive.FATLostDir()->Children) {
        if (auto* d = dynamic_cast<TCustomDirectory*>(item.get())) names.push_back(d->Name);
        if (auto* f = dynamic_cast<TCustomFile*>(item.get())) names.push_back(f->Name);
    }
    return names;
}

std::vector<std::string> RecoveredNames(const RecordingScan& scan) {
    std::vector<std::string> names;
    for (const auto& r : scan.recovered) names.push_back(r.name);
    return names;
}

// A FAT16 card of 5000 one-sector clusters whose FAT is followed: DCIM at cluster 2 holds two
// pictures of several clusters and a deleted one.
struct LiveCard {
    LiveCard() : image(FatLayout::Fat16(5000)) {
        DirSlot root = image.Root();
        image.Put(root, ShortEntry("TESTCARD   ", faVolumeLabel, 0, 0));
        DirSlot dcim = image.AddDir(root, "DCIM       ", 2);
        image.AddFile(dcim, "IMG_0001JPG", 10, Jpeg(3000, 1));
        image.AddFile(dcim, "IMG_0002JPG", 20, Jpeg(2000, 2));
        image.WriteData(30, Jpeg(1000, 3));
        image.Put(dcim, Deleted(ShortEntry("IMG_0003JPG", faArchive, 30, 1000)));
        // Picture bytes that happen to look like a JPEG start in the middle of a live file.
        Bytes inner = Jpeg(512, 4);
        image.WriteData(12, inner);
    }
    FatImage image;
};

TEST(FatLostData, LiveCardIsAccountedForByTheWalkFromTheRoot) {
    LiveCard card;
    card.image.WriteData(4000, Jpeg(512, 5));  // a free cluster that starts a picture
    RecordingScan scan;
    auto m = Mount(card.image);
    ASSERT_EQ(m.drive->ActiveFAT, 1);
    m.drive->FindLostData();
    EXPECT_EQ(LostNames(*m.drive), std::vector<std::string>{"cluster 4000.JPG"});
    EXPECT_EQ(RecoveredNames(scan), std::vector<std::string>{"cluster 4000.JPG"});
    ASSERT_EQ(scan.starts.size(), 1u);
    EXPECT_EQ(scan.starts[0], (std::vector<std::uint32_t>{5000, 2, 5001, 512}));
    EXPECT_EQ(scan.clusterStarts, scan.starts);
}

// After a quick format the FAT and root are empty, but the old directory cluster and pictures are
// still in the data area.
struct QuickFormattedCard {
    QuickFormattedCard() : image(FatLayout::Fat16(5000)) {
        DirSlot root = image.Root();
        image.Put(root, ShortEntry("NEWCARD    ", faVolumeLabel, 0, 0));
        image.WriteData(5, Jpeg(1800, 1));  // a picture before the directory
        DirSlot old = image.Dir({10});
        image.Put(old, ShortEntry(".          ", faDirectory, 10, 0));
        image.Put(old, ShortEntry("..         ", faDirectory, 0, 0));
        image.AddFile(old, "IMG_0001JPG", 20, Jpeg(2500, 2), "Holiday 0001.jpg", false);
        image.AddFile(old, "IMG_0002JPG", 30, Jpeg(700, 3), {}, false);
        image.AddFile(old, "IMG_0003JPG", 5, Jpeg(1800, 1), {}, false);
        image.WriteData(40, Jpeg(700, 4));  // a picture whose entry is gone
        // An empty directory: only "." and "..".
        DirSlot empty = image.Dir({50});
        image.Put(empty, ShortEntry(".          ", faDirectory, 50, 0));
        image.Put(empty, ShortEntry("..         ", faDirectory, 0, 0));
    }
    FatImage image;
};

TEST(FatLostData, QuickFormatLeavesALostDirectoryAndLostPictures) {
    QuickFormattedCard card;
    RecordingScan scan;
    TempFolder folder;
    scan.saveFolder = folder.Slash();
    auto m = Mount(card.image);
    ASSERT_EQ(m.drive->ActiveFAT, 0);
    m.drive->FindLostData();

    // The picture at cluster 5 lies below the directory and is found on its own first; the
    // directory's other pictures are accounted for by its walk. The empty directory is no lost
    // directory.
    EXPECT_EQ(LostNames(*m.drive), (std::vector<std::string>{"cluster 5.JPG", "cluster 10", "cluster 40.JPG"}));
    EXPECT_EQ(RecoveredNames(scan), (std::vector<std::string>{"cluster 5.JPG", "cluster 40.JPG"}));

    auto* dir = dynamic_cast<TFATDirectory*>((*m.drive->FATLostDir()->Children)[1].get());
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->FirstCluster, 10u);
    EXPECT_EQ(dir->State, StateLost);
    EXPECT_EQ(dir->Parent, m.drive->FATLostDir());
    dir->AddChildren(false, false);
    ASSERT_EQ(dir->Children->size(), 3u);
    EXPECT_EQ(dynamic_cast<TFATFile&>(*(*dir->Children)[0]).Name, "Holiday 0001.jpg");

    // Each lost file's copy ends where the next start is: the directory at 10, the empty
    // directory at 50.
    ASSERT_EQ(scan.recovered.size(), 2u);
    EXPECT_EQ(scan.recovered[0].size, 5u * 512);
    EXPECT_EQ(scan.recovered[1].size, 10u * 512);
    const Bytes& image = *card.image.bytes;
    const auto at = [&](std::uint32_t cluster, std::uint32_t bytes) {
        const std::size_t from = std::size_t{card.image.ClusterSector(cluster)} * 512;
        return Bytes(image.begin() + from, image.begin() + from + bytes);
    };
    ASSERT_EQ(scan.savedPaths.size(), 2u);
    EXPECT_EQ(ReadHostFile(scan.savedPaths[0]), at(5, 5 * 512));
    EXPECT_EQ(ReadHostFile(scan.savedPaths[1]), at(40, 10 * 512));
}

TEST(FatLostData, LostFileCopyEndsAtTheNextStartOrTheLimit) {
    struct Case {
        const char* name;
        std::function<void(FatImage&)> build;
        std::uint32_t size;  // of the lost file at cluster 100
    };
    const std::vector<Case> cases = {
        {"next picture", [](FatImage& i) { i.WriteData(107, Jpeg(512, 2)); }, 7 * 2048},
        {"a directory", [](FatImage& i) {
             DirSlot d = i.Dir({103});
             i.Put(d, ShortEntry(".          ", faDirectory, 103, 0));
             i.Put(d, ShortEntry("..         ", faDirectory, 0, 0));
         }, 3 * 2048},
        {"a cluster of a live file", [](FatImage& i) {
             DirSlot root = i.Root();
             i.AddFile(root, "LIVE    BIN", 105, Pattern(4000, 3));
         }, 5 * 2048},
        {"the end of the data area", [](FatImage& i) {
             i.WriteData(i.ClusterCount() - 1, Jpeg(512, 4));
         }, 0},
        {"the size limit", [](FatImage&) {}, 5'120'000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FatImage image(FatLayout::Fat16(5000, 4));
        image.Chain({2, 3});  // the FAT is followed
        image.WriteData(100, Jpeg(2048, 1));
        c.build(image);
        RecordingScan scan;
        auto m = Mount(image);
        m.drive->FindLostData();
        ASSERT_GE(scan.recovered.size(), 1u);
        EXPECT_EQ(scan.recovered[0].name, "cluster 100.JPG");
        if (c.size != 0) {
            EXPECT_EQ(scan.recovered[0].size, c.size);
        } else {
            // The picture near the end: 3 clusters up to the last one.
            ASSERT_EQ(scan.recovered.size(), 2u);
            EXPECT_EQ(scan.recovered[1].size, 3u * 2048);
        }
    }
}

TEST(FatLostData, ForgottenRootSectorsOfTheFixedRootArea) {
    FatLayout layout = FatLayout::Fat16(5000);
    layout.rootEntryCount = 64;  // four sectors of root area
    layout.totalSectors += 3;
    struct Case {
        const char* name;
        bool fullFirstSector;  // the live root fills its first sector with entries
    } cases[] = {
        {"entries past the live root's end", false},
        {"a live root longer than a sector is not lost", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FatImage image(layout);
        DirSlot root = image.Root();
        image.Put(root, ShortEntry("TESTCARD   ", faVolumeLabel, 0, 0));
        if (c.fullFirstSector) {
            for (std::uint32_t i = 0; i < 20; ++i)
                image.AddFile(root, "LIVE    JPG", 200 + 2 * i, Jpeg(1000, static_cast<std::uint8_t>(i)));
        }
        // From sector 2 of the area: 16 plausible entries of an older root, one of them a picture
        // whose first cluster must not come back as a lost file.
        DirSlot older{image.RootDirSector() + 2, {}, 0};
        image.Put(older, ShortEntry("OLDPIC  JPG", faArchive, 300, 1000, 0x5A21, 0x3A8F));
        for (int i = 0; i < 15; ++i) image.Put(older, ShortEntry("OLDTXT  TXT", faArchive, 400 + i, 100, 0x5A21, 0x3A8F));
        image.WriteData(300, Jpeg(1000, 9));

        RecordingScan scan;
        auto m = Mount(image);
        ASSERT_EQ(m.drive->FATType, ftFAT16);
        m.drive->FindLostData();
        EXPECT_EQ(LostNames(*m.drive),
                  std::vector<std::string>{"sector " + std::to_string(image.RootDirSector() + 2) + " (root)"});
        EXPECT_TRUE(scan.recovered.empty());
    }
}

TEST(FatLostData, Fat32HasNoRootAreaToScan) {
    FatImage image(FatLayout::Fat32(70000));
    DirSlot root = image.Root();  // cluster 2: its first sector is where a root area scan would look
    for (std::uint32_t i = 0; i < 16; ++i) image.AddFile(root, "LIVE    JPG", 100 + 2 * i, Jpeg(1000, 1));
    RecordingScan scan;
    auto m = Mount(image);
    ASSERT_EQ(m.drive->FATType, ftFAT32);
    m.drive->FindLostData();
    EXPECT_TRUE(LostNames(*m.drive).empty());
}

// A lost directory that a later walk reaches again is no longer lost; lost files stay listed.
TEST(FatLostData, ItemReachedByALaterWalkIsDropped) {
    FatImage image(FatLayout::Fat16(5000));
    image.WriteData(5, Jpeg(512, 1));
    auto putDir = [&](std::uint32_t cluster, const RawEntry& entry) {
        DirSlot d = image.Dir({cluster});
        image.Put(d, ShortEntry(".          ", faDirectory, cluster, 0));
        image.Put(d, ShortEntry("..         ", faDirectory, 0, 0));
        image.Put(d, entry);
    };
    putDir(10, ShortEntry("IMG_0001JPG", faArchive, 30, 100));
    // A later directory lists a file whose first cluster is that of the directory at 10 (and the
    // lost file at 5): the cluster was reused.
    putDir(20, ShortEntry("REUSED  JPG", faArchive, 10, 100));
    DirSlot d20{0, {20}, 3};
    image.Put(d20, ShortEntry("REUSED2 JPG", faArchive, 5, 100));
    RecordingScan scan;
    auto m = Mount(image);
    m.drive->FindLostData();
    EXPECT_EQ(LostNames(*m.drive), (std::vector<std::string>{"cluster 5.JPG", "cluster 20"}));
}

TEST(FatLostData, BadClustersArePassedOverWithTheOption) {
    for (std::uint8_t option : {0, 1}) {
        SCOPED_TRACE(int{option});
        FatImage image(FatLayout::Fat16(5000));
        image.Chain({2, 3});
        image.WriteData(60, Jpeg(512, 1));
        image.SetFat(60, 0xFFF7);
        RecordingScan scan;
        auto m = Mount(image);
        m.drive->LostSearchOption = option;
        m.drive->FindLostData();
        EXPECT_EQ(scan.recovered.size(), option ? 0u : 1u);
    }
}

TEST(FatLostData, StopEndsTheClusterScanAndKeepsWhatWasFound) {
    FatImage image(FatLayout::Fat16(5000));
    for (std::uint32_t c : {100, 200, 300}) image.WriteData(c, Jpeg(512, 1));
    RecordingScan scan;
    scan.onRecover = [](RecordingScan& s, TFATFile&) { s.Stopped = true; };
    auto m = Mount(image);
    m.drive->FindLostData();
    EXPECT_EQ(LostNames(*m.drive), std::vector<std::string>{"cluster 100.JPG"});
}

TEST(FatLostData, StatusShowsWhereTheScanIs) {
    QuickFormattedCard card;
    RecordingScan scan;
    scan.updateEveryTime = true;
    auto m = Mount(card.image);
    m.drive->FindLostData();
    ASSERT_FALSE(scan.statuses.empty());
    EXPECT_NE(std::find(scan.statuses.begin(), scan.statuses.end(),
                        "Scanning sector " + std::to_string(m.drive->RootDirSector + 1) + "|Lost directories found: 0|"),
              scan.statuses.end());
    EXPECT_EQ(scan.statuses.back(), "Scanning cluster 5001|Lost directories found: 1|Lost files found: 2");
}

// Damaged cards: each search ends, and finds what lies beyond the damage.
TEST(FatLostData, EndsOnLoopsInChainsAndDirectories) {
    struct Case {
        const char* name;
        std::function<void(FatImage&)> build;
    };
    const std::vector<Case> cases = {
        {"file chain looping back",
         [](FatImage& i) {
             DirSlot root = i.Root();
             i.AddFile(root, "LOOP    JPG", 10, Jpeg(1500, 1));
             i.SetFat(12, 10);
         }},
        {"directory chain looping back",
         [](FatImage& i) {
             DirSlot root = i.Root();
             DirSlot d = i.AddDir(root, "DCIM       ", 20);
             for (std::uint32_t k = 0; k < 14; ++k) i.Put(d, ShortEntry("IMG     JPG", faArchive, 40 + k, 100));
             i.Chain({20, 21});
             i.SetFat(21, 20);
             DirSlot second = i.Dir({21});
             for (std::uint32_t k = 0; k < 16; ++k) i.Put(second, ShortEntry("IMG2    JPG", faArchive, 60 + k, 100));
         }},
        {"subdirectory pointing at its parent",
         [](FatImage& i) {
             DirSlot root = i.Root();
             DirSlot d = i.AddDir(root, "DCIM       ", 20);
             i.Put(d, ShortEntry("UP         ", faDirectory, 20, 0));
         }},
        {"nesting far deeper than a real tree",
         [](FatImage& i) {
             DirSlot parent = i.Root();
             for (std::uint32_t c = 20; c < 1020; ++c) parent = i.AddDir(parent, "D          ", c, c == 20 ? 0 : c - 1);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FatImage image(FatLayout::Fat16(5000));
        image.Chain({2, 3});
        c.build(image);
        image.WriteData(4000, Jpeg(512, 7));
        RecordingScan scan;
        auto m = Mount(image);
        ASSERT_EQ(m.drive->ActiveFAT, 1);
        m.drive->FindLostData();
        ASSERT_FALSE(scan.recovered.empty());
        EXPECT_EQ(scan.recovered.back().name, "cluster 4000.JPG");
    }
}

}  // namespace
}  // namespace quorvane

namespace quorvane {
namespace {

using namespace testing;

// A quick-formatted card whose every data cluster looks like a directory, each pointing at many
// others: searching it must read each cluster a bounded number of times, not once per path.
TEST(FatLostData, DenseDirectoryGraphIsReadOncePerSearch) {
    constexpr std::uint32_t clusters = 2000;
    FatImage image(FatLayout::Fat16(clusters + 2000));
    std::uint32_t seed = 1;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return 2 + (seed >> 8) % clusters;
    };
    for (std::uint32_t c = 2; c < clusters + 2; ++c) {
        DirSlot dir = image.Dir({c});
        image.Put(dir, ShortEntry(".          ", faDirectory, c, 0));
        image.Put(dir, ShortEntry("..         ", faDirectory, next(), 0));
        for (int k = 0; k < 14; ++k) image.Put(dir, ShortEntry("SUB        ", faDirectory, next(), 0));
    }
    RecordingScan scan;
    auto m = Mount(image);
    ASSERT_EQ(m.drive->ActiveFAT, 0);
    m.drive->FindLostData();
    std::int32_t files = 0, folders = 0;
    m.drive->AnalyzeTotalFile(false, false, true, files, folders);
    EXPECT_GT(folders, 0);
    // Every cluster is tested, walked and listed a few times at most; the graph has 28,000 paths.
    EXPECT_LT(m.device->reads.size(), 12u * clusters);
}

}  // namespace
}  // namespace quorvane
