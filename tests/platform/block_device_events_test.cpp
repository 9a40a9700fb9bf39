// The kernel's uevents as the window's drive list hears them: which messages mean that block
// devices changed, and (as root) a loop device attached and detached.
#include "platform/block_device_events.h"
#include "platform/drive_table.h"
#include "platform/image_fixtures.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <string>

namespace quorvane {
namespace {

TEST(BlockDeviceUevent, OnlyBlockDevicesComingGoingOrChangingCount) {
    using namespace std::string_literals;
    const struct {
        std::string message;
        bool block;
    } cases[] = {
        {"add@/devices/pci0/usb1/1-1/host6/block/sdb\0ACTION=add\0DEVPATH=/devices/pci0/usb1/1-1/host6/block/sdb\0"
         "SUBSYSTEM=block\0DEVNAME=sdb\0DEVTYPE=disk\0SEQNUM=4711\0"s,
         true},
        {"remove@/devices/virtual/block/loop0/loop0p1\0ACTION=remove\0SUBSYSTEM=block\0DEVTYPE=partition\0"s, true},
        // A card put into a reader: the reader's disk changes size.
        {"change@/devices/x/block/sdc\0ACTION=change\0SUBSYSTEM=block\0DISK_MEDIA_CHANGE=1\0"s, true},
        {"add@/devices/pci0/usb1/1-1\0ACTION=add\0SUBSYSTEM=usb\0DEVTYPE=usb_device\0"s, false},
        {"bind@/devices/x/block/sdb\0ACTION=bind\0SUBSYSTEM=block\0"s, false},
        // A field that only ends with the message, without its NUL.
        {"change@/x\0ACTION=change\0SUBSYSTEM=block"s, true},
        {"SUBSYSTEM=blockdev\0ACTION=add\0"s, false},
        {""s, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.substr(0, 40));
        EXPECT_EQ(IsBlockDeviceUevent(c.message.data(), c.message.size()), c.block);
    }
}

// The socket wakes the window when a loop device comes and goes, and the drive table's
// fingerprint tells the difference to the fallback poll.
TEST(BlockDeviceEvents, ALoopDeviceAttachedAndDetachedIsHeard) {
    testing::TempDir dir;
    const std::string image = testing::MakeFatImage(dir, "card.img", 16, 4096, "CARD");
    BlockDeviceEvents events;
    if (!events.valid()) GTEST_SKIP() << "no uevent socket here";
    auto heard = [&] {
        pollfd p{events.fd(), POLLIN, 0};
        for (int i = 0; i < 20; ++i) {
            if (::poll(&p, 1, 100) > 0 && events.Drain()) return true;
        }
        return false;
    };
    events.Drain();
    DriveTable::instance().setSysfsRoot("/sys");
    const std::string before = DriveTable::instance().blockDevicesFingerprint();
    std::string attached;
    {
        testing::LoopDevice loop(image, "");
        if (loop.device().empty()) GTEST_SKIP() << "needs root and a free loop device";
        EXPECT_TRUE(heard()) << "attach";
        attached = DriveTable::instance().blockDevicesFingerprint();
        EXPECT_NE(attached, before);
    }
    EXPECT_TRUE(heard()) << "detach";
    EXPECT_NE(DriveTable::instance().blockDevicesFingerprint(), attached);
    DriveTable::instance().clear();
}

}  // namespace
}  // namespace quorvane
