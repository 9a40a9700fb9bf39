// Copying files out with SaveTo: exact bytes, empty files, stops, and the host folder's safety:
// names from the medium never leave the folder and never replace a file.
#include "fat/fat_image_builder.h"
#include "fat/fat_objects.h"
#include "fat/fat_recording_scan.h"
#include "fat/fat_saved_names.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quorvane {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// A FAT16 card with one file at `first` of `data`, chained (or not) in the FAT.
struct OneFileCard {
    explicit OneFileCard(const Bytes& data, std::uint32_t first = 2, bool chained = true)
        : image(FatLayout::Fat16(5000)) {
        DirSlot root = image.Root();
        image.AddFile(root, "FILE    BIN", first, data, {}, chained);
        mounted = Mount(image);
        file.Drive = mounted.drive.get();
        file.FirstCluster = data.empty() ? 0 : first;
        file.Size = static_cast<std::uint32_t>(data.size());
        file.Name = "IMG_0001.JPG";
    }
    FatImage image;
    MountedImage mounted;
    TFATFile file;
};

TEST(FatFileSaveTo, CopiesTheBytesAlongTheChainOrOverConsecutiveClusters) {
    struct Case {
        const char* name;
        std::size_t size;
        bool chained;
        std::uint8_t fatNo;
    } cases[] = {
        {"several copy blocks along the FAT", 200'000, true, 1},
        {"one partial block", 700, true, 1},
        {"consecutive clusters, FAT not followed", 150'000, true, 0},
        {"released chain read over consecutive clusters", 90'000, false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingScan scan;
        TempFolder folder;
        const Bytes data = Pattern(c.size, 7);
        OneFileCard card(data, 2, c.chained);
        std::string saved;
        EXPECT_TRUE(card.file.SaveTo(folder.Slash(), c.fatNo, &saved));
        EXPECT_EQ(saved, folder.Slash() + "IMG_0001.JPG");
        EXPECT_EQ(ReadHostFile(saved), data);
        EXPECT_FALSE(card.file.LastSaveWasDiskFull());
    }
}

TEST(FatFileSaveTo, EmptyFileIsKept) {
    RecordingScan scan;
    TempFolder folder;
    OneFileCard card({});
    std::string saved;
    EXPECT_TRUE(card.file.SaveTo(folder.path, 1, &saved)) << "a folder without its trailing slash works too";
    EXPECT_EQ(saved, folder.Slash() + "IMG_0001.JPG");
    EXPECT_TRUE(fs::exists(saved));
    EXPECT_EQ(fs::file_size(saved), 0u);
}

TEST(FatFileSaveTo, FileWithoutDataLeavesNoEmptyFile) {
    for (std::uint32_t cluster : {0u, 90000u}) {
        SCOPED_TRACE(cluster);
        RecordingScan scan;
        RecordingMessages messages;
        TempFolder folder;
        OneFileCard card(Pattern(1000, 1));
        card.file.FirstCluster = cluster;  // a deleted entry without a first cluster, or beyond the volume
        std::string saved = "unchanged";
        EXPECT_FALSE(card.file.SaveTo(folder.Slash(), 1, &saved));
        EXPECT_EQ(saved, "");
        EXPECT_TRUE(folder.Names().empty());
        EXPECT_TRUE(messages.texts.empty());
    }
}

TEST(FatFileSaveTo, StopDuringTheCopyErasesThePartialFile) {
    RecordingScan scan;
    TempFolder folder;
    OneFileCard card(Pattern(300'000, 3));
    // The stop comes in while the copy has begun: the first block is still written, then the copy ends.
    scan.onPump = [](RecordingScan& s) { s.Stopped = true; };
    std::string saved = "unchanged";
    EXPECT_FALSE(card.file.SaveTo(folder.Slash(), 1, &saved));
    EXPECT_EQ(saved, "");
    EXPECT_TRUE(folder.Names().empty());
}

TEST(FatFileSaveTo, SameNameTwiceKeepsBothAndNeverReplaces) {
    RecordingScan scan;
    TempFolder folder;
    const Bytes first = Pattern(3000, 1), second = Pattern(5000, 2);
    OneFileCard a(first), b(second);
    WriteHostFile(folder.Slash() + "IMG_0001 (3).JPG", "not ours");

    std::string pathA, pathB, pathC;
    ASSERT_TRUE(a.file.SaveTo(folder.Slash(), 1, &pathA));
    ASSERT_TRUE(b.file.SaveTo(folder.Slash(), 1, &pathB));
    ASSERT_TRUE(a.file.SaveTo(folder.Slash(), 1, &pathC));
    EXPECT_EQ(pathA, folder.Slash() + "IMG_0001.JPG");
    EXPECT_EQ(pathB, folder.Slash() + "IMG_0001 (2).JPG");
    EXPECT_EQ(pathC, folder.Slash() + "IMG_0001 (4).JPG");
    EXPECT_EQ(ReadHostFile(pathA), first);
    EXPECT_EQ(ReadHostFile(pathB), second);
    const auto untouched = ReadHostFile(folder.Slash() + "IMG_0001 (3).JPG");
    EXPECT_EQ(std::string(untouched.begin(), untouched.end()), "not ours");
}

TEST(FatFileSaveTo, NamesFromTheMediumStayInsideTheFolder) {
    struct Case {
        const char* name;
        std::string medium;
        std::string saved;
    } cases[] = {
        {"parent references", "../../escape.jpg", ".._.._escape.jpg"},
        {"dot dot alone", "..", "_.."},
        {"dot alone", ".", "_."},
        {"backslashes", "..\\..\\x.jpg", ".._.._x.jpg"},
        {"absolute path", "/etc/passwd", "_etc_passwd"},
        {"control characters", "a\nb\x01.jpg", "ab.jpg"},
        {"deleted marker", "\xE5MG_0002.JPG", "_MG_0002.JPG"},
        {"Windows-1252 text", "Caf\xE9 \x80.jpg", "Caf\xC3\xA9 \xE2\x82\xAC.jpg"},
        {"long name shortened, extension kept", std::string(300, 'x') + ".jpg",
         std::string(SavedNameMaxBytes - 4, 'x') + ".jpg"},
    };
    RecordingScan scan;
    TempFolder outer;
    const std::string folder = outer.Slash() + "inside/";
    fs::create_directory(folder);
    OneFileCard card(Pattern(1000, 5));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        card.file.Name = c.medium;
        std::string saved;
        ASSERT_TRUE(card.file.SaveTo(folder, 1, &saved));
        EXPECT_EQ(saved, folder + c.saved);
        EXPECT_EQ(fs::path(saved).parent_path(), fs::path(folder).parent_path());
        EXPECT_EQ(ReadHostFile(saved).size(), 1000u);
        fs::remove(saved);
    }
    EXPECT_EQ(outer.Names(), (std::set<std::string>{"inside"}));
}

TEST(FatFileSaveTo, LinkUnderTheSameNameIsNotFollowed) {
    RecordingScan scan;
    TempFolder outer;
    const std::string folder = outer.Slash() + "inside/";
    fs::create_directory(folder);
    WriteHostFile(outer.Slash() + "target", "outside");
    fs::create_symlink(outer.Slash() + "target", folder + "IMG_0001.JPG");
    fs::create_symlink(outer.Slash() + "nothing-yet", folder + "IMG_0001 (2).JPG");

    OneFileCard card(Pattern(1000, 5));
    std::string saved;
    ASSERT_TRUE(card.file.SaveTo(folder, 1, &saved));
    EXPECT_EQ(saved, folder + "IMG_0001 (3).JPG");
    const auto target = ReadHostFile(outer.Slash() + "target");
    EXPECT_EQ(std::string(target.begin(), target.end()), "outside");
    EXPECT_FALSE(fs::exists(outer.Slash() + "nothing-yet"));
}

TEST(FatFileSaveTo, FolderThatCannotBeWrittenIsReported) {
    RecordingScan scan;
    RecordingMessages messages;
    TempFolder folder;
    OneFileCard card(Pattern(1000, 5));
    std::string saved;
    EXPECT_FALSE(card.file.SaveTo(folder.Slash() + "missing/", 1, &saved));
    EXPECT_EQ(saved, "");
    EXPECT_FALSE(card.file.LastSaveWasDiskFull());
    EXPECT_EQ(card.file.LastSaveError(), ENOENT);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_NE(messages.texts[0].find("Could not create " + folder.Slash() + "missing/IMG_0001.JPG"), std::string::npos)
        << messages.texts[0];
    EXPECT_EQ(scan.stopTimes, 1);
}

// A destination of 64 KB (a tmpfs mounted for the test) fills up during the copy.
TEST(FatFileSaveTo, FullDiskErasesThePartialFileAndSaysSo) {
    TempFolder folder;
    if (geteuid() != 0 || ::mount("tmpfs", folder.path.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "needs root to mount a small tmpfs";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount(path.c_str()); }
    } unmount{folder.path};

    RecordingScan scan;
    RecordingMessages messages;
    OneFileCard card(Pattern(300'000, 3));
    std::string saved;
    EXPECT_FALSE(card.file.SaveTo(folder.Slash(), 1, &saved));
    EXPECT_EQ(saved, "");
    EXPECT_TRUE(card.file.LastSaveWasDiskFull());
    EXPECT_EQ(messages.texts, std::vector<std::string>{"Disk Full"});
    EXPECT_EQ(scan.stopTimes, 1);
    EXPECT_TRUE(folder.Names().empty()) << "no partial file is left";
}

}  // namespace
}  // namespace quorvane

namespace quorvane {
namespace {

// Every regular file below root, as a path relative to it.
std::set<std::string> FilesBelow(const std::string& root) {
    std::set<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        files.insert(fs::relative(e.path(), root).string() + (e.is_directory() ? "/" : ""));
    return files;
}

TEST(FatDriveSaveDirectory, TreeBecomesFoldersWithoutLoopsOrEmptyFolders) {
    FatImage image(FatLayout::Fat12(200));
    image.Chain({2, 3});
    DirSlot root = image.Root();
    image.AddFile(root, "A       JPG", 2, Pattern(1000, 1));
    DirSlot dcim = image.AddDir(root, "DCIM       ", 20);
    DirSlot canon = image.AddDir(dcim, "100CANON   ", 21, 20);
    image.AddFile(canon, "IMG_0001JPG", 30, Pattern(700, 2));
    image.Put(canon, ShortEntry("UP         ", faDirectory, 20, 0));  // back to DCIM
    image.WriteData(40, Pattern(600, 3));
    image.Put(dcim, Deleted(ShortEntry("IMG_0002JPG", faArchive, 40, 600)));
    image.AddDir(root, "EMPTY      ", 22);
    auto m = Mount(image);

    struct Case {
        const char* name;
        bool includeDeleted, onlyDeleted, recursive;
        std::set<std::string> files;
    } cases[] = {
        {"live tree", false, false, true,
         {"A.JPG", "DCIM/", "DCIM/100CANON/", "DCIM/100CANON/IMG_0001.JPG", "EMPTY/"}},
        {"deleted files only", true, true, true, {"DCIM/", "DCIM/_MG_0002.JPG"}},
        {"top level only", true, false, false, {"A.JPG"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingScan scan;
        TempFolder folder;
        bool yesToAll = false, replace = false;
        const std::string out = folder.Slash() + "out";
        EXPECT_TRUE(m.drive->SaveDirectory(*m.drive->FATRootDir(), out, c.includeDeleted, c.onlyDeleted, c.recursive,
                                           m.drive->ActiveFAT, yesToAll, replace));
        // EMPTY holds no file: its folder is removed again.
        std::set<std::string> expected = c.files;
        expected.erase("EMPTY/");
        EXPECT_EQ(FilesBelow(out), expected);
        if (c.recursive && !c.onlyDeleted) {
            EXPECT_EQ(ReadHostFile(out + "/DCIM/100CANON/IMG_0001.JPG"), Pattern(700, 2));
        }
    }
}

}  // namespace
}  // namespace quorvane
