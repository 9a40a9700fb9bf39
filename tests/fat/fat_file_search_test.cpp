// Counting and collecting media files over the start directories "Root", "Deleted" and "Lost".
#include "fat/fat_image_builder.h"
#include "fat/fat_objects.h"
#include "fat/fat_recording_scan.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace quorvane {
namespace {

using namespace testing;

std::vector<std::string> SearchedNames(TFATdrive& drive) {
    std::vector<std::string> names;
    for (const auto& item : *drive.FATSearchedDir()->Children) names.push_back(dynamic_cast<TFATFile&>(*item).Name);
    return names;
}

Bytes Jpeg(std::size_t size, std::uint8_t seed) {
    Bytes b = Pattern(size, seed);
    b[0] = 0xFF, b[1] = 0xD8, b[2] = 0xFF, b[3] = 0xE0;
    return b;
}

TEST(FatFileSearch, MediaNamesMatchWhateverTheirCase) {
    FatImage image(FatLayout::Fat12(200));
    DirSlot root = image.Root();
    image.AddFile(root, "PHOTO   JPG", 2, Pattern(100, 1));
    image.AddFile(root, "PHOTO~1 JPE", 3, Pattern(100, 1), "photo.jpeg");
    image.AddFile(root, "IMG_1~1 TIF", 4, Pattern(100, 1), "IMG_1.TIFF");
    image.AddFile(root, "CLIP~1  MOV", 5, Pattern(100, 1), "clip.Mov");
    image.AddFile(root, "README  TXT", 6, Pattern(100, 1));
    image.AddFile(root, "IMAGEJ~1BAK", 7, Pattern(100, 1), "IMAGE.JPG.BAK");
    image.AddFile(root, "JPG        ", 8, Pattern(100, 1));
    image.Put(root, Deleted(ShortEntry("IC0001  CRW", faArchive, 9, 100)));
    image.Put(root, Deleted(ShortEntry("NOTES   TXT", faArchive, 10, 100)));
    RecordingScan scan;
    auto m = Mount(image);
    ASSERT_TRUE(m.drive->FindFiles(true, true, false));
    // The deleted entries come first: that visit runs before the one of the live tree.
    EXPECT_EQ(SearchedNames(*m.drive), (std::vector<std::string>{"\xE5" "C0001.CRW", "PHOTO.JPG", "photo.jpeg",
                                                                 "IMG_1.TIFF", "clip.Mov"}));
}

// DCIM holds two live pictures and a deleted one; the root a live picture and a text file.
FatImage DcimCard() {
    FatImage image(FatLayout::Fat12(200));
    DirSlot root = image.Root();
    DirSlot dcim = image.AddDir(root, "DCIM       ", 20);
    image.AddFile(dcim, "IMG_0001JPG", 2, Jpeg(1500, 1));
    image.AddFile(dcim, "IMG_0002JPG", 30, Jpeg(700, 2));
    image.Put(dcim, Deleted(ShortEntry("IMG_0003JPG", faArchive, 40, 700)));
    image.AddFile(root, "ROOTPIC JPG", 50, Jpeg(700, 3));
    image.AddFile(root, "README  TXT", 60, Pattern(100, 4));
    return image;
}

TEST(FatFileSearch, AnalyzeTotalFileCountsEachVisit) {
    struct Case {
        const char* name;
        bool root, deleted, lost;
        std::int32_t files, folders;
    } cases[] = {
        {"live tree", true, false, false, 3, 1},
        {"deleted entries, through live directories", false, true, false, 1, 1},
        {"both: DCIM counted in each visit", true, true, false, 4, 2},
        {"nothing chosen", false, false, false, 0, 0},
    };
    const FatImage image = DcimCard();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingScan scan;
        scan.FoundFiles = 99;
        auto m = Mount(image);
        std::int32_t files = -1, folders = -1;
        EXPECT_TRUE(m.drive->AnalyzeTotalFile(c.root, c.deleted, c.lost, files, folders));
        EXPECT_EQ(files, c.files);
        EXPECT_EQ(folders, c.folders);
        EXPECT_EQ(scan.FoundFiles, c.files);
        EXPECT_EQ(scan.FoundFolders, c.folders);
    }
}

TEST(FatFileSearch, FindFilesKeepsCopiesThatOutliveTheVisit) {
    RecordingScan scan;
    auto m = Mount(DcimCard());
    scan.Drive = m.drive.get();
    ASSERT_TRUE(m.drive->FindFiles(true, true, false));
    const auto first = SearchedNames(*m.drive);
    EXPECT_EQ(first, (std::vector<std::string>{"\xE5MG_0003.JPG", "IMG_0001.JPG", "IMG_0002.JPG", "ROOTPIC.JPG"}));

    TFATDirectory& searched = *m.drive->FATSearchedDir();
    auto& copy = dynamic_cast<TFATFile&>(*(*searched.Children)[1]);
    EXPECT_EQ(copy.Parent, &searched);
    EXPECT_EQ(copy.FirstCluster, 2u);
    EXPECT_EQ(copy.Size, 1500u);
    EXPECT_EQ(copy.Drive, m.drive.get());
    EXPECT_FALSE(m.drive->FATRootDir()->Children) << "the tree read for the visit is freed";
    auto& deleted = dynamic_cast<TFATFile&>(*(*searched.Children)[0]);
    EXPECT_EQ(deleted.State & StateDeleted, StateDeleted);
    EXPECT_EQ(deleted.Condition, 1);

    // A second search frees the first one's copies and starts from an empty list.
    ASSERT_TRUE(m.drive->FindFiles(true, true, false));
    EXPECT_EQ(SearchedNames(*m.drive), first);

    // The copies can be saved after the visit.
    TempFolder folder;
    std::string saved;
    auto& again = dynamic_cast<TFATFile&>(*(*searched.Children)[1]);
    ASSERT_TRUE(again.SaveTo(folder.Slash(), m.drive->ActiveFAT, &saved));
    EXPECT_EQ(ReadHostFile(saved), Jpeg(1500, 1));
}

TEST(FatFileSearch, StopLeavesTheCopiesMadeSoFar) {
    RecordingScan scan;
    auto m = Mount(DcimCard());
    scan.onPump = [](RecordingScan& s) {
        if (s.Drive && s.Drive->SearchedDir->Children->size() == 2) s.Stopped = true;
    };
    scan.Drive = m.drive.get();
    EXPECT_TRUE(m.drive->FindFiles(true, true, false));
    EXPECT_EQ(SearchedNames(*m.drive), (std::vector<std::string>{"\xE5MG_0003.JPG", "IMG_0001.JPG"}));
    std::int32_t files = 0, folders = 0;
    EXPECT_TRUE(m.drive->AnalyzeTotalFile(true, true, false, files, folders));
    EXPECT_EQ(files, 0) << "a search begun while stopped ends at once";
}

// After a quick format: the lost data search hands over the lost picture at once; the file search
// of "Lost" then collects the pictures inside the lost directory, the deleted one too, and not the
// lost picture again.
TEST(FatFileSearch, LostSearchCollectsPicturesOfLostDirectoriesOnly) {
    FatImage image(FatLayout::Fat16(5000));
    DirSlot old = image.Dir({10});
    image.Put(old, ShortEntry(".          ", faDirectory, 10, 0));
    image.Put(old, ShortEntry("..         ", faDirectory, 0, 0));
    image.AddFile(old, "IMG_0001JPG", 20, Jpeg(2500, 2), {}, false);
    image.AddFile(old, "IMG_0002JPG", 30, Jpeg(700, 3), {}, false);
    image.AddFile(old, "NOTES   TXT", 35, Pattern(100, 4), {}, false);
    image.WriteData(40, Jpeg(700, 4));
    image.WriteData(45, Jpeg(700, 5));
    image.Put(old, Deleted(ShortEntry("IMG_0003JPG", faArchive, 45, 700)));
    RecordingScan scan;
    auto m = Mount(image);
    scan.Drive = m.drive.get();
    m.drive->FindLostData();
    ASSERT_EQ(scan.recovered.size(), 1u);
    ASSERT_TRUE(m.drive->FindFiles(false, false, true));
    EXPECT_EQ(SearchedNames(*m.drive), (std::vector<std::string>{"IMG_0001.JPG", "IMG_0002.JPG", "\xE5MG_0003.JPG"}));
    EXPECT_EQ(scan.recovered[0].size, 5u * 512) << "the lost picture ends where the deleted one starts";

    std::int32_t files = 0, folders = 0;
    m.drive->AnalyzeTotalFile(false, false, true, files, folders);
    EXPECT_EQ(files, 4) << "the lost file counts, taken or not";
    EXPECT_EQ(folders, 1);
}

}  // namespace
}  // namespace quorvane
