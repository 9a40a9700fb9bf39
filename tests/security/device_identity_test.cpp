// A drive name that stands for another device by the time of the write (a card swapped in the
// reader, another USB drive called sdb) is refused before anything is written.
#include "app/format_wipe.h"
#include "platform/destructive_use.h"
#include "platform/drive_table.h"
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

// A card reader with a SanDisk Ultra card, listed by the drive table.
void cardInReader(FakeSysfs& sysfs) {
    sysfs.addDisk(FakeDisk("sdb", 62333952)
                      .isRemovable()
                      .vendorModel("SanDisk", "Ultra")
                      .serialNumber("4C530001230101104414")
                      .onBus(USB_READER)
                      .devNumber("8:16"));
}

class DeviceIdentity : public ::testing::Test {
protected:
    void SetUp() override {
        DriveTable::instance().setDevRoot(dir.file("dev"));  // no device nodes: nothing is probed
        DriveTable::instance().setMountsFile(dir.file("no-mounts"));
    }
    void TearDown() override {
        DriveTable::instance().setSysfsRoot(dir.file("empty"));
        DriveTable::instance().setDevRoot("/dev");
        DriveTable::instance().setMountsFile("/proc/self/mounts");
        DriveTable::instance().clear();
    }

    // The card as the drive table lists it from a fresh tree at root.
    DriveEntry listedCard(const std::filesystem::path& root) const {
        FakeSysfs sysfs(root);
        cardInReader(sysfs);
        DriveTable::instance().setSysfsRoot(root.string());
        for (const DriveEntry& e : DriveTable::instance().entries()) {
            if (e.sysfsName == "sdb") return e;
        }
        ADD_FAILURE() << "sdb is not listed";
        return {};
    }

    std::string refusal(const DriveEntry& card) const { return OverwriteRefusal(card, dir.file("no-mounts"), {}); }

    TempDir dir;
};

TEST_F(DeviceIdentity, TheQuestionNamesTheDeviceAsTheUserKnowsIt) {
    const DriveEntry card = listedCard(dir.path() / "sys");
    EXPECT_EQ(DriveNameForUser(card), "SanDisk Ultra 29.72 GB (" + dir.file("dev") + "/sdb)");
    EXPECT_EQ(refusal(card), "");
}

TEST_F(DeviceIdentity, ADeviceThatChangedSinceTheListWasReadIsRefused) {
    const std::vector<std::pair<const char*, std::function<void(FakeSysfs&)>>> changes = {
        {"another card of the same model",
         [](FakeSysfs& s) { s.rewrite("sdb", "device/serial", "4C530009999999999999"); }},
        {"another model", [](FakeSysfs& s) { s.rewrite("sdb", "device/model", "Extreme"); }},
        {"another size", [](FakeSysfs& s) { s.rewrite("sdb", "size", "124735488"); }},
        {"another device number", [](FakeSysfs& s) { s.rewrite("sdb", "dev", "8:32"); }},
        {"the device gone", [](FakeSysfs& s) { std::filesystem::remove(s.root() / "class" / "block" / "sdb"); }},
    };
    int n = 0;
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        const auto root = dir.path() / ("sys" + std::to_string(n++));
        const DriveEntry card = listedCard(root);
        ASSERT_EQ(refusal(card), "");
        FakeSysfs sysfs(root);
        change(sysfs);
        const std::string why = refusal(card);
        const bool gone = what == std::string("the device gone");
        EXPECT_NE(why.find(gone ? "is no longer there" : "is no longer the SanDisk Ultra"), std::string::npos) << why;
    }
}

}  // namespace
}  // namespace quorvane
