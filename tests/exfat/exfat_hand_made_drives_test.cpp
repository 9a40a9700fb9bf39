// exFAT drives mounted from images made by hand: how deleted files' clusters are found when the
// FAT no longer or still links them, the valid data length, and images built to trap the walks
// (loops, huge lengths, clusters outside the volume), which must end with bounded copies.
#include "disk/devices.h"
#include "disk/ldiskio.h"
#include "disk/scan_services.h"
#include "exfat/exfat_drive.h"
#include "exfat/exfat_file_system.h"
#include "exfat/exfat_objects.h"
#include "exfat_image_builder.h"
#include "platform/drive_table.h"
#include "platform/memory_volume.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t C = ExFATImage::ClusterBytes;

class Services : public TScanServices {
public:
    Services() { SetScanServices(this); }
    ~Services() override { SetScanServices(nullptr); }
    void AddRecoverFile(TCustomFile& File) override { File.MarkRecovered(); }
};

// Mounts the image as the drive list of the folder based method does, and saves what it asks for
// into a temporary folder.
class HandMadeDrive : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quorvane-exfat-hand-XXXXXX";
        folder = ::mkdtemp(pattern);
    }
    void TearDown() override {
        drives.clear();
        NT_CloseDrive();
        DriveTable::instance().clear();
        fs::remove_all(folder);
    }

    TExFATdrive* Mount(const Bytes& image) {
        drives.clear();
        NT_CloseDrive();
        DriveTable::instance().clear();
        bytes = std::make_shared<Bytes>(image);
        DriveEntry entry;
        entry.path = "hand-made exFAT";
        entry.displayName = entry.path;
        entry.kind = DRIVE_REMOVABLE;
        entry.isImage = true;
        entry.sizeBytes = bytes->size();
        entry.opener = std::make_shared<MemoryVolumeOpener>(bytes);
        device.Kind = 1;
        device.Drive = DriveTable::instance().addVolume(entry).value_or(0);
        device.DriveType = DRIVE_REMOVABLE;
        device.Flags = 1;
        device.TotalSectors = static_cast<std::uint32_t>(bytes->size() / 512);
        device.BytesPerSector = 512;
        TCustomDrive* drive = drives.GetFATDrive(&device);
        return drive != nullptr && drive->Mounted ? dynamic_cast<TExFATdrive*>(drive) : nullptr;
    }

    // Collects the chosen start directories' media files and saves each; their saved bytes by name.
    std::map<std::string, Bytes> Save(TExFATdrive& drive, bool root, bool deleted, bool lost) {
        std::map<std::string, Bytes> saved;
        drive.FindFiles(root, deleted, lost);
        for (const auto& item : *drive.SearchedDir->Children) {
            auto& file = dynamic_cast<TExFATFile&>(*item);
            std::string path;
            file.SaveCopy(folder, &path);
            if (path.empty()) continue;
            std::ifstream in(path, std::ios::binary);
            saved[file.UnicodeName] = Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            fs::remove(path);
        }
        return saved;
    }

    Services services;
    std::string folder;
    std::shared_ptr<Bytes> bytes;
    TDevice device;
    TDriveList drives{{&ExFatFileSystem()}};
};

Bytes ClustersOf(ExFATImage& image, std::initializer_list<std::uint32_t> clusters, std::size_t length) {
    Bytes out;
    for (std::uint32_t c : clusters) out.insert(out.end(), image.Cluster(c), image.Cluster(c) + C);
    out.resize(length);
    return out;
}

TEST_F(HandMadeDrive, DeletedFilesAreReadFromTheClustersTheirChainStillGives) {
    struct Case {
        const char* name;
        bool noFatChain;
        std::uint32_t first;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> fat;  // entries left in the FAT
        std::initializer_list<std::uint32_t> expected;
    };
    const Case cases[] = {
        // A live file owns clusters 5 and 6; the deleted file's pieces are 4, 7 and 8.
        {"FAT entries cleared: unallocated clusters after the first", false, 4, {}, {4, 7, 8}},
        {"the freed chain still whole", false, 4, {{4, 9}, {9, 10}, {10, ExFATImage::EndOfChain}}, {4, 9, 10}},
        {"a chain through a live file's clusters", false, 4, {{4, 5}, {5, 6}, {6, ExFATImage::EndOfChain}}, {4, 7, 8}},
        {"a chain longer than the length",
         false,
         4,
         {{4, 9}, {9, 10}, {10, 11}, {11, ExFATImage::EndOfChain}},
         {4, 7, 8}},
        {"contiguous: its clusters whoever owns them now", true, 4, {}, {4, 5, 6}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExFATImage image;
        image.FillClusters(4, 8, 0x31);
        image.AddEntries(ExFATImage::RootCluster, EntrySetBytes("LIVE.JPG", 0x20, 5, 2 * C, true));
        image.Allocate(5);
        image.Allocate(6);
        const std::size_t length = 3 * C - 100;
        image.AddEntries(ExFATImage::RootCluster, EntrySetBytes("GONE.JPG", 0x20, c.first, length, c.noFatChain, true));
        for (const auto& [cluster, next] : c.fat) image.SetFat(cluster, next);

        TExFATdrive* drive = Mount(image.Bytes);
        ASSERT_NE(drive, nullptr);
        const auto saved = Save(*drive, false, true, false);
        ASSERT_EQ(saved.size(), 1u);
        EXPECT_EQ(saved.begin()->second, ClustersOf(image, c.expected, length));
    }
}

TEST_F(HandMadeDrive, BytesPastTheValidDataLengthAreZeros) {
    ExFATImage image;
    image.FillClusters(4, 2, 0x55);
    image.AddEntries(ExFATImage::RootCluster, EntrySetBytes("PART.JPG", 0x20, 4, 2 * C, true, false, 5000));
    image.Allocate(4);
    image.Allocate(5);
    TExFATdrive* drive = Mount(image.Bytes);
    ASSERT_NE(drive, nullptr);
    const auto saved = Save(*drive, true, false, false);
    ASSERT_EQ(saved.size(), 1u);
    Bytes expected = ClustersOf(image, {4, 5}, 2 * C);
    std::fill(expected.begin() + 5000, expected.end(), 0);
    EXPECT_EQ(saved.begin()->second, expected);
}

TEST_F(HandMadeDrive, AClusterCutByTheEndOfTheImageIsStillRead) {
    // An image cut short (a trimmed dump): the last cluster has two of its eight sectors.
    ExFATImage image;
    image.FillClusters(65, 1, 0x77);
    image.AddEntries(ExFATImage::RootCluster, EntrySetBytes("LAST.JPG", 0x20, 65, 1000, true, true));
    image.Bytes.resize(image.Bytes.size() - C + 1024);
    TExFATdrive* drive = Mount(image.Bytes);
    ASSERT_NE(drive, nullptr);
    const auto saved = Save(*drive, false, true, false);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved.begin()->second, Bytes(image.Cluster(65), image.Cluster(65) + 1000));
}

TEST_F(HandMadeDrive, AMainBootRegionThatFailsItsChecksumGivesWayToTheBackup) {
    ExFATImage image;
    image.AddEntries(ExFATImage::RootCluster, EntrySetBytes("GONE.JPG", 0x20, 4, 100, true, true));
    // The main region's heap moved by one sector: it decodes, but its checksum fails.
    image.Bytes[88] = 33;
    TExFATdrive* drive = Mount(image.Bytes);
    ASSERT_NE(drive, nullptr);
    EXPECT_TRUE(drive->BootFromBackup);
    EXPECT_EQ(drive->FirstDataSector, ExFATImage::HeapOffset);
    EXPECT_EQ(Save(*drive, false, true, false).size(), 1u);
}

// Images that trap a walk that trusts the medium. Every step of the folder based method must end,
// and no copy may hold more than the volume.
TEST_F(HandMadeDrive, HostileImagesEndWithBoundedCopies) {
    struct Case {
        const char* name;
        std::function<void(ExFATImage&)> build;
        std::size_t files;  // media files the deleted and live searches collect
    };
    const Case cases[] = {
        {"a set whose checksum fails",
         [](ExFATImage& i) {
             auto set = EntrySetBytes("BAD.JPG", 0x20, 4, 100, true, true);
             set[70] ^= 1;
             i.AddEntries(ExFATImage::RootCluster, set);
         },
         0},
        {"a length of 2^62",
         [](ExFATImage& i) {
             i.AddEntries(ExFATImage::RootCluster, EntrySetBytes("HUGE.JPG", 0x20, 10, 1ull << 62, true, true));
         },
         1},
        {"a FAT chain that loops",
         [](ExFATImage& i) {
             i.SetFat(10, 11);
             i.SetFat(11, 10);
             i.Allocate(10);
             i.Allocate(11);
             i.AddEntries(ExFATImage::RootCluster, EntrySetBytes("LOOP.JPG", 0x20, 10, 1u << 30, false));
         },
         1},
        {"a chain that leaves the volume",
         [](ExFATImage& i) {
             i.SetFat(10, 5000);
             i.Allocate(10);
             i.AddEntries(ExFATImage::RootCluster, EntrySetBytes("OUT.JPG", 0x20, 10, 8 * C, false));
         },
         1},
        {"first clusters 0, 1 and past the volume",
         [](ExFATImage& i) {
             i.AddEntries(ExFATImage::RootCluster, EntrySetBytes("ZERO.JPG", 0x20, 0, 100, true, true));
             i.AddEntries(ExFATImage::RootCluster, EntrySetBytes("ONE.JPG", 0x20, 1, 100, false, true));
             i.AddEntries(ExFATImage::RootCluster, EntrySetBytes("FAR.JPG", 0x20, 0xFFFFFFFFu, 100, true, true));
         },
         3},
        {"folders that hold themselves and the root",
         [](ExFATImage& i) {
             i.SetFat(12, ExFATImage::EndOfChain);
             i.Allocate(12);
             i.AddEntries(ExFATImage::RootCluster, EntrySetBytes("LOOP", 0x10, 12, C, false));
             i.AddEntries(12, EntrySetBytes("SELF", 0x10, 12, C, false));
             i.AddEntries(12, EntrySetBytes("UP", 0x10, ExFATImage::RootCluster, C, false));
             i.AddEntries(12, EntrySetBytes("IMG.JPG", 0x20, 20, 100, true, true));
         },
         1},
        {"lost folders that lead to each other in a ring",
         [](ExFATImage& i) {
             for (std::uint32_t c = 10; c < 64; ++c) {
                 const std::uint32_t next = c + 1 < 64 ? c + 1 : 10;
                 std::memset(i.Cluster(c), 0, C);
                 auto dir = EntrySetBytes("D", 0x10, next, C, true, true);
                 std::copy(dir.begin(), dir.end(), i.Cluster(c));
                 auto photo = EntrySetBytes("P.JPG", 0x20, next, C, true, true);
                 std::copy(photo.begin(), photo.end(), i.Cluster(c) + dir.size());
             }
         },
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExFATImage image;
        c.build(image);
        TExFATdrive* drive = Mount(image.Bytes);
        ASSERT_NE(drive, nullptr);
        std::int32_t files = 0, folders = 0;
        drive->AnalyzeTotalFile(true, false, false, files, folders);
        drive->AnalyzeTotalFile(false, true, false, files, folders);
        auto saved = Save(*drive, true, true, false);
        EXPECT_EQ(drive->SearchedDir->Children->size(), c.files);
        drive->FindLostData();
        const auto lost = Save(*drive, false, false, true);
        saved.insert(lost.begin(), lost.end());
        for (const auto& [name, data] : saved) EXPECT_LE(data.size(), image.Bytes.size()) << name;
    }
}

}  // namespace
}  // namespace quorvane::testing
