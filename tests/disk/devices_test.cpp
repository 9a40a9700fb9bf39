// Devices of FAT drives, the drive list and the abstract directory's ownership of its children.
#include "disk/devices.h"
#include "disk/drives.h"
#include "disk/ldiskio.h"
#include "platform/drive_table.h"
#include "platform/memory_volume.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

bool HaveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// A volume image made by a formatting tool in a temporary folder; empty when the tool failed.
Bytes MakeVolume(const std::string& command, const std::string& sizeArgument) {
    char pattern[] = "/tmp/quorvane-devices-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) return {};
    const std::string image = std::string(dir) + "/volume.img";
    std::string cmd = "SOURCE_DATE_EPOCH=1700000000 " + command + " '" + image + "' " + sizeArgument + " >/dev/null 2>&1";
    Bytes bytes;
    if (std::system(cmd.c_str()) == 0) {
        std::ifstream in(image, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    fs::remove_all(dir);
    return bytes;
}

std::uint8_t AddMemoryDrive(Bytes bytes) {
    DriveEntry entry;
    entry.path = "memory volume";
    entry.displayName = "memory volume (image)";
    entry.kind = DRIVE_REMOVABLE;
    entry.isImage = true;
    entry.sizeBytes = bytes.size();
    entry.opener = std::make_shared<MemoryVolumeOpener>(std::make_shared<Bytes>(std::move(bytes)));
    return DriveTable::instance().addVolume(entry).value_or(0);
}

TEST(Devices, FatVolumesGetADeviceEachTimeTheyAreAskedFor) {
    if (!HaveTool("mkfs.fat")) GTEST_SKIP() << "mkfs.fat is not installed";
    Bytes fat = MakeVolume("mkfs.fat -C --invariant -F 16 -s 1", "8192");
    ASSERT_FALSE(fat.empty());
    // A second FAT volume with other bytes, so reads show which drive they came from.
    Bytes other = MakeVolume("mkfs.fat -C --invariant -F 12 -n OTHER", "1440");
    ASSERT_FALSE(other.empty());
    const std::uint8_t drive = AddMemoryDrive(fat);
    const std::uint8_t otherDrive = AddMemoryDrive(other);
    ASSERT_NE(drive, 0);

    TDeviceList list;
    int pumps = 0;
    list.ProcessMessagesHook = [&] { ++pumps; };
    TDevice* device = list.GetWindowsDrive(drive);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(pumps, 1);
    EXPECT_EQ(device->Kind, 1);
    EXPECT_EQ(device->Drive, drive);
    EXPECT_EQ(device->DriveType, DRIVE_REMOVABLE);
    EXPECT_EQ(device->TotalSectors, fat.size() / 512);
    EXPECT_EQ(device->BytesPerSector, 512);
    EXPECT_EQ(device->Partitioned, 0);
    EXPECT_TRUE(device->Name.empty());
    TLogDriveParams params;
    ASSERT_TRUE(GetLogDriveParams(drive, params));
    EXPECT_EQ(device->Flags & 1, params.Removable & 1);

    TDevice* again = list.GetWindowsDrive(drive);
    TDevice* second = list.GetWindowsDrive(otherDrive);
    ASSERT_NE(again, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(again, device);
    EXPECT_EQ(list.Count(), 3u);

    // Each device reads its own drive's sectors.
    Bytes sector(512);
    ASSERT_TRUE(device->ReadSec(0, 1, sector.data(), true));
    EXPECT_EQ(sector, Bytes(fat.begin(), fat.begin() + 512));
    ASSERT_TRUE(second->ReadSec(1, 1, sector.data(), false));
    EXPECT_EQ(sector, Bytes(other.begin() + 512, other.begin() + 1024));

    list.clear();
    EXPECT_EQ(list.Count(), 0u);
}

TEST(Devices, OnlyFATAndExFATVolumesGetADevice) {
    TDeviceList list;
    int pumps = 0;
    list.ProcessMessagesHook = [&] { ++pumps; };

    // A drive number that the table does not know has no parameters: no message pump either.
    EXPECT_EQ(list.GetWindowsDrive(255), nullptr);
    EXPECT_EQ(pumps, 0);

    const std::uint8_t blank = AddMemoryDrive(Bytes(1024 * 512));
    ASSERT_NE(blank, 0);
    EXPECT_EQ(list.GetWindowsDrive(blank), nullptr);

    struct Other {
        const char* tool;
        const char* command;  // given the image's path
        const char* size;
    };
    const Other others[] = {{"mkfs.ext2", "mkfs.ext2 -q -F", "1024"}};
    for (const auto& other : others) {
        SCOPED_TRACE(other.tool);
        if (!HaveTool(other.tool)) continue;
        Bytes volume = MakeVolume(other.command, other.size);
        ASSERT_FALSE(volume.empty());
        const std::uint8_t otherDrive = AddMemoryDrive(volume);
        EXPECT_EQ(list.GetWindowsDrive(otherDrive), nullptr);
    }
    EXPECT_EQ(list.Count(), 0u);

    // exFAT is read by the folder based method too: its volumes get a device.
    if (HaveTool("mkfs.exfat")) {
        Bytes exfat = MakeVolume("sh -c 'truncate -s 4M \"$0\" && mkfs.exfat \"$0\"'", "");
        ASSERT_FALSE(exfat.empty());
        EXPECT_NE(list.GetWindowsDrive(AddMemoryDrive(exfat)), nullptr);
    }
}

// Objects that count their destruction.
struct Counters {
    int drives = 0, directories = 0, files = 0;
};

class CountedFile : public TCustomFile {
public:
    explicit CountedFile(Counters& c) : counters(c) {}
    ~CountedFile() override { ++counters.files; }
    bool Rename(const std::string&) override { return true; }
    std::string GetPath(const TCustomDirectory*) const override { return {}; }
    void ChangeListViewItem(TListItem&) const override {}
    void MarkRecovered() override {}
    bool SaveCopy(const std::string&, std::string*) override { return false; }
    bool LastSaveWasDiskFull() const override { return false; }
    Counters& counters;
};

class CountedDirectory : public TCustomDirectory {
public:
    explicit CountedDirectory(Counters& c) : counters(c) {}
    ~CountedDirectory() override { ++counters.directories; }
    std::string GetPath(const TCustomDirectory*) const override { return {}; }
    bool Rename(const std::string&) override { return true; }
    void AddDirToTree(TTreeView*, TTreeNode*, bool) override {}
    void ChangeListViewItem(TListItem&) const override {}
    void AddChildrenToListView(TListView&, bool) override {}
    std::int32_t CompareChildren(const TListItem&, const TListItem&, std::int32_t) const override { return 0; }
    bool ChildIsSubDir() const override { return false; }

    // Adds a read subdirectory holding `files` files.
    CountedDirectory* AddSubdirectory(int files) {
        if (!Children) Children = std::make_shared<TChildList>();
        auto sub = std::make_unique<CountedDirectory>(counters);
        sub->Children = std::make_shared<TChildList>();
        for (int i = 0; i < files; ++i) sub->Children->push_back(std::make_unique<CountedFile>(counters));
        auto* raw = sub.get();
        Children->push_back(std::move(sub));
        return raw;
    }
    Counters& counters;
};

class CountedDrive : public TCustomDrive {
public:
    explicit CountedDrive(Counters& c) : counters(c) {
        for (auto* dir : {&RootDir, &DeletedDir, &LostDir, &SearchedDir}) *dir = std::make_unique<CountedDirectory>(c);
        static_cast<CountedDirectory&>(*RootDir).AddSubdirectory(2);
    }
    ~CountedDrive() override { ++counters.drives; }
    bool ReadSec(std::int32_t, std::uint16_t, void*, bool) override { return false; }
    bool MountDrive(bool) override { return false; }
    void FindLostData() override {}
    void AddDriveToTree(TTreeView*) override {}
    void AddListViewColumns(TListView&) override {}
    bool AnalyzeTotalFile(bool, bool, bool, std::int32_t&, std::int32_t&) override { return true; }
    bool FindFiles(bool, bool, bool) override { return true; }
    void SaveListViewItems(TListView&) override {}
    void SetLostSearchOption(bool) override {}
    Counters& counters;
};

TEST(DriveList, ClearFreesEveryDriveWithItsStartDirectoriesAndTheirTrees) {
    Counters counted;
    {
        TDriveList list{{}};
        list.Add(std::make_unique<CountedDrive>(counted));
        list.Add(std::make_unique<CountedDrive>(counted));
        list.clear();
        EXPECT_EQ(list.Count(), 0u);
        EXPECT_EQ(counted.drives, 2);
        // Four start directories and one read subdirectory per drive, two files in each subdirectory.
        EXPECT_EQ(counted.directories, 2 * 5);
        EXPECT_EQ(counted.files, 2 * 2);
        list.Add(std::make_unique<CountedDrive>(counted));
    }
    EXPECT_EQ(counted.drives, 3);
}

TEST(CustomDirectory, ChildrenAreOwnedAndFreed) {
    Counters counted;
    CountedDirectory unread(counted);
    unread.DeleteChildren();
    EXPECT_EQ(unread.Children, nullptr);

    {
        CountedDirectory dir(counted);
        CountedDirectory* sub = dir.AddSubdirectory(3);
        sub->AddSubdirectory(1);
        dir.DeleteChildren();
        ASSERT_NE(dir.Children, nullptr);  // the list stays, empty
        EXPECT_TRUE(dir.Children->empty());
        EXPECT_EQ(counted.directories, 2);
        EXPECT_EQ(counted.files, 4);

        dir.AddSubdirectory(2)->AddSubdirectory(5);
    }
    // Destroying a directory frees its whole subtree and itself.
    EXPECT_EQ(counted.directories, 2 + 3);
    EXPECT_EQ(counted.files, 4 + 7);
}

TEST(CustomDirectory, DuplicateSharesTheChildrenList) {
    Counters counted;
    CountedDirectory dir(counted), copy(counted), parent(counted);
    dir.Name = "DCIM";
    dir.State = StateDeleted;
    dir.Condition = 2;
    dir.Mark = 1;
    dir.Parent = &parent;
    dir.AddSubdirectory(1);
    dir.duplicate(copy);
    EXPECT_EQ(copy.Name, "DCIM");
    EXPECT_EQ(copy.State, StateDeleted);
    EXPECT_EQ(copy.Condition, 2);
    EXPECT_EQ(copy.Mark, 1);
    EXPECT_EQ(copy.Parent, &parent);
    EXPECT_EQ(copy.Children, dir.Children);

    CountedFile file(counted), fileCopy(counted);
    file.Name = "\xE5MG.JPG";
    file.Size = 1234;
    file.State = StateDeleted;
    file.Condition = 1;
    file.Parent = &dir;
    file.duplicate(fileCopy);
    EXPECT_EQ(fileCopy.Name, file.Name);
    EXPECT_EQ(fileCopy.Size, 0u);  // the size is the implementation's to copy
    EXPECT_EQ(fileCopy.Condition, 1);
    EXPECT_EQ(fileCopy.Parent, &dir);
}

}  // namespace
}  // namespace quorvane
