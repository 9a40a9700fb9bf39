// Partitions of images named on their own: "card.img@2", the partition table a whole image shows,
// and the partition a whole image is read through when none is named.
#include "image_fixtures.h"
#include "platform/drive_table.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

using testing::TempDir;

class PartitionArguments : public testing::EmptyDriveTableTest {};

TEST_F(PartitionArguments, AnAtSuffixNamesAPartitionAndAMissingOneIsRefusedWithTheOnesThereAre) {
    const std::string card = testing::MakePartitionedImage(dir, "card.img");
    const std::string plain = testing::MakeFatImage(dir, "plain.img", 12, 1440, "PLAIN");
    const std::string odd = testing::MakeFatImage(dir, "odd@2", 12, 1440, "ODD");  // a name that ends in @2
    struct Case {
        std::string arg;
        int partition;  // of the drive found
        std::uint64_t startSector;
        std::string fileSystem;
        std::string error;  // when refused
    };
    // card.img takes D:, its partitions E: and F:.
    const Case cases[] = {
        {card, 0, 0, "", ""},
        {card + "@0", 0, 0, "", ""},
        {card + "@1", 1, testing::PART1_START, "FAT16", ""},
        {card + "@2", 2, testing::PART2_START, "FAT32", ""},
        {"d:@2", 2, testing::PART2_START, "FAT32", ""},
        {odd, 0, 0, "FAT12", ""},
        {card + "@3", 0, 0, "",
         card + " has no partition 3; its partitions are 1 (FAT16, 8.00 MB), 2 (FAT32, 41.00 MB)."},
        {plain + "@1", 0, 0, "", plain + " starts with no partition table; name it without @1."},
        {"E:@1", 0, 0, "", "E: is a partition; name the disk or image it lies on with @1."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arg);
        std::string error;
        const auto number = ResolveDrive(c.arg, error);
        if (!c.error.empty()) {
            EXPECT_FALSE(number);
            EXPECT_EQ(error, c.error);
            continue;
        }
        ASSERT_TRUE(number) << error;
        const DriveEntry* e = DriveTable::instance().find(*number);
        EXPECT_EQ(e->partitionNumber, c.partition);
        EXPECT_EQ(e->offsetBytes, c.startSector * 512);
        EXPECT_EQ(e->fileSystem, c.fileSystem);
    }
}

TEST_F(PartitionArguments, AWholeImageShowsItsTableWithTypesFileSystemsAndTheDrivesThatReadThem) {
    struct Row {
        int number;
        std::uint64_t start, sectors;
        std::string type, fileSystem, label;
    };
    struct Case {
        std::string image;
        std::string kind;
        std::vector<Row> rows;
        int preferred;  // the partition read when none is named
    };
    const Case cases[] = {
        {testing::MakePartitionedImage(dir, "mbr.img"), "MBR",
         {{1, testing::PART1_START, testing::PART1_SECTORS, "0x0e", "FAT16", "CARDA"},
          {2, testing::PART2_START, testing::PART2_SECTORS, "0x0c", "FAT32", "CARDB"}},
         1},
        // The first partition holds ext2: the FAT one after it is preferred.
        {testing::MakeGptImage(dir, "gpt.img"), "GPT",
         {{1, testing::GPT1_START, testing::GPT1_SECTORS, "0fc63daf-8483-4772-8e79-3d69d8477de4", "ext2", "LINUX"},
          {2, testing::GPT2_START, testing::GPT2_SECTORS, "ebd0a0a2-b9e5-4433-87c0-68b6b72699c7", "FAT16", "GPTCARD"}},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        std::string error;
        const auto numbers = DriveTable::instance().addPath(c.image, error);
        ASSERT_EQ(numbers.size(), c.rows.size() + 1) << error;
        const PartitionTable table = DriveTable::instance().partitionTableOf(numbers[0]);
        EXPECT_EQ(table.kind, c.kind);
        EXPECT_EQ(table.sectorSize, 512u);
        ASSERT_EQ(table.partitions.size(), c.rows.size());
        for (std::size_t i = 0; i < c.rows.size(); ++i) {
            const PartitionRow& p = table.partitions[i];
            const Row& want = c.rows[i];
            EXPECT_EQ(p.number, want.number);
            EXPECT_EQ(p.startBytes, want.start * 512);
            EXPECT_EQ(p.sizeBytes, want.sectors * 512);
            EXPECT_EQ(p.type, want.type);
            EXPECT_EQ(p.fileSystem, want.fileSystem);
            EXPECT_EQ(p.label, want.label);
            EXPECT_EQ(p.drive, numbers[i + 1]);  // the drive added with the image, not a new one
            const DriveEntry* reader = DriveTable::instance().find(p.drive);
            EXPECT_EQ(reader->partitionNumber, want.number);
            EXPECT_EQ(reader->diskPath, c.image);
        }
        const PartitionRow* preferred = PreferredPartition(table);
        ASSERT_NE(preferred, nullptr);
        EXPECT_EQ(preferred->number, c.preferred);
        // A partition has no table of its own.
        EXPECT_EQ(DriveTable::instance().partitionTableOf(numbers[1]).kind, "");
    }
    EXPECT_EQ(DriveTable::instance().entries().size(), 6u);
}

TEST(PreferredPartition, FirstFatThenFirstFileSystemThenNone) {
    struct Case {
        const char* name;
        std::vector<PartitionRow> rows;
        int expected;  // 0: the whole drive
    };
    auto row = [](int number, const char* fs, std::uint8_t drive = 9) {
        PartitionRow p;
        p.number = number;
        p.fileSystem = fs;
        p.drive = drive;
        return p;
    };
    const Case cases[] = {
        {"FAT first", {row(1, "FAT32"), row(2, "FAT16")}, 1},
        {"FAT after ext4 and an empty one", {row(1, "ext4"), row(2, ""), row(3, "FAT16")}, 3},
        {"FAT without a known width", {row(1, "swap"), row(2, "FAT")}, 2},
        {"exFAT after ext4", {row(1, "ext4"), row(2, "exFAT")}, 2},
        {"no FAT or exFAT: the first file system", {row(1, ""), row(2, "ntfs"), row(3, "ext4")}, 2},
        {"nothing recognised", {row(1, ""), row(2, "")}, 0},
        {"a FAT partition past the end is skipped", {row(1, "FAT32", 0), row(2, "ext4")}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PartitionTable table;
        table.kind = "MBR";
        table.partitions = c.rows;
        const PartitionRow* p = PreferredPartition(table);
        EXPECT_EQ(p != nullptr ? p->number : 0, c.expected);
    }
}

}  // namespace
}  // namespace quorvane
