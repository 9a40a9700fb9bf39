// The structure analyser's tests that read through a mounted drive: directory starts, sectors of
// entries, root directories, empty directories and file starts in clusters.
#include "fat/fat_analyser.h"
#include "fat/fat_analyser_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace quorvane {
namespace {

using namespace analyser_test;
using Image = Fat16Image;

constexpr std::uint32_t kSubdir = 10;  // a directory of two clusters: 10 -> 11
constexpr std::uint32_t kParent = 0;   // its parent is the fixed root

// A card with a subdirectory DCIM (clusters 10 and 11) holding two photos, and a root with a label.
Image CardImage() {
    Image img;
    img.SetFAT(kSubdir, kSubdir + 1);
    img.SetFAT(kSubdir + 1, 0xFFFF);
    img.PutEntry(Image::RootDirSector, 0, LabelEntry("CANON_DC   "));
    img.PutEntry(Image::RootDirSector, 1, DirEntry("DCIM       ", kSubdir));
    img.PutClusterEntry(kSubdir, 0, DirEntry(".          ", kSubdir));
    img.PutClusterEntry(kSubdir, 1, DirEntry("..         ", kParent));
    img.PutClusterEntry(kSubdir, 2, FileEntry("IMG_0001JPG", 20));
    img.PutClusterEntry(kSubdir, 3, FileEntry("IMG_0002JPG", 40));
    return img;
}

std::unique_ptr<ImageDrive> MountedDrive(const Image& img) {
    auto drive = std::make_unique<ImageDrive>(img.bytes);
    EXPECT_TRUE(drive->Mount());
    EXPECT_EQ(drive->FATType, ftFAT16);
    EXPECT_EQ(drive->ClusterCount, Image::ClusterCount);
    return drive;
}

TEST(IsDirC, RecognisesTheDotEntriesOfADirectoryStart) {
    struct Case {
        const char* name;
        std::function<void(Image&)> change;
        bool isDir;
    };
    const std::vector<Case> cases = {
        {"directory start", [](Image&) {}, true},
        {"deleted dot entry", [](Image& i) { i.bytes[Image::ClusterSector(kSubdir) * 512] = 0xE5; }, false},
        {"dot entry without the directory bit",
         [](Image& i) { i.PutClusterEntry(kSubdir, 0, FileEntry(".          ", kSubdir)); }, false},
        {"dot-dot entry without the directory bit",
         [](Image& i) { i.PutClusterEntry(kSubdir, 1, FileEntry("..         ", 0)); }, false},
        {"two dot entries", [](Image& i) { i.PutClusterEntry(kSubdir, 1, DirEntry(".          ", 0)); }, false},
        {"entries swapped",
         [](Image& i) {
             i.PutClusterEntry(kSubdir, 0, DirEntry("..         ", 0));
             i.PutClusterEntry(kSubdir, 1, DirEntry(".          ", kSubdir));
         },
         false},
        {"all zero", [](Image& i) { i.PutClusterEntry(kSubdir, 0, Raw{}); i.PutClusterEntry(kSubdir, 1, Raw{}); },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Image img = CardImage();
        c.change(img);
        auto drive = MountedDrive(img);
        EXPECT_EQ(drive->Analyser->IsDirC(*drive, kSubdir, 0), c.isDir);
    }
}

TEST(IsDirC, PositionsBySectorAndRefusesPositionsOutsideTheVolume) {
    auto drive = MountedDrive(CardImage());
    // The same directory start addressed as a run of sectors.
    EXPECT_TRUE(drive->Analyser->IsDirC(*drive, 0, Image::ClusterSector(kSubdir)));
    EXPECT_FALSE(drive->Analyser->IsDirC(*drive, 0, Image::ClusterSector(kSubdir) + 1));
    // The root has no dot entries.
    EXPECT_FALSE(drive->Analyser->IsDirC(*drive, 0, Image::RootDirSector));
    const int readsBefore = drive->reads;
    EXPECT_FALSE(drive->Analyser->IsDirC(*drive, Image::ClusterCount + 2, 0));
    EXPECT_FALSE(drive->Analyser->IsDirC(*drive, 0xFFFFFFFF, 0));
    EXPECT_FALSE(drive->Analyser->IsDirC(*drive, 0, 0xFFFFFFF0));
    EXPECT_EQ(drive->reads, readsBefore);
}

// Sixteen plausible file entries filling the first sector of cluster 30.
Image ImageWithEntrySector(const std::function<void(std::vector<Raw>&)>& change) {
    Image img = CardImage();
    std::vector<Raw> entries;
    for (std::uint32_t i = 0; i < 16; ++i) {
        char name[12];
        std::snprintf(name, sizeof name, "PIC%05uJPG", static_cast<unsigned>(i));
        entries.push_back(FileEntry(name, 100 + 20 * i, 30000));
    }
    change(entries);
    for (std::uint32_t i = 0; i < 16; ++i) img.PutClusterEntry(30, i, entries[i]);
    return img;
}

TEST(DirEntriesValidC, TestsTheFirstSectorAgainstTheDrivesFigures) {
    struct Case {
        const char* name;
        std::function<void(std::vector<Raw>&)> change;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"sixteen files", [](auto&) {}, true},
        {"last cluster of the volume", [](auto& e) { PutLe16(e[3], 26, Image::ClusterCount + 1); }, true},
        {"cluster past the volume", [](auto& e) { PutLe16(e[3], 26, Image::ClusterCount + 2); }, false},
        {"size of the whole data area",
         [](auto& e) { PutLe32(e[7], 28, (Image::TotalSectors - Image::FirstDataSector) * 512); }, true},
        {"size larger than the data area",
         [](auto& e) { PutLe32(e[7], 28, (Image::TotalSectors - Image::FirstDataSector + 1) * 512); }, false},
        {"bad date", [](auto& e) { PutLe16(e[15], 16, Date(2005, 14, 1)); }, false},
        {"end marker in the middle", [](auto& e) { e[8] = Raw{}; }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto drive = MountedDrive(ImageWithEntrySector(c.change));
        EXPECT_EQ(drive->Analyser->DirEntriesValidC(*drive, 30, 0), c.valid);
        EXPECT_EQ(drive->Analyser->DirEntriesValidC(*drive, 0, Image::ClusterSector(30)), c.valid);
    }
}

TEST(DirEntriesValidC, OnlyTheFirstSectorCountsAndReadsStayInsideTheVolume) {
    auto drive = MountedDrive(ImageWithEntrySector([](auto&) {}));
    // The second sector of cluster 30 is empty: by sector it fails, by cluster only the first counts.
    EXPECT_FALSE(drive->Analyser->DirEntriesValidC(*drive, 0, Image::ClusterSector(30) + 1));
    EXPECT_TRUE(drive->Analyser->DirEntriesValidC(*drive, 30, 0));
    // A directory start fails on its "." entry.
    EXPECT_FALSE(drive->Analyser->DirEntriesValidC(*drive, kSubdir, 0));
    EXPECT_FALSE(drive->Analyser->DirEntriesValidC(*drive, Image::ClusterCount + 2, 0));
    EXPECT_FALSE(drive->Analyser->DirEntriesValidC(*drive, 0, Image::TotalSectors));
}

TEST(DirEntriesValidC, AnUnreadableSectorIsNoDirectory) {
    auto drive = MountedDrive(ImageWithEntrySector([](auto&) {}));
    drive->failingSectors.insert(Image::ClusterSector(30));
    EXPECT_FALSE(drive->Analyser->DirEntriesValidC(*drive, 30, 0));
}

TEST(IsRootC, NeedsExactlyOneVolumeLabelInOneClustersWorth) {
    struct Case {
        const char* name;
        std::function<void(Image&)> change;
        bool isRoot;
    };
    const std::uint32_t root = Image::RootDirSector;
    const std::vector<Case> cases = {
        {"label and files", [](Image&) {}, true},
        {"second label", [root](Image& i) { i.PutEntry(root, 5, LabelEntry("OTHER      ")); }, false},
        {"no label", [root](Image& i) { i.PutEntry(root, 0, FileEntry("README  TXT")); }, false},
        {"label starting with a digit", [root](Image& i) { i.PutEntry(root, 0, LabelEntry("2004_06    ")); },
         false},
        {"label starting with a lower-case letter", [root](Image& i) { i.PutEntry(root, 0, LabelEntry("card       ")); },
         true},
        {"label with a cluster", [root](Image& i) {
             Raw label = LabelEntry();
             PutLe16(label, 26, 12);
             i.PutEntry(root, 0, label);
         },
         false},
        {"long-name pieces are no labels",
         [root](Image& i) {
             i.PutEntry(root, 2, LongNamePiece(0x41, "Holiday\0\xFF\xFF\xFF\xFF\xFF"));
             i.PutEntry(root, 3, FileEntry("HOLIDA~1JPG", 50));
         },
         true},
        {"second label in the last entry of the cluster's worth",
         [root](Image& i) { i.PutEntry(root, Image::EntriesPerCluster - 1, LabelEntry("OTHER      ")); }, false},
        {"second label just beyond the cluster's worth",
         [root](Image& i) { i.PutEntry(root, Image::EntriesPerCluster, LabelEntry("OTHER      ")); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Image img = CardImage();
        c.change(img);
        auto drive = MountedDrive(img);
        EXPECT_EQ(drive->Analyser->IsRootC(*drive, 0, Image::RootDirSector), c.isRoot);
    }
}

TEST(IsRootC, FindsARootStoredInAClusterChain) {
    // A FAT32-style root: a cluster chain with the label, found by cluster.
    Image img = CardImage();
    img.SetFAT(60, 0xFFFF);
    img.PutClusterEntry(60, 0, LabelEntry("KODAK      "));
    img.PutClusterEntry(60, 1, DirEntry("DCIM       ", kSubdir));
    auto drive = MountedDrive(img);
    EXPECT_TRUE(drive->Analyser->IsRootC(*drive, 60, 0));
    EXPECT_FALSE(drive->Analyser->IsRootC(*drive, kSubdir, 0));
    EXPECT_FALSE(drive->Analyser->IsRootC(*drive, Image::ClusterCount + 2, 0));
}

TEST(IsDirEmptyC, LooksOnlyForLiveEntriesAfterTheDotEntries) {
    struct Case {
        const char* name;
        std::function<void(Image&)> change;
        bool empty;
    };
    auto clear = [](Image& i) {
        i.PutClusterEntry(kSubdir, 2, Raw{});
        i.PutClusterEntry(kSubdir, 3, Raw{});
    };
    const std::vector<Case> cases = {
        {"two photos", [](Image&) {}, false},
        {"only the dot entries", clear, true},
        {"deleted entries, then the end marker",
         [](Image& i) {
             Raw a = FileEntry("IMG_0001JPG", 20), b = FileEntry("IMG_0002JPG", 40);
             a[0] = 0xE5;
             b[0] = 0xE5;
             i.PutClusterEntry(kSubdir, 2, a);
             i.PutClusterEntry(kSubdir, 3, b);
         },
         true},
        {"a stray long-name piece counts as an entry",
         [clear](Image& i) {
             clear(i);
             i.PutClusterEntry(kSubdir, 2, LongNamePiece(0x02, "ame.jpg\0\xFF\xFF\xFF\xFF\xFF"));
         },
         false},
        {"a label counts as an entry",
         [clear](Image& i) {
             clear(i);
             i.PutClusterEntry(kSubdir, 2, LabelEntry());
         },
         false},
        {"a live entry in the chain's second cluster",
         [](Image& i) {
             for (std::uint32_t n = 2; n < Image::EntriesPerCluster; ++n) {
                 Raw gone = FileEntry("OLD     JPG", 70);
                 gone[0] = 0xE5;
                 i.PutClusterEntry(kSubdir, n, gone);
             }
             i.PutClusterEntry(kSubdir + 1, 0, FileEntry("LATE    JPG", 80));
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Image img = CardImage();
        c.change(img);
        auto drive = MountedDrive(img);
        EXPECT_EQ(drive->Analyser->IsDirEmptyC(*drive, kSubdir, 0), c.empty);
        // The same directory start addressed by its sector gives the same answer when the entries
        // after the dot entries lie in the first sector.
        if (std::string(c.name) != "a live entry in the chain's second cluster") {
            EXPECT_EQ(drive->Analyser->IsDirEmptyC(*drive, 0, Image::ClusterSector(kSubdir)), c.empty);
        }
    }
}

TEST(IsFileC, NamesTheMediaTypeAtTheStartOfACluster) {
    Image img = CardImage();
    const std::uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE1};
    img.PutClusterBytes(20, 0, jpeg);
    // A Nikon raw picture: the maker name lies beyond the first few bytes.
    const std::uint8_t tiff[] = {'M', 'M', 0x00, 0x2A};
    const std::uint8_t nikon[] = {'N', 'I', 'K', 'O', 'N'};
    img.PutClusterBytes(40, 0, tiff);
    img.PutClusterBytes(40, 484, nikon);
    // "Cluster 1" would start two sectors before the data area, in the root directory: a JPEG
    // start there must not be found through an invalid cluster number.
    img.bytes[(Image::FirstDataSector - Image::SectorsPerCluster) * 512] = 0xFF;
    img.bytes[(Image::FirstDataSector - Image::SectorsPerCluster) * 512 + 1] = 0xD8;
    auto drive = MountedDrive(img);

    struct Case {
        const char* name;
        std::uint32_t cluster;
        bool found;
        const char* ext;
    };
    const std::vector<Case> cases = {
        {"JPEG", 20, true, "JPG"},
        {"Nikon raw", 40, true, "NEF"},
        {"empty cluster", 21, false, "unchanged"},
        {"cluster 0", 0, false, "unchanged"},
        {"cluster 1", 1, false, "unchanged"},
        {"cluster past the volume", Image::ClusterCount + 2, false, "unchanged"},
        {"largest cluster number", 0xFFFFFFFF, false, "unchanged"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string ext = "unchanged";
        std::uint8_t type = 0;
        EXPECT_EQ(drive->Analyser->IsFileC(*drive, c.cluster, ext, type), c.found);
        EXPECT_EQ(ext, c.ext);
    }
}

TEST(IsFileC, AnUnreadableClusterIsNoFile) {
    Image img = CardImage();
    const std::uint8_t jpeg[] = {0xFF, 0xD8};
    img.PutClusterBytes(20, 0, jpeg);
    auto drive = MountedDrive(img);
    // The second sector of the cluster fails: the whole cluster is read at once, so no answer.
    drive->failingSectors.insert(Image::ClusterSector(20) + 1);
    std::string ext = "unchanged";
    std::uint8_t type = 0;
    EXPECT_FALSE(drive->Analyser->IsFileC(*drive, 20, ext, type));
    EXPECT_EQ(ext, "unchanged");
}

}  // namespace
}  // namespace quorvane
