// Mounting a FAT volume: geometry, FAT type, messages, FAT trust, FAT entries, the drive list.
#include "fat/fat_drive.h"
#include "fat/fat_file_system.h"
#include "fat/fat_messages.h"
#include "fat/fat_image_builder.h"
#include "fat/fat_objects.h"

#include <gtest/gtest.h>

#include <set>

namespace quorvane {
namespace {

using namespace quorvane::testing;

struct ShownMessage {
    std::string text, caption;
};

// Records the messages that mounting shows, for its lifetime.
class RecordingUI {
public:
    RecordingUI() {
        SetFATMessageHook([this](const std::string& text, const std::string& caption, TFATMessageKind) {
            shown.push_back({text, caption});
        });
    }
    ~RecordingUI() { SetFATMessageHook(nullptr); }
    std::vector<ShownMessage> shown;
};

void PatchLe16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PatchLe32(Bytes& b, std::size_t at, std::uint32_t v) {
    PatchLe16(b, at, static_cast<std::uint16_t>(v));
    PatchLe16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

TEST(FatVolume, GeometryAndTypeFollowFromTheBootSector) {
    struct Case {
        const char* name;
        FatLayout layout;
        TFATType type;
    } cases[] = {
        {"4084 clusters", FatLayout::Fat12(4084), ftFAT12},
        {"4085 clusters", FatLayout::Fat16(4085), ftFAT16},
        {"65524 clusters", FatLayout::Fat16(65524), ftFAT16},
        {"65525 clusters", FatLayout::Fat32(65525), ftFAT32},
        {"FAT12 with 4-sector clusters", FatLayout::Fat12(300, 4), ftFAT12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FatImage image(c.layout);
        auto m = Mount(image);
        ASSERT_TRUE(m.mounted);
        TFATdrive& d = *m.drive;
        EXPECT_EQ(d.FATType, c.type);
        EXPECT_EQ(d.ClusterCount, image.ClusterCount());
        EXPECT_EQ(d.FirstDataSector, image.FirstDataSector());
        EXPECT_EQ(d.TotalSectors, c.layout.totalSectors);
        EXPECT_EQ(d.BytesPerCluster, image.BytesPerCluster());
        EXPECT_EQ(d.FATSize, c.layout.sectorsPerFAT);
        EXPECT_EQ(d.FATSectors, 2 * c.layout.sectorsPerFAT);
        EXPECT_EQ(d.Name, "TESTCARD   ");
        if (c.type == ftFAT32) {
            EXPECT_EQ(d.RootCluster, 2u);
            EXPECT_EQ(d.RootDirSector, image.ClusterSector(2));
            EXPECT_EQ(d.RootDirSectors, 0);
        } else {
            EXPECT_EQ(d.RootCluster, 0u);
            EXPECT_EQ(d.RootDirSector, image.RootDirSector());
            EXPECT_EQ(d.RootDirSectors, 1);
        }
    }
}

TEST(FatVolume, MountMessagesAndRefusals) {
    // Each case patches a valid boot sector and says what mounting shows and answers.
    struct Case {
        const char* name;
        FatLayout layout;
        std::function<void(Bytes&)> patch;
        bool mounted;
        std::vector<ShownMessage> messages;
    } cases[] = {
        {"32 KB clusters are fine", FatLayout::Fat12(20, 64), nullptr, true, {}},
        {"48 KB clusters are warned about", FatLayout::Fat12(20, 96), nullptr, true,
         {{"bad parameter in boot sector: bytes per sector (49152) > 32768 !", "Information"}}},
        {"zero sectors per cluster", FatLayout::Fat12(20), [](Bytes& b) { b[13] = 0; }, false,
         {{"Bad parameters for calculating logical drive information from Boot Sector", "Error"}}},
        {"zero bytes per sector", FatLayout::Fat12(20), [](Bytes& b) { PatchLe16(b, 11, 0); }, false,
         {{"Bad parameters for calculating logical drive information from Boot Sector", "Error"}}},
        {"FATs larger than the volume", FatLayout::Fat12(20), [](Bytes& b) { PatchLe16(b, 22, 1000); }, false,
         {{"Bad parameters for calculating logical drive information from Boot Sector", "Error"}}},
        {"64 KB clusters are refused", FatLayout::Fat12(4, 128), nullptr, false,
         {{"This volume has clusters of 64 KB or more, which cannot be read.", "Error"}}},
        {"96 KB clusters (192 sectors) are refused, not cut to 16 bits", FatLayout::Fat12(20),
         [](Bytes& b) { b[13] = 192; }, false,
         {{"This volume has clusters of 64 KB or more, which cannot be read.", "Error"}}},
        {"4096-byte sectors are refused", FatLayout::Fat12(20), [](Bytes& b) { PatchLe16(b, 11, 4096); }, false,
         {{"This volume has sectors of 4096 bytes; only volumes with 512-byte sectors can be read.", "Error"}}},
        {"FAT32 root beyond the clusters", FatLayout::Fat32(65530), [](Bytes& b) { PatchLe32(b, 44, 70000); }, true,
         {{"bad parameter in boot sector: root directory cluster (70000) > count of clusters !", "Information"}}},
        {"FAT32 root below 2", FatLayout::Fat32(65530), [](Bytes& b) { PatchLe32(b, 44, 1); }, true,
         {{"bad parameter in boot sector: root directory cluster (1) < 2 !", "Information"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FatImage image(c.layout);
        if (c.patch) c.patch(*image.bytes);
        for (bool silent : {false, true}) {
            RecordingUI ui;
            auto m = Mount(image, silent);
            EXPECT_EQ(m.mounted, c.mounted);
            // A refused volume leaves nothing for the lost data search or the walks to run on.
            if (!c.mounted) {
                EXPECT_EQ(m.drive->FATType, ftNone);
                EXPECT_EQ(m.drive->ClusterCount, 0u);
            }
            // The start directories exist whether or not the geometry could be worked out.
            EXPECT_NE(m.drive->RootDir, nullptr);
            EXPECT_NE(m.drive->SearchedDir, nullptr);
            if (silent) {
                EXPECT_TRUE(ui.shown.empty());
                continue;
            }
            ASSERT_EQ(ui.shown.size(), c.messages.size());
            for (std::size_t i = 0; i < c.messages.size(); ++i) {
                EXPECT_EQ(ui.shown[i].text, c.messages[i].text);
                EXPECT_EQ(ui.shown[i].caption, c.messages[i].caption);
            }
        }
    }
}

TEST(FatVolume, UnreadableBootSectorOrLargeDeviceSectorsMountNothing) {
    FatImage image(FatLayout::Fat12(20));
    auto device = std::make_unique<MemoryDevice>(image.bytes);
    device->failing = {0};
    TFATdrive drive;
    drive.Device = device.get();
    EXPECT_FALSE(drive.MountDrive(true));
    EXPECT_EQ(drive.RootDir, nullptr);

    RecordingUI ui;
    MemoryDevice large(image.bytes);
    large.BytesPerSector = 4096;
    TFATdrive drive4k;
    drive4k.Device = &large;
    EXPECT_FALSE(drive4k.MountDrive(false));
    EXPECT_TRUE(large.reads.empty());
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].caption, "Error");
}

TEST(FatVolume, AnEmptyFatIsNotFollowed) {
    struct Case {
        const char* name;
        FatLayout layout;
        std::function<void(FatImage&)> fill;
        std::uint8_t activeFAT;
    } cases[] = {
        {"quick-formatted FAT16", FatLayout::Fat16(5000), [](FatImage&) {}, 0},
        // The FAT32 root's own end mark is what the format writes.
        {"quick-formatted FAT32", FatLayout::Fat32(65530), [](FatImage&) {}, 0},
        {"one chained file", FatLayout::Fat16(5000), [](FatImage& i) { i.Chain({5, 6}); }, 1},
        // An end mark is written by use as much as a link is.
        {"a single-cluster file ends at once", FatLayout::Fat16(5000), [](FatImage& i) { i.Chain({5}); }, 1},
        {"a single-cluster file near the end", FatLayout::Fat32(65530), [](FatImage& i) { i.Chain({65000}); }, 1},
        {"a bad cluster mark only", FatLayout::Fat16(5000), [](FatImage& i) { i.SetFat(300, 0xFFF7); }, 0},
        // With 10 clusters only the entries of clusters 2 to 11 are looked at.
        {"link in the last cluster", FatLayout::Fat12(10), [](FatImage& i) { i.SetFat(11, 3); }, 1},
        {"link past the last cluster", FatLayout::Fat12(10), [](FatImage& i) { i.SetFat(12, 3); }, 0},
        {"link in cluster 16", FatLayout::Fat16(5000), [](FatImage& i) { i.SetFat(16, 100); }, 1},
        // The first photos of a card deleted: only the folders' end marks are left in the first
        // clusters; the FAT is in use all the same.
        {"link in cluster 17", FatLayout::Fat16(5000), [](FatImage& i) { i.SetFat(17, 100); }, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FatImage image(c.layout);
        c.fill(image);
        auto m = Mount(image);
        ASSERT_TRUE(m.mounted);
        EXPECT_EQ(m.drive->ActiveFAT, c.activeFAT);
        // The test reads each FAT sector once at most.
        std::set<std::uint32_t> distinct(m.device->reads.begin(), m.device->reads.end());
        EXPECT_EQ(distinct.size(), m.device->reads.size());
    }
}

TEST(FatVolume, GetFatReadsTheChosenCopyWithinTheVolume) {
    FatImage image(FatLayout::Fat16(5000));
    image.Chain({5, 6, 7});
    // A different value in the second FAT copy.
    PatchLe16(*image.bytes, std::size_t{1 + image.Layout().sectorsPerFAT} * 512 + 2 * 5, 900);
    auto m = Mount(image);
    TFATdrive& d = *m.drive;
    EXPECT_EQ(d.GetFAT(5, 0), 6u);
    EXPECT_EQ(d.GetFAT(7, 0), 0xFFFFu);
    EXPECT_EQ(d.GetFAT(5, 1), 900u);

    m.device->reads.clear();
    EXPECT_EQ(d.GetFAT(1, 0), 0u);
    EXPECT_EQ(d.GetFAT(d.ClusterCount + 2, 0), 0u);
    EXPECT_TRUE(m.device->reads.empty());
    // The highest cluster is inside the volume.
    image.SetFat(d.ClusterCount + 1, 0xFFF7);
    d.FATBufSector = 0;
    EXPECT_EQ(d.GetFAT(d.ClusterCount + 1, 0), 0xFFF7u);
}

TEST(FatVolume, GetFatCachesOneSectorAndReadsFailuresAsFree) {
    FatImage image(FatLayout::Fat16(5000));
    image.Chain({266, 267});  // at the place in its sector that 778 has in the next-but-one
    image.Chain({300, 301, 302, 303});
    image.Chain({778, 779});
    auto m = Mount(image);
    TFATdrive& d = *m.drive;
    m.device->reads.clear();
    // Entries 300 to 302 lie in the FAT's second sector: one device read for all three.
    EXPECT_EQ(d.GetFAT(300, 0), 301u);
    EXPECT_EQ(d.GetFAT(301, 0), 302u);
    EXPECT_EQ(d.GetFAT(302, 0), 303u);
    EXPECT_EQ(m.device->reads.size(), 1u);

    // An unreadable FAT sector gives 0, not the entry at the same place of the sector held before.
    m.device->failing = {1 + 3};
    EXPECT_EQ(d.GetFAT(778, 0), 0u);
    EXPECT_EQ(d.GetFAT(300, 0), 301u);
}

TEST(FatVolume, Fat12EntriesAcrossASectorBoundary) {
    // Cluster 341 is at byte 511 of the FAT: its high eight bits are in the FAT's second sector.
    FatImage image(FatLayout::Fat12(700));
    image.SetFat(340, 0x123);
    image.SetFat(341, 0xABC);
    image.SetFat(342, 0x456);
    auto m = Mount(image);
    TFATdrive& d = *m.drive;
    EXPECT_EQ(d.GetFAT(340, 0), 0x123u);
    EXPECT_EQ(d.GetFAT(341, 0), 0xABCu);
    EXPECT_EQ(d.GetFAT(342, 0), 0x456u);
    EXPECT_EQ(d.GetFAT(341, 1), 0xABCu);
}

TEST(FatVolume, StartDirectoriesDescribeTheRoot) {
    FatImage image(FatLayout::Fat32(65530, 1));
    auto m = Mount(image);
    auto* root = m.drive->FATRootDir();
    auto* deleted = m.drive->FATDeletedDir();
    auto* lost = m.drive->FATLostDir();
    auto* searched = m.drive->FATSearchedDir();
    ASSERT_TRUE(root && deleted && lost && searched);
    EXPECT_EQ(root->Name, "Root");
    EXPECT_EQ(deleted->Name, "Deleted");
    EXPECT_EQ(lost->Name, "Lost");
    EXPECT_EQ(searched->Name, "Searched");
    for (auto* dir : {root, deleted}) {
        EXPECT_EQ(dir->FirstCluster, 2u);
        EXPECT_EQ(dir->FirstSector, image.ClusterSector(2));
        EXPECT_EQ(dir->Children, nullptr);
    }
    for (auto* dir : {lost, searched}) {
        EXPECT_EQ(dir->FirstCluster, 0u);
        ASSERT_NE(dir->Children, nullptr);
        EXPECT_TRUE(dir->Children->empty());
    }
    for (auto* dir : {root, deleted, lost, searched}) {
        EXPECT_EQ(dir->Drive, m.drive.get());
        EXPECT_EQ(dir->Parent, nullptr);
    }
}

TEST(FatVolume, DriveListMakesAndKeepsFatDrives) {
    FatImage image(FatLayout::Fat16(5000));
    MemoryDevice device(image.bytes);
    TDriveList list{{&FatFileSystem()}};

    TCustomDrive* first = list.GetFATDrive(&device);
    TCustomDrive* second = list.GetFATDrive(&device);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(list.Count(), 2u);
    auto* fat = dynamic_cast<TFATdrive*>(first);
    ASSERT_NE(fat, nullptr);
    EXPECT_EQ(fat->Device, &device);
    EXPECT_EQ(fat->SectorCount, device.TotalSectors);
    EXPECT_EQ(fat->FATType, ftFAT16);

    // A readable sector 0 that is no boot sector still gives a drive, unmounted.
    MemoryDevice blank(std::make_shared<Bytes>(64 * 512));
    auto* unmounted = dynamic_cast<TFATdrive*>(list.GetFATDrive(&blank));
    ASSERT_NE(unmounted, nullptr);
    EXPECT_EQ(unmounted->FATType, ftNone);
    EXPECT_EQ(list.Count(), 3u);

    MemoryDevice unreadable(image.bytes);
    unreadable.failing = {0};
    EXPECT_EQ(list.GetFATDrive(&unreadable), nullptr);
    EXPECT_EQ(list.Count(), 3u);
}

}  // namespace
}  // namespace quorvane
