// Faults that fuzzing the FAT engine with whole volume images brought up, each kept as a small
// fixture that ran into it. The images under fuzz/regressions (and the fuzz seeds) are replayed
// through the same pass as the fuzz target, which checks that the image is not written to and
// that every saved file lies directly in its folder; a hang or crash there fails the run itself.
#include "../../fuzz/fat_image_run.h"
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

}  // namespace
}  // namespace quorvane
