// The main window's drive box follows cards put in and taken out: at start and after a plug the
// card is selected rather than the system volume, an unplugged drive leaves the list, and nothing
// changes under a run. The block devices are a fake sysfs tree changed by the test.
#include "app/frm_main.h"
#include "platform/drive_table.h"
#include "platform/fake_sysfs.h"
#include "platform/image_fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quorvane {
namespace {

using testing::FakeDisk;

class DriveList : public ::testing::Test {
protected:
    void SetUp() override {
        // The system disk; "/" is on its second partition, which makes that C:.
        sysfs.addDisk(FakeDisk("sda", 500000000).vendorModel("ATA", "Samsung SSD"));
        sysfs.addPartition("sda", "sda1", 1048576, "", 1);
        sysfs.addPartition("sda", "sda2", 400000000, "", 2);
        std::ofstream(dir.file("mounts")) << "/dev/sda2 / ext4 rw 0 0\n";
        auto& table = DriveTable::instance();
        table.setMountsFile(dir.file("mounts"));
        table.setDevRoot(dir.file("dev"));  // no device nodes: nothing real is opened
        table.setSysfsRoot(sysfs.root().string());
    }
    void TearDown() override {
        auto& table = DriveTable::instance();
        table.setSysfsRoot("/sys");
        table.setDevRoot("/dev");
        table.setMountsFile("/proc/self/mounts");
        table.clear();
    }

    void plugCard(const std::string& disk) {
        sysfs.addDisk(FakeDisk(disk, 131072).isRemovable().vendorModel("Generic", "Card Reader").onBus("usb1/" + disk));
        sysfs.addPartition(disk, disk + "1", 131000);
    }
    void unplug(const std::string& disk) {
        for (const auto& e : std::filesystem::directory_iterator(sysfs.root() / "class" / "block")) {
            if (e.path().filename().string().rfind(disk, 0) == 0) std::filesystem::remove(e.path());
        }
    }

    // The device names in the drive box, and the selected one ("" for none).
    std::vector<std::string> listed(const TFrmMain& main) const {
        std::vector<std::string> names;
        for (const auto& item : main.ListBoxDrives.Items()) names.push_back(deviceOf(item.data));
        return names;
    }
    std::string selected(const TFrmMain& main) const {
        const auto* item = main.ListBoxDrives.Selected();
        return item != nullptr ? deviceOf(item->data) : "";
    }
    static std::string deviceOf(std::int64_t number) {
        const DriveEntry* e = DriveTable::instance().find(static_cast<std::uint8_t>(number));
        return e != nullptr ? std::filesystem::path(e->path).filename().string() : "?";
    }

    testing::TempDir dir;
    testing::FakeSysfs sysfs{dir.path() / "sys"};
};

TEST_F(DriveList, AtStartACardIsSelectedRatherThanTheSystemVolume) {
    {
        TFrmMain main;
        main.FormCreate();
        EXPECT_EQ(selected(main), "sda2") << "no card: the system volume, as before";
    }
    plugCard("sdb");
    DriveTable::instance().refresh();
    TFrmMain main;
    main.FormCreate();
    EXPECT_EQ(selected(main), "sdb1") << "the card's partition rather than its whole disk";
}

TEST_F(DriveList, FollowsCardsPluggedAndUnpluggedWhileNothingRuns) {
    TFrmMain main;
    main.FormCreate();
    EXPECT_FALSE(main.CheckDrives()) << "nothing changed";
    EXPECT_EQ(listed(main), (std::vector<std::string>{"sda2", "sda", "sda1"}));

    plugCard("sdb");
    EXPECT_TRUE(main.CheckDrives());
    EXPECT_EQ(listed(main), (std::vector<std::string>{"sda2", "sda", "sda1", "sdb", "sdb1"}));
    EXPECT_EQ(selected(main), "sdb1") << "a new card is selected";

    ASSERT_TRUE(main.SelectDrive(3));  // the user picks the system volume again (C:)
    plugCard("sdc");
    ASSERT_TRUE(main.CheckDrives());
    EXPECT_EQ(selected(main), "sdc1");

    unplug("sdb");
    ASSERT_TRUE(main.CheckDrives());
    EXPECT_EQ(listed(main), (std::vector<std::string>{"sda2", "sda", "sda1", "sdc", "sdc1"}));
    EXPECT_EQ(selected(main), "sdc1") << "the selected card stays when another goes";

    unplug("sdc");
    ASSERT_TRUE(main.CheckDrives());
    EXPECT_EQ(listed(main), (std::vector<std::string>{"sda2", "sda", "sda1"}));
    EXPECT_EQ(selected(main), "sda2") << "the selected card went: the first drive left";
}

TEST_F(DriveList, ARunKeepsItsDriveBoxUntilItEnds) {
    TFrmMain main;
    main.FormCreate();
    main.EnableControls(false);  // as a run does
    plugCard("sdb");
    EXPECT_FALSE(main.CheckDrives());
    EXPECT_EQ(listed(main), (std::vector<std::string>{"sda2", "sda", "sda1"}));
    main.EnableControls(true);
    EXPECT_TRUE(main.CheckDrives());
    EXPECT_EQ(selected(main), "sdb1");
}

}  // namespace
}  // namespace quorvane
