// The drive table over a fake sysfs tree: which block devices become drives, their letters,
// kinds, names and icons.
#include "fake_sysfs.h"
#include "image_fixtures.h"
#include "platform/drive_table.h"
#include "platform/sysfs_block_devices.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace quorvane {
namespace {

using testing::FakeDisk;
using testing::FakeSysfs;
using testing::TempDir;

std::string RootDevNumber() {
    struct stat st {};
    ::stat("/", &st);
    return std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
}

const std::string USB_PATH = "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0";

class SysfsEnumeration : public ::testing::Test {
protected:
    void SetUp() override {
        DriveTable::instance().setDevRoot(dir.file("dev"));  // no device nodes: nothing is probed
        DriveTable::instance().setMountsFile(dir.file("no-mounts"));
    }
    void TearDown() override {
        DriveTable::instance().setSysfsRoot(dir.file("empty"));
        DriveTable::instance().clear();
    }

    TempDir dir;
    FakeSysfs sysfs{dir.path() / "sys"};
};

TEST_F(SysfsEnumeration, BlockDevicesBecomeDrivesWithLettersKindsAndNames) {
    sysfs.addDisk(FakeDisk("fd0", 2880).isRemovable().onBus("platform/floppy.0"));
    sysfs.addDisk(FakeDisk("sda", 500118192)
                      .vendorModel("ATA", "Samsung SSD 860")
                      .onBus("pci0000:00/ata1/host0/target0:0:0/0:0:0:0")
                      .devNumber("8:0"));
    sysfs.addPartition("sda", "sda1", 1048576, "8:1");
    sysfs.addPartition("sda", "sda2", 499069616, RootDevNumber());
    sysfs.addDisk(FakeDisk("sdb", 133120)
                      .isRemovable()
                      .vendorModel("SanDisk", "SDDR-113")
                      .onBus(USB_PATH)
                      .devNumber("8:16"));
    sysfs.addPartition("sdb", "sdb1", 131072, "8:17");
    sysfs.addDisk(FakeDisk("sdc", 2097152).onBus(USB_PATH + "/x"));
    sysfs.addDisk(FakeDisk("mmcblk0", 31116288)
                      .onBus("platform/fe320000.mmc/mmc_host/mmc0/mmc0:0001")
                      .mmcCard("SD16G"));
    sysfs.addPartition("mmcblk0", "mmcblk0p1", 31108096);
    sysfs.addDisk(FakeDisk("mmcblk0boot0", 8192).onBus("platform/emmc"));
    sysfs.addDisk(FakeDisk("sr0", 0)
                      .isRemovable()
                      .vendorModel("HL-DT-ST", "DVDRAM")
                      .onBus("pci0000:00/ata2/host1/target1:0:0/1:0:0:0"));
    sysfs.addDisk(FakeDisk("zram0", 8388608).onBus("virtual/zram0"));
    sysfs.addDisk(FakeDisk("nbd0", 0).onBus("virtual/nbd0"));
    sysfs.addDisk(FakeDisk("nbd1", 2048).onBus("virtual/nbd1"));
    sysfs.addDisk(FakeDisk("loop0", 0).onBus("virtual/loop0"));
    sysfs.addDisk(FakeDisk("loop1", 4096).onBus("virtual/loop1").vendorModel("0x1af4", ""));
    sysfs.addDisk(FakeDisk("nvme0c0n1", 4096).onBus("virtual/nvme").isHidden());
    DriveTable::instance().setSysfsRoot(sysfs.root().string());

    struct Expected {
        char letter;
        std::string device;
        std::uint32_t kind;
        std::string icon;
        std::string displayName;
    };
    const std::vector<Expected> expected = {
        {'A', "fd0", DRIVE_REMOVABLE, "media-floppy", "Floppy disk (fd0, 1.41 MB)"},
        {'C', "sda2", DRIVE_FIXED, "drive-harddisk", "ATA Samsung SSD 860 (sda2, 237.97 GB)"},
        {'D', "loop1", DRIVE_FIXED, "drive-harddisk", "Local disk (loop1, 2.00 MB)"},
        {'E', "mmcblk0", DRIVE_REMOVABLE, "drive-removable-media", "SD16G (mmcblk0, 14.84 GB)"},
        {'F', "mmcblk0p1", DRIVE_REMOVABLE, "drive-removable-media", "SD16G (mmcblk0p1, 14.83 GB)"},
        {'G', "nbd1", DRIVE_REMOTE, "network-server", "Network disk (nbd1, 1.00 MB)"},
        {'H', "sda", DRIVE_FIXED, "drive-harddisk", "ATA Samsung SSD 860 (sda, 238.47 GB)"},
        {'I', "sda1", DRIVE_FIXED, "drive-harddisk", "ATA Samsung SSD 860 (sda1, 512.00 MB)"},
        {'J', "sdb", DRIVE_REMOVABLE, "drive-removable-media", "SanDisk SDDR-113 (sdb, 65.00 MB)"},
        {'K', "sdb1", DRIVE_REMOVABLE, "drive-removable-media", "SanDisk SDDR-113 (sdb1, 64.00 MB)"},
        {'L', "sdc", DRIVE_REMOVABLE, "drive-removable-media", "Removable disk (sdc, 1.00 GB)"},
        {'M', "sr0", DRIVE_CDROM, "media-optical", "HL-DT-ST DVDRAM (sr0)"},
        {'N', "zram0", DRIVE_RAMDISK, "drive-harddisk", "RAM disk (zram0, 4.00 GB)"},
    };
    const auto entries = DriveTable::instance().entries();
    ASSERT_EQ(entries.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].device);
        EXPECT_EQ(entries[i].letter(), expected[i].letter);
        EXPECT_EQ(entries[i].path, dir.file("dev") + "/" + expected[i].device);
        EXPECT_EQ(entries[i].kind, expected[i].kind);
        EXPECT_EQ(entries[i].iconName, expected[i].icon);
        EXPECT_EQ(entries[i].displayName, expected[i].displayName);
        EXPECT_FALSE(entries[i].isImage);
        EXPECT_EQ(GetDriveTypeA(entries[i].root()), expected[i].kind);
    }
    EXPECT_TRUE(DriveTable::instance().find(8)->isPartitionTable);   // sda
    EXPECT_TRUE(DriveTable::instance().find(10)->isPartitionTable);  // sdb
    EXPECT_FALSE(DriveTable::instance().find(11)->isPartitionTable); // sdb1
    EXPECT_EQ(GetDriveTypeA("B:\\"), DRIVE_NO_ROOT_DIR);
}

TEST_F(SysfsEnumeration, TheMountTableNamesTheSystemVolumeWhenNoDeviceNumberMatches) {
    sysfs.addDisk(FakeDisk("sda", 1000));
    sysfs.addDisk(FakeDisk("sdb", 1000));
    std::ofstream(dir.file("mounts")) << "rootfs / rootfs rw 0 0\n/dev/sdb / ext4 rw 0 0\nproc /proc proc rw 0 0\n";
    DriveTable::instance().setMountsFile(dir.file("mounts"));
    DriveTable::instance().setSysfsRoot(sysfs.root().string());
    const auto entries = DriveTable::instance().entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].letter(), 'C');
    EXPECT_EQ(entries[0].path, dir.file("dev") + "/sdb");
    EXPECT_EQ(entries[1].letter(), 'D');
}

TEST_F(SysfsEnumeration, DeviceNodesAreProbedForTheirFileSystem) {
    std::filesystem::create_directories(dir.file("dev"));
    testing::MakeFatImage(dir, "dev/sdb1", 16, 8192, "CARD16");
    sysfs.addDisk(FakeDisk("sdb", 18432).isRemovable().onBus(USB_PATH));
    sysfs.addPartition("sdb", "sdb1", 16384);
    DriveTable::instance().setSysfsRoot(sysfs.root().string());
    const DriveEntry* card = DriveTable::instance().findByPath(dir.file("dev") + "/sdb1");
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->fileSystem, "FAT16");
    EXPECT_EQ(card->volumeLabel, "CARD16");
    EXPECT_EQ(ProbeReadAccess(card->number), 0);
    EXPECT_EQ(ProbeReadAccess(DriveTable::instance().findByPath(dir.file("dev") + "/sdb")->number), ENOENT);
}

TEST_F(SysfsEnumeration, ImagesStayAfterTheBlockDevicesWhenTheTableIsReadAgain) {
    sysfs.addDisk(FakeDisk("sda", 1000));
    DriveTable::instance().setSysfsRoot(sysfs.root().string());
    const std::string image = testing::MakeFatImage(dir, "card.img", 12, 1440, "CARD");
    std::string error;
    const auto added = DriveTable::instance().addPath(image, error);
    ASSERT_EQ(added.size(), 1u) << error;
    EXPECT_EQ(added[0], 5);  // after sda (D:)

    sysfs.addDisk(FakeDisk("sdb", 1000));
    sysfs.addDisk(FakeDisk("sdc", 1000));
    DriveTable::instance().refresh();
    const DriveEntry* entry = DriveTable::instance().findByPath(image);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->number, 7);  // sdb took E:, sdc F:
    EXPECT_EQ(DriveTable::instance().entries().size(), 4u);
}

TEST_F(SysfsEnumeration, APartitionOfAListedDiskIsTheKernelsOwnOrElseARangeOfTheDisk) {
    std::filesystem::create_directories(dir.file("dev"));
    const std::string sdb = testing::MakePartitionedImage(dir, "dev/sdb");
    std::filesystem::copy_file(sdb, dir.file("dev/sdc"));
    const std::uint64_t sectors = 50 * 2048;
    sysfs.addDisk(FakeDisk("sdb", sectors).isRemovable().onBus(USB_PATH));
    sysfs.addPartition("sdb", "sdb1", testing::PART1_SECTORS, "", 1);
    sysfs.addPartition("sdb", "sdb2", testing::PART2_SECTORS, "", 2);
    sysfs.addDisk(FakeDisk("sdc", sectors).isRemovable().onBus(USB_PATH + "/x"));  // partitions not listed
    DriveTable::instance().setSysfsRoot(sysfs.root().string());
    DriveTable& table = DriveTable::instance();

    std::string error;
    const auto kernels = ResolveDrive(sdb + "@2", error);
    ASSERT_TRUE(kernels) << error;
    EXPECT_EQ(*kernels, table.findByPath(dir.file("dev/sdb2"))->number);
    EXPECT_EQ(table.find(*kernels)->diskPath, sdb);
    EXPECT_EQ(table.partitionTableOf(table.findByPath(sdb)->number).partitions[0].drive,
              table.findByPath(dir.file("dev/sdb1"))->number);

    const std::size_t before = table.entries().size();
    const auto range = ResolveDrive(dir.file("dev/sdc") + "@2", error);
    ASSERT_TRUE(range) << error;
    const DriveEntry* e = table.find(*range);
    EXPECT_EQ(e->path, dir.file("dev/sdc"));
    EXPECT_EQ(e->offsetBytes, testing::PART2_START * 512);
    EXPECT_EQ(e->sizeBytes, testing::PART2_SECTORS * 512);
    EXPECT_EQ(e->fileSystem, "FAT32");
    EXPECT_EQ(e->displayName, "sdc partition 2 (41.00 MB)");
    EXPECT_EQ(table.entries().size(), before + 2);  // both partitions of sdc
    EXPECT_EQ(ResolveDrive(dir.file("dev/sdc") + "@2", error), range);  // found again, not added twice
}

TEST(NaturalOrder, NumbersInNamesCompareByValue) {
    std::vector<std::string> names = {"sdb10", "sdb2", "sda", "sdb", "sdb1", "mmcblk0p12", "mmcblk0p2", "sr0"};
    std::sort(names.begin(), names.end(), NaturalLess);
    EXPECT_THAT(names, ::testing::ElementsAre("mmcblk0p2", "mmcblk0p12", "sda", "sdb", "sdb1", "sdb2", "sdb10", "sr0"));
}

}  // namespace
}  // namespace quorvane
