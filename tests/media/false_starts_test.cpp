// How often the scan's start test reports a start where no file starts: on pseudo-random sectors
// (the bulk of compressed data on a card looks like them) and on the inner sectors of large
// pictures and films made at test time. Every false start cuts the file being carved short, so
// a rule whose bytes random data meets too often shows here. The bounds leave a margin over what
// the rules gave when they were set (none on 512 MiB of random sectors, none inside the real files).
#include "media/recoverutils.h"
#include "media/start_tool_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace quorvane {
namespace {

using testing::ToolFolder;

constexpr std::int32_t kSector = 512;

// The extensions of the starts found, with their counts.
struct Starts {
    std::map<std::string, int> byExtension;
    int total = 0;

    void Test(const std::uint8_t* sector) {
        std::string extension;
        if (IsFileStart(sector, kSector, extension)) {
            ++byExtension[extension];
            ++total;
        }
    }
    std::string Text() const {
        std::string text;
        for (const auto& [extension, count] : byExtension) text += extension + ": " + std::to_string(count) + " ";
        return text;
    }
};

TEST(FalseStarts, FewOnRandomSectors) {
    constexpr std::size_t kBytes = std::size_t{512} << 20;
    std::vector<std::uint64_t> chunk((std::size_t{1} << 20) / sizeof(std::uint64_t));
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    Starts starts;
    for (std::size_t done = 0; done < kBytes; done += chunk.size() * sizeof(std::uint64_t)) {
        for (auto& word : chunk) {  // xorshift64*
            state ^= state >> 12;
            state ^= state << 25;
            state ^= state >> 27;
            word = state * 0x2545F4914F6CDD1DULL;
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(chunk.data());
        for (std::size_t at = 0; at < chunk.size() * sizeof(std::uint64_t); at += kSector) starts.Test(bytes + at);
    }
    EXPECT_LE(starts.total, 2) << starts.Text();
}

TEST(FalseStarts, FewInsideLargePicturesAndFilms) {
    const ToolFolder folder;
    ASSERT_TRUE(folder.Run("convert -seed 21 -size 6000x4000 xc:gray +noise Random -quality 90 baseline.jpg"));
    ASSERT_TRUE(folder.Run("convert -seed 22 -size 3000x2000 xc:gray +noise Random -interlace Plane progressive.jpg"));
    ASSERT_TRUE(folder.Run("ffmpeg -v error -y -f lavfi -i testsrc=duration=20:size=320x240:rate=25 -f lavfi -i "
                           "sine=duration=20 -vf noise=alls=30:allf=t -c:v libx264 -preset ultrafast -c:a aac "
                           "-shortest film.mp4"));
    for (const char* name : {"baseline.jpg", "progressive.jpg", "film.mp4"}) {
        SCOPED_TRACE(name);
        const std::vector<std::uint8_t> file = folder.Read(name);
        ASSERT_GT(file.size(), std::size_t{1} << 20);
        Starts starts;
        // The first sector is the file's own start.
        for (std::size_t at = kSector; at + kSector <= file.size(); at += kSector) starts.Test(file.data() + at);
        EXPECT_LE(starts.total, 1) << file.size() << " bytes; " << starts.Text();
    }
}

}  // namespace
}  // namespace quorvane
