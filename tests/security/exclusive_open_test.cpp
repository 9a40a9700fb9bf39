// A block device opened for writing is opened exclusively: while another holder has it (a mount,
// the device mapper, a program with O_EXCL), the kernel refuses, and nothing is written.
#include "platform/drive_table.h"
#include "platform/image_fixtures.h"
#include "platform/posix_volume.h"
#include "support/file_descriptor.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace quorvane {
namespace {

using testing::LoopDevice;
using testing::TempDir;

TEST(ExclusiveOpen, ADeviceHeldOpenIsRefusedForWriting) {
    TempDir dir;
    const std::string image = dir.file("card.img");
    std::vector<std::uint8_t> bytes(1 << 20, 0xE5);
    testing::WriteFileBytes(image, bytes);
    LoopDevice loop(image, "");
    if (loop.device().empty()) GTEST_SKIP() << "needs root and a free loop device";

    PosixVolumeOpener opener(loop.device(), 0, 0, DRIVE_REMOVABLE);
    {
        const FileDescriptor holder(::open(loop.device().c_str(), O_RDONLY | O_EXCL | O_CLOEXEC));
        ASSERT_TRUE(holder) << std::strerror(errno);
        int err = 0;
        EXPECT_EQ(opener.open(true, err), nullptr);
        EXPECT_EQ(err, EBUSY);
        // Reading does not claim the device, so it still works beside the holder.
        EXPECT_NE(opener.open(false, err), nullptr);
    }
    int err = 0;
    auto file = opener.open(true, err);
    ASSERT_NE(file, nullptr) << std::strerror(err);
    // While this write handle is open, the device is claimed against other exclusive openers.
    const FileDescriptor second(::open(loop.device().c_str(), O_RDONLY | O_EXCL | O_CLOEXEC));
    EXPECT_FALSE(second);
}

}  // namespace
}  // namespace quorvane
