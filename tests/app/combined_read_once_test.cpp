// The combined run reads each sector of the card once: the scan that follows the folder based
// method does not read the sectors of the files that method copied again.
#include "app/recovery_run.h"
#include "platform/image_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace quorvane::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(CombinedRunReads, TheScanReadsNoSectorOfTheFilesTheFolderMethodCopied) {
    DriveTable::instance().clear();
    TempDir dir;
    const std::string at = dir.file("card.img");
    ASSERT_EQ(RunTool("cd '" + dir.path().string() +
                      "' && mkfs.fat -C --invariant -F 16 -s 4 card.img 16384 && "
                      "convert -size 300x200 -seed 1 plasma:fractal live.jpg && "
                      "convert -size 280x210 -seed 2 plasma:fractal gone1.jpg && "
                      "convert -size 320x190 -seed 3 plasma:fractal gone2.jpg && mmd -i card.img ::DCIM && "
                      "mcopy -i card.img live.jpg gone1.jpg gone2.jpg ::DCIM && "
                      "mdel -i card.img ::DCIM/GONE1.JPG ::DCIM/GONE2.JPG"),
              0);
    const Bytes image = ReadAll(at);
    struct Span {
        std::uint64_t first, end;
    };
    std::vector<Span> deleted;  // the sectors of the deleted photos
    std::vector<Bytes> photos;
    for (const char* name : {"gone1.jpg", "gone2.jpg"}) {
        photos.push_back(ReadAll(dir.file(name)));
        const auto where = std::search(image.begin(), image.end(), photos.back().begin(), photos.back().end());
        ASSERT_NE(where, image.end()) << name;
        const auto offset = static_cast<std::uint64_t>(where - image.begin());
        deleted.push_back({offset / 512, (offset + photos.back().size() + 511) / 512});
    }

    std::string error;
    const auto drives = DriveTable::instance().addPath(at, error);
    ASSERT_FALSE(drives.empty()) << error;
    TRecoveryPlan plan;
    plan.Drive = drives.front();
    plan.Method = TRecoveryMethod::Both;
    plan.CheckContent = false;
    plan.StagingParent = dir.file("staged");
    RecoveryRun run(plan);
    std::vector<Span> scanned;
    run.ReadSectors = [&](std::uint8_t drive, std::uint64_t lba, std::uint16_t count, void* buffer) {
        scanned.push_back({lba, lba + count});
        return ReadLogicalSectors64(drive, lba, count, buffer);
    };
    run.Run();

    std::vector<Bytes> staged;
    for (const auto& f : run.Staged().Files()) staged.push_back(ReadAll(f.Path));
    for (const Bytes& photo : photos) EXPECT_NE(std::find(staged.begin(), staged.end(), photo), staged.end());
    ASSERT_FALSE(scanned.empty());
    for (const Span& s : scanned) {
        for (const Span& d : deleted) {
            EXPECT_TRUE(s.end <= d.first || s.first >= d.end)
                << "the scan read sectors " << s.first << ".." << s.end << " of a copied file at " << d.first << ".."
                << d.end;
        }
    }
    run.Staged().DeleteStagedFiles();
    DriveTable::instance().clear();
}

}  // namespace
}  // namespace quorvane::testing
