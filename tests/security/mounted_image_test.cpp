// An image counts as mounted when a loop device serves the same file, whatever name either uses:
// a hard link to a mounted image is that image.
#include "app/format_wipe.h"
#include "platform/destructive_use.h"
#include "platform/drive_table.h"
#include "platform/image_fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace quorvane {
namespace {

using testing::TempDir;

TEST(MountedImage, IsFoundByDeviceAndInodeNotByName) {
    TempDir dir;
    const std::string image = dir.file("card.img");
    std::ofstream(image) << std::string(4096, '\0');
    const std::string link = dir.file("other-name.img");
    std::filesystem::create_hard_link(image, link);
    const std::string copy = dir.file("copy.img");
    std::filesystem::copy_file(image, copy);

    // A loop device (under a name no real one has) serving the image by its first name, mounted.
    const auto sysBlock = dir.path() / "sys-block";
    std::filesystem::create_directories(sysBlock / "loop917" / "loop");
    std::ofstream(sysBlock / "loop917" / "loop" / "backing_file") << image << "\n";
    const std::string mounts = dir.file("mounts");
    std::ofstream(mounts) << "/dev/loop917 /media/card vfat rw 0 0\n";

    const struct {
        std::string path;
        std::string mountPoint;
    } cases[] = {{image, "/media/card"}, {link, "/media/card"}, {copy, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        DriveEntry drive;
        drive.path = c.path;
        drive.isImage = true;
        EXPECT_EQ(MountPointOf(drive, mounts, sysBlock.string()), c.mountPoint);
    }
}

// A loop device set up in another mount namespace names its backing file by a path that means
// nothing here; the loop device itself still tells the file's device and inode.
TEST(MountedImage, IsFoundThroughTheLoopDeviceWhenItsPathMeansNothingHere) {
    TempDir dir;
    const std::string image = dir.file("card.img");
    std::ofstream(image) << std::string(1 << 20, '\0');
    const std::string link = dir.file("other-name.img");
    std::filesystem::create_hard_link(image, link);
    testing::LoopDevice loop(image, "");
    if (loop.device().empty()) GTEST_SKIP() << "needs root and a free loop device";
    const std::string name = std::filesystem::path(loop.device()).filename().string();

    const auto sysBlock = dir.path() / "sys-block";
    std::filesystem::create_directories(sysBlock / name / "loop");
    std::ofstream(sysBlock / name / "dev") << DeviceNumberOfNode(loop.device()) << "\n";
    std::ofstream(sysBlock / name / "loop" / "backing_file") << "/run/elsewhere/card.img\n";
    const std::string mounts = dir.file("mounts");
    std::ofstream(mounts) << loop.device() << " /media/card vfat rw 0 0\n";

    DriveEntry drive;
    drive.path = link;
    drive.isImage = true;
    EXPECT_EQ(MountPointOf(drive, mounts, sysBlock.string()), "/media/card");
}

}  // namespace
}  // namespace quorvane
