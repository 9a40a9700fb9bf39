// Faults that fuzzing the FAT engine with whole volume images brought up, each kept as a small
// fixture that ran into it. The images under fuzz/regressions (and the fuzz seeds) are replayed
// through the same pass as the fuzz target, which checks that the image is not written to and
// that every saved file lies directly in its folder; a hang or crash there fails the run itself.
#include "../../fuzz/fat_image_run.h"
#include "fat/fat_image_builder.h"
#include "fat/fat_recording_scan.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quorvane {
namespace {

using namespace testing;
namespace fs = std::filesystem;

TEST(FatFuzzRegressions, ImagesRunThroughTheFolderMethod) {
    std::vector<fs::path> images;
    for (const char* dir : {"/fuzz/regressions", "/fuzz/seeds"}) {
        for (const auto& item : fs::directory_iterator(std::string(QUORVANE_SOURCE_DIR) + dir))
            if (item.is_regular_file()) images.push_back(item.path());
    }
    ASSERT_FALSE(images.empty());
    for (const auto& path : images) {
        SCOPED_TRACE(path.filename().string());
        const std::vector<std::uint8_t> bytes = ReadHostFile(path.string());
        TempFolder folder;
        const auto result =
            fuzzing::RunFolderMethodOnImage(fuzzing::ImageFromBytes(bytes.data(), bytes.size()), folder.path);
        EXPECT_TRUE(result.mounted);
        for (const auto& problem : result.problems) ADD_FAILURE() << problem;
    }
}

std::size_t AllocatedBytes() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;  // heap chunks in use and mmapped ones
}

// A boot sector that claims 0xF0000000 sectors on a card of a few hundred kilobytes
// (fuzz/regressions/fat32-claims-4g-sectors.img) made every directory walk and every file read
// allocate a bit for each claimed cluster: half a gigabyte each time.
TEST(FatFuzzRegressions, ChainWalkMemoryFollowsTheClustersEntered) {
    constexpr std::uint32_t claimed = 0xF0000000;
    const std::size_t before = AllocatedBytes();
    TDirCursor cursor;
    const struct Step {
        std::uint32_t cluster;
        bool first;  // entered for the first time
    } steps[] = {
        {2, true},
        {claimed - 1, true},
        {65537, true},  // the last cluster of one page and the first of the next are told apart
        {65536, true},
        {65537, false},
        {claimed - 1, false},
        {claimed + 5, true},  // beyond the volume: never taken as a loop
        {claimed + 5, true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.cluster);
        EXPECT_EQ(cursor.Visited.Insert(s.cluster, claimed), s.first);
    }
    EXPECT_LT(AllocatedBytes() - before, std::size_t{1} << 20);
}

// A boot sector that claims far more sectors than the device holds, with a file entry of a large
// size (fuzz/regressions/fat32-file-past-device-end.img): the copy-out wrote zeros for every
// cluster past the device's end up to the entry's size, gigabytes from an image of 68 KB. A file
// now ends where the device ends, however its clusters are followed.
TEST(FatFuzzRegressions, AFileEndsWhereTheDeviceEnds) {
    constexpr std::uint32_t onDevice = 40;  // clusters 2 .. 41 lie on the device
    struct Case {
        const char* name;
        std::uint32_t first;
        bool chained;  // a FAT chain that goes on past the device's end, or free entries
        std::uint8_t fatNo;
        std::size_t kept;  // clusters of data that the saved file holds
    } cases[] = {
        {"deleted file over consecutive clusters", 39, false, 1, 3},
        {"FAT not followed", 39, true, 0, 3},
        {"chain running past the end", 39, true, 1, 3},
        {"first cluster past the end", onDevice + 5, false, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FatImage image(FatLayout::Fat16(5000));
        const std::uint32_t clusterBytes = image.BytesPerCluster();
        if (c.chained) {
            std::vector<std::uint32_t> chain;
            for (std::uint32_t i = 0; i < 20; ++i) chain.push_back(c.first + i);
            image.Chain(chain);
        }
        const Bytes data = Pattern(c.kept * clusterBytes, 3);
        if (!data.empty()) image.WriteData(c.first, data);
        image.bytes->resize(std::size_t{image.ClusterSector(onDevice + 2)} * 512);
        auto mounted = Mount(image);
        ASSERT_TRUE(mounted.mounted);

        RecordingScan scan;
        TempFolder folder;
        TFATFile file;
        file.Drive = mounted.drive.get();
        file.Name = "BIG.JPG";
        file.FirstCluster = c.first;
        file.Size = 64u << 20;  // as a damaged entry may claim
        std::string saved;
        // A file that gives no byte at all is not kept.
        EXPECT_EQ(file.SaveTo(folder.Slash(), c.fatNo, &saved), c.kept > 0);
        EXPECT_EQ(folder.Names().size(), c.kept > 0 ? 1u : 0u);
        if (c.kept > 0) {
            EXPECT_EQ(ReadHostFile(saved), data);
        }
    }
}

}  // namespace
}  // namespace quorvane
