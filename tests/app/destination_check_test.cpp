// The check of a destination before a run: a folder that cannot take the recovered files is
// refused with a plain reason, one on a mounted volume of the drive being recovered is warned
// about, and only a usable one is where the run stages its files.
#include "app/destination_check.h"
#include "platform/drive_table.h"
#include "platform/image_fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder)) names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(DestinationRefusal, TellsWhyAFolderCannotTakeTheFilesAndLeavesNothingBehind) {
    TempDir dir;
    fs::create_directories(dir.path() / "photos");
    fs::create_directories(dir.path() / "locked");
    std::ofstream(dir.path() / "notes.txt") << "a file";
    const std::string file = dir.file("notes.txt");
    struct Case {
        const char* name;
        std::string folder;
        std::string refusal;  // "" when the folder is usable
    };
    std::vector<Case> cases = {
        {"an existing folder", dir.file("photos"), ""},
        {"with a slash at the end", dir.file("photos") + "/", ""},
        {"missing folders that can be made", dir.file("photos/2024/trip"), ""},
        {"a relative path", ".", ""},
        {"no folder at all", "", "No folder to save the recovered files to was given."},
        {"a file", file, file + " is a file, not a folder: the recovered files are saved into a folder."},
        {"a folder under a file", file + "/x/y", file + "/x/y cannot be made: " + file + " is a file, not a folder."},
        // Root may write through any mode, but not into a file system that takes no new files.
        {"a folder where nothing can be made", "/proc/quorvane-destination",
         "/proc/quorvane-destination cannot be made in /proc: No such file or directory."},
    };
    if (::geteuid() != 0) {
        fs::permissions(dir.path() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        cases.push_back({"a folder without write permission", dir.file("locked"),
                         dir.file("locked") + " cannot be written to: Permission denied."});
        cases.push_back({"a missing folder in one", dir.file("locked/new"),
                         dir.file("locked/new") + " cannot be made in " + dir.file("locked") + ": Permission denied."});
    }
    const auto before = namesIn(dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DestinationRefusal(c.folder), c.refusal);
        const TDestinationCheck check = CheckDestination(c.folder, 0, "F:");
        EXPECT_EQ(check.Verdict, c.refusal.empty() ? TDestinationVerdict::Usable : TDestinationVerdict::Refused);
        EXPECT_EQ(check.Message, c.refusal);
        // Files are staged in a usable destination only.
        EXPECT_EQ(check.StagingParent, c.refusal.empty() ? c.folder : "");
    }
    EXPECT_EQ(namesIn(dir.path()), before) << "the check makes no folder and leaves no probe file";
}

// Drives named like block devices whose nodes do not exist (so nothing is opened), and a mount
// table that mounts some of them on folders of the test: a folder on the same file system as
// such a mount point lies on that volume, one on another file system (/proc) does not.
class DestinationOnDrive : public ::testing::Test {
protected:
    void TearDown() override { DriveTable::instance().clear(); }

    std::uint8_t addDrive(const std::string& path, bool image = false) {
        DriveEntry entry;
        entry.path = path;
        entry.displayName = path;
        entry.kind = image ? DRIVE_REMOVABLE : DRIVE_FIXED;
        entry.isImage = image;
        return DriveTable::instance().addVolume(entry).value_or(0);
    }

    TempDir dir;
};

TEST_F(DestinationOnDrive, WarnsAboutAFolderOnAMountedVolumeOfTheDriveOnly) {
    fs::create_directories(dir.path() / "mnt" / "DCIM");
    fs::create_directories(dir.path() / "sysblock" / "loop5" / "loop");
    const std::string image = dir.file("card.img");
    std::ofstream(image) << std::string(4096, '\0');
    std::ofstream(dir.path() / "sysblock" / "loop5" / "loop" / "backing_file") << image << "\n";
    std::ofstream(dir.path() / "mounts") << "/dev/quorvane-test-sdz1 " << dir.file("mnt") << " vfat rw 0 0\n"
                                          << "/dev/quorvane-test-sdx1 /proc vfat rw 0 0\n"
                                          << "/dev/loop5p1 " << dir.file("mnt") << " vfat rw 0 0\n";
    // Only the image's content counts as the image's drive; the card.img beside it does not.
    std::ofstream(dir.path() / "mounts-without-loop") << "/dev/quorvane-test-sdz1 /proc vfat rw 0 0\n";

    const auto partition = addDrive("/dev/quorvane-test-sdz1");
    const auto disk = addDrive("/dev/quorvane-test-sdz");
    const auto sibling = addDrive("/dev/quorvane-test-sdy1");
    const auto elsewhere = addDrive("/dev/quorvane-test-sdx1");
    const auto imageDrive = addDrive(image, true);
    ASSERT_NE(imageDrive, 0);

    struct Case {
        const char* name;
        std::uint8_t drive;
        std::string folder;
        std::string mounts;
        bool warned;
    };
    const std::string mounts = dir.file("mounts");
    const Case cases[] = {
        {"the mounted partition itself", partition, dir.file("mnt/DCIM"), mounts, true},
        {"a folder still to be made on it", partition, dir.file("mnt/saved/here"), mounts, true},
        {"a partition of the whole disk", disk, dir.file("mnt"), mounts, true},
        {"another partition's drive", sibling, dir.file("mnt"), mounts, false},
        {"a volume mounted on another file system", elsewhere, dir.file("mnt"), mounts, false},
        {"an image through its loop device", imageDrive, dir.file("mnt/DCIM"), mounts, true},
        {"beside an image that is not mounted", imageDrive, dir.file("saved"), dir.file("mounts-without-loop"), false},
        {"a drive the table does not hold", 0, dir.file("mnt"), mounts, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TDestinationCheck check = CheckDestination(c.folder, c.drive, "F:", c.mounts, dir.file("sysblock"));
        if (!c.warned) {
            EXPECT_EQ(check.Verdict, TDestinationVerdict::Usable) << check.Message;
            EXPECT_EQ(check.StagingParent, c.folder);
            continue;
        }
        EXPECT_EQ(check.Verdict, TDestinationVerdict::OnRecoveredDrive);
        EXPECT_EQ(check.Message, c.folder + " is on F:, the drive being recovered (mounted on " + dir.file("mnt") +
                                     "). Saving the recovered files there writes over the deleted files that are still "
                                     "to be found: choose a folder on another drive.");
        EXPECT_EQ(check.StagingParent, "") << "nothing is written to the drive while it is read";
    }
}

}  // namespace
}  // namespace quorvane
