// Image files and block devices named by path: the drives they give, their file systems as
// libblkid names them, the reasons a path is refused, and drive lookup by letter or path.
#include "image_fixtures.h"
#include "platform/drive_table.h"
#include "platform/memory_volume.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace quorvane {
namespace {

using testing::TempDir;

class DriveTablePaths : public testing::EmptyDriveTableTest {
protected:

    std::vector<std::uint8_t> add(const std::string& path) {
        std::string error;
        auto numbers = DriveTable::instance().addPath(path, error);
        EXPECT_FALSE(numbers.empty()) << error;
        return numbers;
    }
};

TEST_F(DriveTablePaths, APartitionedImageGivesOneDrivePerPartition) {
    const std::string image = testing::MakePartitionedImage(dir, "card.img");
    const auto numbers = add(image);
    ASSERT_EQ(numbers.size(), 3u);

    const DriveEntry* whole = DriveTable::instance().find(numbers[0]);
    EXPECT_EQ(whole->displayName, "card.img (image)");
    EXPECT_TRUE(whole->isImage);
    EXPECT_TRUE(whole->isPartitionTable);
    EXPECT_EQ(whole->kind, DRIVE_REMOVABLE);
    EXPECT_EQ(whole->iconName, "drive-removable-media");
    EXPECT_EQ(whole->offsetBytes, 0u);
    EXPECT_EQ(whole->sizeBytes, 50u << 20);

    struct Expected {
        std::string name, fs, label;
        std::uint64_t startSector, sectors;
    };
    const Expected parts[] = {
        {"card.img partition 1 (image)", "FAT16", "CARDA", testing::PART1_START, testing::PART1_SECTORS},
        {"card.img partition 2 (image)", "FAT32", "CARDB", testing::PART2_START, testing::PART2_SECTORS},
    };
    const auto bytes = testing::ReadFileBytes(image);
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(parts[i].name);
        const DriveEntry* e = DriveTable::instance().find(numbers[i + 1]);
        EXPECT_EQ(e->displayName, parts[i].name);
        EXPECT_EQ(e->fileSystem, parts[i].fs);
        EXPECT_EQ(e->volumeLabel, parts[i].label);
        EXPECT_EQ(e->offsetBytes, parts[i].startSector * 512);
        EXPECT_EQ(e->sizeBytes, parts[i].sectors * 512);
        EXPECT_FALSE(e->isPartitionTable);
        std::string fs, label;
        ASSERT_TRUE(GetVolumeFileSystemName(e->number, fs, label));
        EXPECT_EQ(fs, parts[i].fs);
        EXPECT_EQ(label, parts[i].label);
        // The partition's sector 0 is its boot sector.
        int err = 0;
        auto file = e->opener->open(false, err);
        ASSERT_TRUE(file);
        std::vector<std::uint8_t> sector(512);
        std::uint32_t got = 0;
        ASSERT_TRUE(file->readAt(0, sector.data(), 512, got));
        EXPECT_TRUE(std::equal(sector.begin(), sector.end(), bytes.begin() + static_cast<long>(e->offsetBytes)));
        EXPECT_EQ(sector[510], 0x55);
        EXPECT_EQ(sector[511], 0xAA);
    }
    std::string fs, label;
    EXPECT_FALSE(GetVolumeFileSystemName(numbers[0], fs, label));  // a partition table, no file system

    // Adding it again finds the drives already there.
    EXPECT_EQ(add(image), numbers);
    EXPECT_EQ(DriveTable::instance().findByPath(image)->number, numbers[0]);
}

TEST_F(DriveTablePaths, FileSystemNamesComeFromLibblkid) {
    struct Case {
        std::string name;
        std::string make;  // shell command writing the image at $IMG
        std::string fileSystem;
    };
    const Case cases[] = {
        {"fat12", "mkfs.fat -C --invariant -F 12 -n CARD $IMG 1440", "FAT12"},
        {"fat16", "mkfs.fat -C --invariant -F 16 -s 1 -n CARD $IMG 8192", "FAT16"},
        {"fat32", "mkfs.fat -C --invariant -F 32 -s 1 -n CARD $IMG 33792", "FAT32"},
        {"ext2", "truncate -s 4M $IMG && mkfs.ext2 -q -F -L CARD $IMG", "ext2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string image = dir.file(c.name + ".img");
        ASSERT_EQ(testing::RunTool("IMG='" + image + "'; " + c.make), 0);
        const auto numbers = add(image);
        ASSERT_EQ(numbers.size(), 1u);
        EXPECT_EQ(DriveTable::instance().find(numbers[0])->fileSystem, c.fileSystem);
        std::string fs, label;
        ASSERT_TRUE(GetVolumeFileSystemName(numbers[0], fs, label));
        EXPECT_EQ(fs, c.fileSystem);
        EXPECT_EQ(label, "CARD");
    }

    // A wiped card has no file system to name.
    const std::string zeros = dir.file("zeros.img");
    testing::WriteFileBytes(zeros, std::vector<std::uint8_t>(1 << 20));
    const auto numbers = add(zeros);
    std::string fs, label;
    EXPECT_FALSE(GetVolumeFileSystemName(numbers[0], fs, label));
    EXPECT_EQ(DriveTable::instance().find(numbers[0])->fileSystem, "");
}

TEST_F(DriveTablePaths, VolumesServedByOtherOpenersAreProbedToo) {
    const std::string image = testing::MakeFatImage(dir, "mem.img", 16, 8192, "MEMCARD");
    auto opener = std::make_shared<MemoryVolumeOpener>(
        std::make_shared<std::vector<std::uint8_t>>(testing::ReadFileBytes(image)));
    DriveEntry entry;
    entry.opener = opener;
    entry.kind = DRIVE_REMOVABLE;
    const auto number = DriveTable::instance().addVolume(entry);
    ASSERT_TRUE(number);
    std::string fs, label;
    ASSERT_TRUE(GetVolumeFileSystemName(*number, fs, label));
    EXPECT_EQ(fs, "FAT16");
    EXPECT_EQ(label, "MEMCARD");

    opener->failingSectors = {0};  // an unreadable boot sector leaves nothing to recognise
    EXPECT_FALSE(GetVolumeFileSystemName(*number, fs, label));

    entry.number = *number;  // a taken number is refused
    EXPECT_FALSE(DriveTable::instance().addVolume(entry));
}

TEST_F(DriveTablePaths, PathsThatCannotBeDrivesAreRefusedWithAReason) {
    testing::WriteFileBytes(dir.file("empty.img"), {});
    std::filesystem::create_directories(dir.file("folder"));
    struct Case {
        std::string path;
        std::string error;
    };
    const Case cases[] = {
        {dir.file("missing.img"), dir.file("missing.img") + ": no such file or device."},
        {dir.file("folder"), dir.file("folder") + " is neither an image file nor a block device."},
        {dir.file("empty.img"), dir.file("empty.img") + " is empty."},
        {"/dev/null", "/dev/null is neither an image file nor a block device."},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_TRUE(DriveTable::instance().addPath(c.path, error).empty()) << c.path;
        EXPECT_EQ(error, c.error);
    }
    EXPECT_TRUE(DriveTable::instance().entries().empty());
}

TEST_F(DriveTablePaths, AnUnreadableImageAsksForRootOrTheDiskGroup) {
    const std::string image = testing::MakeFatImage(dir, "locked.img", 12, 1440, "CARD");
    ASSERT_EQ(::chmod(image.c_str(), 0600), 0);
    const std::string expected = "No permission to read " + image +
                                 ": run as root (sudo), or join the disk group (which can read and write every disk "
                                 "of this computer, not just cards).";
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(image.c_str(), 0), 0);
        std::string error;
        EXPECT_TRUE(DriveTable::instance().addPath(image, error).empty());
        EXPECT_EQ(error, expected);
        return;
    }
    // Root reads everything: ask as an ordinary user in a child process.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        std::string error;
        DriveTable::instance().addPath(image, error);
        const ssize_t written = ::write(pipeFds[1], error.data(), error.size());
        ::_exit(written == static_cast<ssize_t>(error.size()) ? 0 : 3);
    }
    ::close(pipeFds[1]);
    std::string error;
    char chunk[256];
    for (ssize_t n; (n = ::read(pipeFds[0], chunk, sizeof chunk)) > 0;) error.append(chunk, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(error, expected);
}

TEST_F(DriveTablePaths, DrivesAreFoundByLetterOrPath) {
    const std::string image = testing::MakeFatImage(dir, "card.img", 12, 1440, "CARD");
    std::string error;
    const auto byPath = ResolveDrive(image, error);
    ASSERT_TRUE(byPath) << error;
    EXPECT_EQ(*byPath, 4);  // D:, the first number after the floppies and the system volume
    for (const std::string form : {"D:", "d", "D:\\", "d:/", "D"}) {
        const auto number = ResolveDrive(form, error);
        ASSERT_TRUE(number) << form << ": " << error;
        EXPECT_EQ(*number, 4);
    }
    EXPECT_EQ(ResolveDrive(image, error), byPath);  // not added twice
    EXPECT_EQ(DriveTable::instance().entries().size(), 1u);

    EXPECT_FALSE(ResolveDrive("Q:", error));
    EXPECT_EQ(error, "There is no drive Q:.");
    EXPECT_FALSE(ResolveDrive(dir.file("nothing.img"), error));
    EXPECT_THAT(error, ::testing::HasSubstr("no such file"));

    EXPECT_EQ(GetDriveTypeA("D:\\"), DRIVE_REMOVABLE);
    // Numbers above 32 have lower-case letters: "d:\\" is drive 36, not D:.
    EXPECT_EQ(GetDriveTypeA("d:\\"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveTypeA("Q:\\"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveTypeA(""), DRIVE_NO_ROOT_DIR);
}

TEST_F(DriveTablePaths, ReadAccessIsProbedWhenAsked) {
    const std::string image = testing::MakeFatImage(dir, "card.img", 12, 1440, "CARD");
    const auto numbers = add(image);
    EXPECT_EQ(ProbeReadAccess(numbers[0]), 0);
    EXPECT_EQ(ProbeReadAccess(99), ENOENT);
    std::filesystem::remove(image);  // the card was pulled
    EXPECT_EQ(ProbeReadAccess(numbers[0]), ENOENT);
}

}  // namespace
}  // namespace quorvane
