// Volumes made by mkfs.fat and mtools at test time: live, fragmented and deleted files read back
// byte-exact under their long names, through the drive table, the device and the drive list.
#include "disk/devices.h"
#include "fat/fat_drive.h"
#include "fat/fat_file_system.h"
#include "fat/fat_image_builder.h"
#include "platform/drive_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Pattern;

bool HaveTools() {
    return std::system("command -v mkfs.fat >/dev/null 2>&1 && command -v mcopy >/dev/null 2>&1") == 0;
}

// A temporary folder with an image in it, and the commands that build the image.
class ToolImage {
public:
    ToolImage() {
        char pattern[] = "/tmp/quorvane-fat-XXXXXX";
        dir_ = mkdtemp(pattern);
        image = dir_ + "/card.img";
    }
    ~ToolImage() { fs::remove_all(dir_); }

    void Run(const std::string& command) {
        const std::string cmd = "cd '" + dir_ + "' && SOURCE_DATE_EPOCH=1700000000 MTOOLS_SKIP_CHECK=1 " + command +
                                " >>tools.log 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << command;
    }
    // Copies bytes onto the image under a path such as "::DCIM/Holiday photo 0001.jpg".
    void Copy(const Bytes& data, const std::string& target) {
        const std::string local = dir_ + "/upload.bin";
        std::ofstream(local, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                      static_cast<std::streamsize>(data.size()));
        Run("mcopy -o -i card.img upload.bin '" + target + "'");
    }

    std::string image;

private:
    std::string dir_;
};

struct FoundFile {
    std::uint32_t cluster = 0, size = 0;
    bool deleted = false;
};

// The files of a directory walked with deleted entries, by name (deleted short names keep 0xE5).
std::map<std::string, FoundFile> FilesOf(TFATdrive& drive, TDirCursor cursor) {
    std::map<std::string, FoundFile> files;
    TDirEntry entry;
    std::string name;
    while (drive.FindNextEntry(cursor, entry, name, true))
        if (entry.IsFile() && !entry.IsLongNamePiece())
            files[name] = {entry.FirstCluster(), entry.FileSize, entry.IsDeleted()};
    return files;
}

std::uint32_t SubdirCluster(TFATdrive& drive, const std::string& wanted) {
    TDirCursor cursor(drive.RootCluster, drive.RootDirSector);
    TDirEntry entry;
    std::string name;
    while (drive.FindNextEntry(cursor, entry, name, false))
        if (entry.IsDirectory() && name == wanted) return entry.FirstCluster();
    return 0;
}

Bytes ReadFile(TFATdrive& drive, const FoundFile& f) {
    TFATFileInfo info;
    drive.ResetByCluster(f.cluster, f.size, info);
    Bytes out, buffer(65536);
    std::uint32_t done = 0;
    while (drive.BlockRead(info, 65536, buffer.data(), drive.ActiveFAT, done) && done > 0)
        out.insert(out.end(), buffer.begin(), buffer.begin() + done);
    return out;
}

TEST(FatToolImages, LiveFragmentedAndDeletedFilesReadBack) {
    if (!HaveTools()) GTEST_SKIP() << "dosfstools and mtools are not installed";
    struct Case {
        const char* name;
        const char* format;
        TFATType type;
    } cases[] = {
        {"FAT12 floppy", "mkfs.fat -C --invariant -F 12 -n TESTCARD card.img 1440", ftFAT12},
        {"FAT16 card", "mkfs.fat -C --invariant -F 16 -s 1 -n TESTCARD card.img 4096", ftFAT16},
        {"FAT32 card", "mkfs.fat -C --invariant -F 32 -s 1 -n TESTCARD card.img 33792", ftFAT32},
    };
    const Bytes live = Pattern(3000, 1), gone = Pattern(5000, 2), small = Pattern(700, 3),
                filler = Pattern(1500, 4), spread = Pattern(9000, 5), rootGone = Pattern(2100, 6);

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ToolImage t;
        t.Run(c.format);
        t.Run("mmd -i card.img ::DCIM");
        t.Copy(live, "::DCIM/Holiday photo 0001.jpg");
        t.Copy(gone, "::DCIM/Deleted picture one.jpg");
        t.Copy(small, "::DCIM/IMG_0003.JPG");
        t.Copy(filler, "::DCIM/filler.bin");
        t.Copy(rootGone, "::IMG_0002.JPG");
        // A file written after another was deleted fills that hole first and continues after the
        // last file: its chain has a gap.
        t.Run("mdel -i card.img ::DCIM/filler.bin");
        t.Copy(spread, "::DCIM/Spread over two runs.jpg");
        t.Run("mdel -i card.img '::DCIM/Deleted picture one.jpg'");
        t.Run("mdel -i card.img ::IMG_0002.JPG");

        std::string error;
        auto numbers = DriveTable::instance().addPath(t.image, error);
        ASSERT_FALSE(numbers.empty()) << error;
        TDeviceList devices;
        TDriveList drives{{&FatFileSystem()}};
        TDevice* device = devices.GetWindowsDrive(numbers[0]);
        ASSERT_NE(device, nullptr);
        auto* drive = dynamic_cast<TFATdrive*>(drives.GetFATDrive(device));
        ASSERT_NE(drive, nullptr);
        ASSERT_EQ(drive->FATType, c.type);
        EXPECT_EQ(drive->Name, "TESTCARD   ");
        EXPECT_EQ(drive->ActiveFAT, 1);

        auto root = FilesOf(*drive, TDirCursor(drive->RootCluster, drive->RootDirSector));
        ASSERT_TRUE(root.count("\xE5MG_0002.JPG"));
        EXPECT_TRUE(root["\xE5MG_0002.JPG"].deleted);
        EXPECT_EQ(ReadFile(*drive, root["\xE5MG_0002.JPG"]), rootGone);

        const std::uint32_t dcim = SubdirCluster(*drive, "DCIM");
        ASSERT_NE(dcim, 0u);
        auto files = FilesOf(*drive, TDirCursor(dcim, 0));
        const std::pair<const char*, const Bytes*> expected[] = {
            {"Holiday photo 0001.jpg", &live},
            {"Deleted picture one.jpg", &gone},
            {"IMG_0003.JPG", &small},
            {"Spread over two runs.jpg", &spread},
        };
        for (const auto& [name, data] : expected) {
            SCOPED_TRACE(name);
            ASSERT_TRUE(files.count(name));
            EXPECT_EQ(ReadFile(*drive, files[name]), *data);
        }
        EXPECT_TRUE(files["Deleted picture one.jpg"].deleted);
        EXPECT_FALSE(files["Spread over two runs.jpg"].deleted);
    }
}

}  // namespace
}  // namespace quorvane
