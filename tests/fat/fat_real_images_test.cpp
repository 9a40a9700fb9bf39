// Recovery from cards made by mkfs.fat and mtools at test time: deleted pictures and deleted folder
// trees, a quick format over a full card, and the counts of the analysis.
#include "fat/fat_image_builder.h"
#include "fat/fat_objects.h"
#include "fat/fat_recording_scan.h"
#include "fat/fat_saved_names.h"
#include "media/filedet.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace quorvane {
namespace {

using namespace testing;
namespace fs = std::filesystem;

bool HaveTools() {
    return std::system("command -v mkfs.fat >/dev/null 2>&1 && command -v mcopy >/dev/null 2>&1") == 0;
}

Bytes Jpeg(std::size_t size, std::uint8_t seed) {
    Bytes b = Pattern(size, seed);
    b[0] = 0xFF, b[1] = 0xD8, b[2] = 0xFF, b[3] = 0xE1;
    return b;
}

struct Format {
    const char* name;
    const char* mkfs;  // options and size, for a new image and again for a quick format
    TFATType type;
};
const Format kFormats[] = {
    {"FAT12 floppy", "-F 12 card.img 1440", ftFAT12},
    {"FAT16 card", "-F 16 -s 1 card.img 4096", ftFAT16},
    {"FAT32 card", "-F 32 -s 1 card.img 33792", ftFAT32},
};

// A card image in a temporary folder, written with mtools, and mounted from memory.
class ToolCard {
public:
    explicit ToolCard(const Format& format) : format_(format) {
        Run(std::string("mkfs.fat -C --invariant -n TESTCARD ") + format.mkfs);
    }

    void Run(const std::string& command) {
        const std::string cmd = "cd '" + dir_.path + "' && SOURCE_DATE_EPOCH=1700000000 MTOOLS_SKIP_CHECK=1 " +
                                command + " >>tools.log 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << command;
    }
    // Writes data onto the card as path ("DCIM/100CAMRA/IMG_0001.JPG").
    void Put(const std::string& path, const Bytes& data) {
        std::ofstream(dir_.path + "/upload.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        Run("mcopy -o -i card.img upload.bin '::" + path + "'");
    }
    void Delete(const std::string& path) { Run("mdel -i card.img '::" + path + "'"); }
    // Formats the card again over its old contents: a new FAT and root, the data area left alone.
    void QuickFormat() { Run(std::string("mkfs.fat --invariant -n NEWCARD ") + format_.mkfs); }

    MountedImage Mount() {
        auto bytes = std::make_shared<Bytes>(fs::file_size(Image()));
        std::ifstream(Image(), std::ios::binary)
            .read(reinterpret_cast<char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
        return testing::Mount(bytes);
    }
    std::string Image() const { return dir_.path + "/card.img"; }

private:
    Format format_;
    TempFolder dir_;
};

// Saves every file of "Searched" into folder; saved name -> bytes.
std::map<std::string, Bytes> SaveSearched(TFATdrive& drive, const TempFolder& folder) {
    std::map<std::string, Bytes> saved;
    for (const auto& item : *drive.FATSearchedDir()->Children) {
        auto& file = dynamic_cast<TFATFile&>(*item);
        std::string path;
        EXPECT_TRUE(file.SaveTo(folder.Slash(), drive.ActiveFAT, &path)) << file.Name;
        saved[fs::path(path).filename().string()] = ReadHostFile(path);
    }
    return saved;
}

TEST(FatRealImages, DeletedPicturesComeBackUnderTheirNames) {
    if (!HaveTools()) GTEST_SKIP() << "dosfstools and mtools are not installed";
    const Bytes a = Jpeg(3000, 1), b = Jpeg(4100, 2), c = Jpeg(9000, 3), d = Jpeg(1200, 4), e = Jpeg(2600, 5),
                kept = Jpeg(1000, 6);
    for (const auto& format : kFormats) {
        SCOPED_TRACE(format.name);
        ToolCard card(format);
        card.Run("mmd -i card.img ::DCIM ::DCIM/100CAMRA ::DCIM/101CAMRA");
        card.Put("DCIM/100CAMRA/IMG_0001.JPG", a);
        card.Put("DCIM/101CAMRA/IMG_0001.JPG", b);
        card.Put("DCIM/100CAMRA/Holiday at the sea 001.jpg", c);
        card.Put("DCIM/101CAMRA/Birthday cake.jpeg", d);
        card.Put("Root picture.jpg", e);
        card.Put("notes.txt", Pattern(500, 7));
        card.Put("DCIM/100CAMRA/IMG_0002.JPG", kept);
        card.Delete("DCIM/100CAMRA/IMG_0001.JPG");
        card.Delete("DCIM/100CAMRA/Holiday at the sea 001.jpg");
        card.Delete("Root picture.jpg");
        card.Delete("notes.txt");
        card.Run("mdeltree -i card.img ::DCIM/101CAMRA");

        RecordingScan scan;
        TempFolder folder;
        auto m = card.Mount();
        ASSERT_TRUE(m.mounted);
        ASSERT_EQ(m.drive->FATType, format.type);
        scan.Drive = m.drive.get();
        ASSERT_TRUE(m.drive->FindFiles(false, true, false));
        auto saved = SaveSearched(*m.drive, folder);

        // The two IMG_0001.JPG of the two camera folders are both kept, in either order.
        ASSERT_EQ(saved.size(), 5u);
        ASSERT_TRUE(saved.count("_MG_0001.JPG") && saved.count("_MG_0001 (2).JPG"));
        EXPECT_EQ((std::set<Bytes>{saved["_MG_0001.JPG"], saved["_MG_0001 (2).JPG"]}), (std::set<Bytes>{a, b}));
        EXPECT_EQ(saved["Holiday at the sea 001.jpg"], c);
        EXPECT_EQ(saved["Birthday cake.jpeg"], d);
        EXPECT_EQ(saved["Root picture.jpg"], e);
    }
}

// The Sleuth Kit lists the same deleted pictures as the deleted-entry search collects.
TEST(FatRealImages, DeletedPicturesAgreeWithTheSleuthKit) {
    if (!HaveTools() || std::system("command -v fls >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "dosfstools, mtools or sleuthkit are not installed";
    ToolCard card(kFormats[1]);
    card.Run("mmd -i card.img ::DCIM ::DCIM/100CAMRA ::MISC");
    for (int i = 1; i <= 6; ++i)
        card.Put("DCIM/100CAMRA/IMG_000" + std::to_string(i) + ".JPG", Jpeg(1500 * i, static_cast<std::uint8_t>(i)));
    card.Put("MISC/Film of the party.mov", Pattern(5000, 9));
    card.Put("MISC/Shopping list.txt", Pattern(300, 9));
    for (int i : {2, 3, 5}) card.Delete("DCIM/100CAMRA/IMG_000" + std::to_string(i) + ".JPG");
    card.Run("mdeltree -i card.img ::MISC");

    std::set<std::string> sleuthKit;
    FILE* pipe = ::popen(("fls -r -d '" + card.Image() + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (text.rfind("r/r", 0) != 0) continue;
        text = text.substr(text.find('\t') + 1);
        text.erase(text.find_last_not_of("\r\n") + 1);
        const std::string name = text.substr(text.rfind('/') + 1);
        if (IsMediaFileName(name) && text.find("$OrphanFiles") == std::string::npos) sleuthKit.insert(name);
    }
    ::pclose(pipe);

    RecordingScan scan;
    auto m = card.Mount();
    scan.Drive = m.drive.get();
    m.drive->FindFiles(false, true, false);
    std::set<std::string> ours;
    for (const auto& item : *m.drive->FATSearchedDir()->Children)
        ours.insert(ReplaceDeletedChar(dynamic_cast<TFATFile&>(*item).Name));
    EXPECT_EQ(ours, sleuthKit);
    EXPECT_EQ(ours, (std::set<std::string>{"_MG_0002.JPG", "_MG_0003.JPG", "_MG_0005.JPG", "Film of the party.mov"}));
}

TEST(FatRealImages, QuickFormatLeavesOldPictureFoldersToFind) {
    if (!HaveTools()) GTEST_SKIP() << "dosfstools and mtools are not installed";
    std::map<std::string, Bytes> pictures;
    for (int i = 1; i <= 5; ++i) pictures["IMG_000" + std::to_string(i) + ".JPG"] = Jpeg(2000 * i + 77, static_cast<std::uint8_t>(i));
    pictures["Sunset over the bay.jpg"] = Jpeg(7000, 9);
    for (const auto& format : kFormats) {
        SCOPED_TRACE(format.name);
        ToolCard card(format);
        card.Run("mmd -i card.img ::DCIM ::DCIM/100CAMRA ::DCIM/101CAMRA");
        int n = 0;
        for (const auto& [name, data] : pictures)
            card.Put(std::string(n++ % 2 ? "DCIM/101CAMRA/" : "DCIM/100CAMRA/") + name, data);
        // Deleted before the format: it comes back by its deleted entry in the lost folder.
        card.Delete("DCIM/101CAMRA/IMG_0002.JPG");
        card.QuickFormat();
        std::map<std::string, Bytes> expected = pictures;
        expected["_MG_0002.JPG"] = expected["IMG_0002.JPG"];
        expected.erase("IMG_0002.JPG");

        RecordingScan scan;
        TempFolder lostFiles, folder;
        scan.saveFolder = lostFiles.Slash();
        auto m = card.Mount();
        ASSERT_TRUE(m.mounted);
        ASSERT_EQ(m.drive->FATType, format.type);
        EXPECT_EQ(m.drive->Name, "NEWCARD    ");
        EXPECT_EQ(m.drive->ActiveFAT, 0) << "the new FAT is empty";
        std::int32_t files = -1, folders = -1;
        m.drive->AnalyzeTotalFile(true, true, false, files, folders);
        EXPECT_EQ(files, 0);

        scan.Drive = m.drive.get();
        m.drive->FindLostData();
        // The old DCIM folder is found; its walk accounts for both camera folders and every picture.
        std::vector<std::string> lostDirs;
        for (const auto& item : *m.drive->FATLostDir()->Children)
            if (auto* dir = dynamic_cast<TFATDirectory*>(item.get())) lostDirs.push_back(dir->Name);
        EXPECT_EQ(lostDirs.size(), 1u);
        EXPECT_TRUE(scan.recovered.empty());

        ASSERT_TRUE(m.drive->FindFiles(false, false, true));
        EXPECT_EQ(SaveSearched(*m.drive, folder), expected);
        m.drive->AnalyzeTotalFile(false, false, true, files, folders);
        EXPECT_EQ(files, 6);
        EXPECT_EQ(folders, 3);
    }
}

TEST(FatRealImages, AnalysisCountsWhatIsOnTheCard) {
    if (!HaveTools()) GTEST_SKIP() << "dosfstools and mtools are not installed";
    for (const auto& format : kFormats) {
        SCOPED_TRACE(format.name);
        ToolCard card(format);
        card.Run("mmd -i card.img ::DCIM ::DCIM/100CAMRA ::DCIM/101CAMRA ::MISC");
        for (int i = 1; i <= 7; ++i) card.Put("DCIM/100CAMRA/IMG_000" + std::to_string(i) + ".JPG", Jpeg(900, 1));
        card.Put("DCIM/100CAMRA/INFO.TXT", Pattern(100, 2));
        for (int i = 1; i <= 3; ++i) card.Put("DCIM/101CAMRA/DSC0000" + std::to_string(i) + ".NEF", Pattern(700, 3));
        card.Put("MISC/clip.avi", Pattern(1500, 4));
        card.Put("MISC/Song.mp3", Pattern(1500, 5));
        card.Delete("DCIM/100CAMRA/IMG_0006.JPG");
        card.Delete("DCIM/100CAMRA/IMG_0007.JPG");

        RecordingScan scan;
        auto m = card.Mount();
        struct Case {
            bool root, deleted;
            std::int32_t files, folders;
        } cases[] = {{true, false, 9, 4}, {false, true, 2, 4}, {true, true, 11, 8}};
        for (const auto& c : cases) {
            std::int32_t files = -1, folders = -1;
            m.drive->AnalyzeTotalFile(c.root, c.deleted, false, files, folders);
            EXPECT_EQ(files, c.files) << c.root << c.deleted;
            EXPECT_EQ(folders, c.folders) << c.root << c.deleted;
        }
    }
}

}  // namespace
}  // namespace quorvane
