// Reading the mount table: names with escaped blanks, tabs, newlines and backslashes, and lines
// that are not mounts.
#include "image_fixtures.h"
#include "platform/mount_table.h"

#include <fstream>
#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(MountTable, EscapesInNamesAreDecoded) {
    struct Case {
        const char* field;
        const char* name;
    };
    const Case cases[] = {
        {"/media/my\\040card", "/media/my card"},
        {"/media/a\\011b", "/media/a\tb"},
        {"/media/a\\012b", "/media/a\nb"},
        {"/media/a\\134b", "/media/a\\b"},
        {"\\040\\040", "  "},
        {"/media/end\\040", "/media/end "},
        // Not escapes: too short, a first digit past 3, a digit past 7.
        {"/media/a\\04", "/media/a\\04"},
        {"/media/a\\400", "/media/a\\400"},
        {"/media/a\\048", "/media/a\\048"},
        {"/media/a\\", "/media/a\\"},
    };
    for (const Case& c : cases) EXPECT_EQ(UnescapeMountField(c.field), c.name) << c.field;
}

TEST(MountTable, EntriesComeInFileOrderAndOtherLinesAreSkipped) {
    testing::TempDir dir;
    const std::string path = dir.file("mounts");
    std::ofstream(path) << "/dev/sda2 / ext4 rw,relatime 0 0\n"
                           "\n"
                           "   \n"
                           "lonely\n"
                           "/dev/sdb1 /media/my\\040card vfat rw,nosuid 0 0\n"
                           "/dev/sdc1\t/mnt/short\n"
                           "/dev/sda3 / ext4 ro 0 0";  // no line break at the end
    const auto entries = ReadMountTable(path);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].source, "/dev/sda2");
    EXPECT_EQ(entries[0].target, "/");
    EXPECT_EQ(entries[0].type, "ext4");
    EXPECT_EQ(entries[0].options, "rw,relatime");
    EXPECT_EQ(entries[1].target, "/media/my card");
    EXPECT_EQ(entries[1].type, "vfat");
    EXPECT_EQ(entries[2].source, "/dev/sdc1");
    EXPECT_EQ(entries[2].target, "/mnt/short");
    EXPECT_EQ(entries[2].type, "");
    EXPECT_EQ(entries[3].source, "/dev/sda3");
    EXPECT_EQ(entries[3].options, "ro");
}

TEST(MountTable, AMissingFileHasNoEntries) {
    testing::TempDir dir;
    EXPECT_TRUE(ReadMountTable(dir.file("none")).empty());
}

}  // namespace
}  // namespace quorvane
