// Drive numbers and the names made from them: letters, roots and NT device names.
#include "platform/logical_drive.h"
#include "platform/nt_volume_stand_in.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

// Names are made from drive numbers as '@' + number; every number the table hands out (up to
// 191) comes back as itself from each of them, the ones above 32 (lower-case letters) included,
// so no drive is read in place of another. 0 and the numbers past 191 name no drive.
TEST(DeviceNames, EveryDriveNumberComesBackFromItsDeviceName) {
    for (int n = 1; n <= 191; ++n) {
        const LogicalDrive drive(static_cast<std::uint8_t>(n));
        EXPECT_TRUE(drive.isValid()) << n;
        EXPECT_EQ(DriveOfDeviceName(drive.deviceName()), n) << n;
        EXPECT_EQ(LogicalDrive::fromLetter(drive.letter()), drive) << n;
        EXPECT_EQ(LogicalDrive::fromRoot(drive.root()), drive) << n;
        EXPECT_EQ(LogicalDrive::fromZeroBasedIndex(drive.zeroBasedIndex()), drive) << n;
    }
    for (const int n : {0, 192, 255}) {
        EXPECT_FALSE(LogicalDrive(static_cast<std::uint8_t>(n)).isValid()) << n;
        EXPECT_FALSE(LogicalDrive::fromZeroBasedIndex(static_cast<std::uint8_t>(n - 1)).isValid()) << n;
    }
}

TEST(DeviceNames, NamesOfKnownDrives) {
    struct Case {
        int number;
        char letter;
        const char* root;
        const char* deviceName;
        int zeroBased;
    };
    const Case cases[] = {
        {1, 'A', "A:\\", "\\\\.\\A:", 0},
        {3, 'C', "C:\\", "\\\\.\\C:", 2},
        {26, 'Z', "Z:\\", "\\\\.\\Z:", 25},
        {27, '[', "[:\\", "\\\\.\\[:", 26},
        {33, 'a', "a:\\", "\\\\.\\a:", 32},
        {191, '\xFF', "\xFF:\\", "\\\\.\\\xFF:", 190},
    };
    for (const Case& c : cases) {
        const LogicalDrive drive(static_cast<std::uint8_t>(c.number));
        SCOPED_TRACE(c.number);
        EXPECT_EQ(drive.letter(), c.letter);
        EXPECT_EQ(drive.name(), std::string(1, c.letter) + ":");
        EXPECT_EQ(drive.root(), c.root);
        EXPECT_EQ(drive.deviceName(), c.deviceName);
        EXPECT_EQ(drive.zeroBasedIndex(), c.zeroBased);
    }
}

TEST(DeviceNames, OtherNamesNameNoDrive) {
    for (const char* name : {"", "E:", "\\\\.\\E", "\\\\.\\E:\\", "\\\\?\\E:", "//./E:", "\\\\.\\@:"}) {
        EXPECT_EQ(DriveOfDeviceName(name), 0) << name;
    }
    EXPECT_FALSE(LogicalDrive::fromRoot("").isValid());
    EXPECT_FALSE(LogicalDrive::fromRoot("@:\\").isValid());
    EXPECT_FALSE(LogicalDrive::fromLetter('\0').isValid());
}

}  // namespace
}  // namespace quorvane
