// Which block devices wipe and format may overwrite: only cards and USB drives that nothing of the
// running system mounts, holds or runs from, over fake sysfs trees.
#include "platform/destructive_use.h"
#include "platform/fake_sysfs.h"
#include "platform/image_fixtures.h"

#include <gtest/gtest.h>

#include <functional>

namespace quorvane {
namespace {

using testing::FakeDisk;
using testing::FakeSysfs;
using testing::TempDir;

const std::string USB_READER = "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0";
const std::string SATA = "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0";
const std::string MMC_SLOT = "platform/fe320000.mmc/mmc_host/mmc0/mmc0:0001";

// A card reader with a card of two partitions: sdb, sdb1 (8:17), sdb2 (8:18).
void cardReader(FakeSysfs& sys, bool removableFlag = true) {
    FakeDisk disk("sdb", 62521344);
    disk.vendorModel("Generic", "STORAGE DEVICE").onBus(USB_READER).devNumber("8:16");
    if (removableFlag) disk.isRemovable();
    sys.addDisk(disk);
    sys.addPartition("sdb", "sdb1", 1048576, "8:17", 1);
    sys.addPartition("sdb", "sdb2", 61470720, "8:18", 2);
}

struct Case {
    const char* what;
    std::function<void(FakeSysfs&)> tree;
    std::string name;
    DeviceUse use;
    std::string refusal;  // a part of the refusal; "" when the device may be overwritten
};

TEST(RemovableRule, OnlyUnusedCardsAndUsbDrivesMayBeOverwritten) {
    const std::vector<Case> cases = {
        {"a card in a USB reader", [](FakeSysfs& s) { cardReader(s); }, "sdb", {}, ""},
        {"a partition of that card", [](FakeSysfs& s) { cardReader(s); }, "sdb1", {}, ""},
        {"a USB disk without the removable flag", [](FakeSysfs& s) { cardReader(s, false); }, "sdb", {}, ""},
        {"an SD card in an MMC slot",
         [](FakeSysfs& s) {
             s.addDisk(FakeDisk("mmcblk1", 31116288).onBus(MMC_SLOT).mmcCard("SD32G", "SD").devNumber("179:0"));
             s.addPartition("mmcblk1", "mmcblk1p1", 31108096, "179:1");
         },
         "mmcblk1p1", {}, ""},
        {"built-in eMMC",
         [](FakeSysfs& s) {
             s.addDisk(FakeDisk("mmcblk0", 61071360).onBus(MMC_SLOT).mmcCard("DA4064", "MMC").devNumber("179:0"));
             s.addPartition("mmcblk0", "mmcblk0p1", 61069312, "179:1");
         },
         "mmcblk0p1", {}, "is not a card or USB drive"},
        {"an MMC device whose type is unknown",
         [](FakeSysfs& s) { s.addDisk(FakeDisk("mmcblk2", 2048).onBus(MMC_SLOT).devNumber("179:16")); }, "mmcblk2", {},
         "is not a card or USB drive"},
        {"an internal SATA disk",
         [](FakeSysfs& s) {
             s.addDisk(FakeDisk("sda", 500118192).vendorModel("ATA", "SSD").onBus(SATA).devNumber("8:0"));
         },
         "sda", {}, "is not a card or USB drive"},
        {"a loop device", [](FakeSysfs& s) { s.addDisk(FakeDisk("loop3", 2048).onBus("virtual").devNumber("7:3")); },
         "loop3", {}, "is not a card or USB drive"},
        {"the disk of a mounted partition", [](FakeSysfs& s) { cardReader(s); }, "sdb", {{"8:17"}, {}},
         "/dev/sdb1 is mounted"},
        {"a partition whose sibling is mounted", [](FakeSysfs& s) { cardReader(s); }, "sdb1", {{"8:18"}, {}},
         "/dev/sdb2 is mounted"},
        {"a partition held by dm-crypt",
         [](FakeSysfs& s) {
             cardReader(s);
             s.addHolder("sdb2", "dm-0");
         },
         "sdb", {}, "in use by /dev/dm-0"},
        {"a whole disk held by md",
         [](FakeSysfs& s) {
             cardReader(s);
             s.addHolder("sdb", "md127");
         },
         "sdb1", {}, "in use by /dev/md127"},
        {"the USB stick the system runs from", [](FakeSysfs& s) { cardReader(s); }, "sdb", {{}, {"8:18"}},
         "holds the running system"},
        {"a device that has gone", [](FakeSysfs& s) { cardReader(s); }, "sdc", {}, "is no longer there"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        FakeSysfs sys(dir.path() / "sys");
        c.tree(sys);
        const std::string refusal = DestructiveUseRefusal(sys.root().string(), c.name, c.use);
        if (c.refusal.empty()) {
            EXPECT_EQ(refusal, "");
        } else {
            EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
        }
    }
}

// The system's own use is read with device numbers from the kernel's tables, not by names, from
// the program's mount table and from init's (another mount namespace: a sandbox's view misses
// the desktop's mounts).
TEST(RemovableRule, MountsAndSwapAreReadAsDeviceNumbers) {
    TempDir dir;
    const std::string own = dir.file("mountinfo");
    std::ofstream(own) << "22 1 8:2 / / rw,relatime - ext4 /dev/nonexistent-root rw\n"
                          "36 22 8:17 / /media/me/CARD rw,nosuid shared:7 - vfat /dev/nonexistent-card rw\n"
                          "40 22 0:45 / /tmp rw - tmpfs tmpfs rw\n";
    const std::string init = dir.file("init-mountinfo");
    std::ofstream(init) << "25 1 259:2 / / rw - ext4 /dev/nonexistent-host-root rw\n"
                           "90 25 8:33 / /run/media/me/STICK rw - exfat /dev/nonexistent-stick rw\n";
    const std::string swaps = dir.file("swaps");
    std::ofstream(swaps) << "Filename\tType\tSize\tUsed\tPriority\n";
    const DeviceUse use = ReadDeviceUse({own, init, dir.file("unreadable")}, swaps);
    for (const char* number : {"8:2", "8:17", "259:2", "8:33"}) EXPECT_TRUE(use.mounted.count(number)) << number;
    EXPECT_FALSE(use.mounted.count("0:45"));  // no block device behind it
    EXPECT_TRUE(use.system.count("8:2"));
    EXPECT_TRUE(use.system.count("259:2"));
    EXPECT_FALSE(use.system.count("8:17"));
}

}  // namespace
}  // namespace quorvane
