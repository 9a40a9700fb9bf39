// Directory objects: reading entries into children, the conditions of deleted entries, and visits
// of a subtree that stop, free what they read and end on loops.
#include "fat/fat_image_builder.h"
#include "fat/fat_objects.h"
#include "fat/fat_recording_scan.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace quorvane {
namespace {

using namespace testing;

// Name -> "d" or "f", with "*" for a deleted entry.
std::map<std::string, std::string> Listing(const TFATDirectory& dir) {
    std::map<std::string, std::string> out;
    if (!dir.Children) return out;
    for (const auto& child : *dir.Children) {
        if (auto* d = dynamic_cast<TFATDirectory*>(child.get()))
            out[d->Name] = std::string("d") + (d->State & StateDeleted ? "*" : "");
        else if (auto* f = dynamic_cast<TFATFile*>(child.get()))
            out[f->Name] = std::string("f") + (f->State & StateDeleted ? "*" : "");
    }
    return out;
}

template <typename T>
T* Child(const TFATDirectory& dir, const std::string& name) {
    for (const auto& child : *dir.Children) {
        auto* t = dynamic_cast<T*>(child.get());
        if (t && t->Name == name) return t;
    }
    return nullptr;
}

// A FAT12 card: the root holds a label, the live file A.JPG (long name "Alpha photo.jpg"), the
// deleted file IMG_0002.JPG, the live directory DCIM, a deleted directory OLD whose cluster still
// starts with "." and "..", and a deleted directory GONE whose cluster now holds picture data.
struct RootCard {
    RootCard() : image(FatLayout::Fat12(200)) {
        DirSlot root = image.Root();
        image.Put(root, ShortEntry("TESTCARD   ", faVolumeLabel, 0, 0));
        image.AddFile(root, "ALPHAP~1JPG", 2, Pattern(1500, 1), "Alpha photo.jpg");
        image.Put(root, Deleted(ShortEntry("IMG_0002JPG", faArchive, 10, 700)));
        DirSlot dcim = image.AddDir(root, "DCIM       ", 20);
        image.AddFile(dcim, "IMG_0003JPG", 21, Pattern(600, 3));
        image.Put(dcim, Deleted(ShortEntry("IMG_0004JPG", faArchive, 30, 600)));
        // OLD: its cluster still holds "." and ".."; GONE: its cluster was reused for data.
        image.Put(root, Deleted(ShortEntry("OLD        ", faDirectory, 40, 0)));
        DirSlot old = image.Dir({40});
        image.Put(old, ShortEntry(".          ", faDirectory, 40, 0));
        image.Put(old, ShortEntry("..         ", faDirectory, 0, 0));
        image.Put(root, Deleted(ShortEntry("GONE       ", faDirectory, 50, 0)));
        image.WriteData(50, Pattern(512, 9));
        mounted = Mount(image);
    }
    TFATDirectory& Root() { return *mounted.drive->FATRootDir(); }

    FatImage image;
    MountedImage mounted;
};

TEST(FatDirectoryChildren, LiveAndDeletedEntriesByOption) {
    struct Case {
        const char* name;
        bool includeDeleted, onlyDeleted;
        std::map<std::string, std::string> expected;
    } cases[] = {
        {"live entries", false, false, {{"Alpha photo.jpg", "f"}, {"DCIM", "d"}}},
        {"deleted files, directories to descend through",
         true,
         true,
         {{"\xE5MG_0002.JPG", "f*"}, {"DCIM", "d"}, {"\xE5LD", "d*"}}},
        {"everything", true, false, {{"Alpha photo.jpg", "f"}, {"\xE5MG_0002.JPG", "f*"}, {"DCIM", "d"}, {"\xE5LD", "d*"}}},
    };
    RootCard card;
    ASSERT_TRUE(card.mounted.mounted);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        card.Root().AddChildren(c.includeDeleted, c.onlyDeleted);
        EXPECT_EQ(Listing(card.Root()), c.expected);
    }
    // "." and ".." of a subdirectory are not children.
    auto* dcim = Child<TFATDirectory>(card.Root(), "DCIM");
    ASSERT_NE(dcim, nullptr);
    dcim->AddChildren(true, false);
    EXPECT_EQ(Listing(*dcim), (std::map<std::string, std::string>{{"IMG_0003.JPG", "f"}, {"\xE5MG_0004.JPG", "f*"}}));
}

TEST(FatDirectoryChildren, ObjectsCarryTheEntryFields) {
    FatImage image(FatLayout::Fat32(70000));
    DirSlot root = image.Root();
    // A first cluster above 65535 needs the high word of the entry.
    image.Put(root, ShortEntry("BIG     JPG", faArchive | faReadOnly, 66000, 123456, 0x5A21, 0x3A8F));
    image.Put(root, ShortEntry("SUB        ", faDirectory, 66100, 0));
    auto m = Mount(image);
    ASSERT_TRUE(m.mounted);
    TFATDirectory& rootDir = *m.drive->FATRootDir();
    rootDir.AddChildren(false, false);

    auto* file = Child<TFATFile>(rootDir, "BIG.JPG");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->FirstCluster, 66000u);
    EXPECT_EQ(file->Size, 123456u);
    EXPECT_EQ(file->Attr, faArchive | faReadOnly);
    EXPECT_EQ(file->Time, 0x5A21);
    EXPECT_EQ(file->Date, 0x3A8F);
    EXPECT_EQ(file->Drive, m.drive.get());
    EXPECT_EQ(file->Parent, &rootDir);
    EXPECT_EQ(file->State, 0);
    EXPECT_EQ(file->Condition, 0);
    EXPECT_EQ(file->InRecoverList, 0);

    auto* sub = Child<TFATDirectory>(rootDir, "SUB");
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->FirstCluster, 66100u);
    EXPECT_EQ(sub->FirstSector, 0u);
    EXPECT_EQ(sub->Parent, &rootDir);
    EXPECT_FALSE(sub->Children);
}

TEST(FatDirectoryChildren, ConditionOfDeletedEntries) {
    struct Case {
        const char* name;
        std::uint32_t cluster;
        std::uint8_t condition;
    } cases[] = {
        {"first cluster still free", 30, 1},
        {"first cluster taken again", 60, 2},
        {"no first cluster", 0, 2},
        {"first cluster beyond the volume", 5000, 2},
    };
    FatImage image(FatLayout::Fat12(200));
    image.Chain({60, 61});  // a newer file took cluster 60
    DirSlot root = image.Root();
    for (const auto& c : cases) {
        image.Put(root, Deleted(ShortEntry("X       JPG", faArchive, c.cluster, 100)));
        image.Put(root, Deleted(ShortEntry("D          ", faDirectory, c.cluster, 0)));
    }
    auto m = Mount(image);
    TFATDirectory& rootDir = *m.drive->FATRootDir();
    rootDir.AddChildren(true, true);
    ASSERT_EQ(rootDir.Children->size(), std::size(cases));  // no directory passes: none starts with "."
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        auto* file = dynamic_cast<TFATFile*>((*rootDir.Children)[i].get());
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->Condition, cases[i].condition);
        EXPECT_EQ(file->State & StateDeleted, StateDeleted);
    }
}

TEST(FatDirectoryChildren, SubDirFound) {
    RootCard card;
    EXPECT_TRUE(card.Root().SubDirFound(false));
    auto* dcim = [&] {
        card.Root().AddChildren(false, false);
        return Child<TFATDirectory>(card.Root(), "DCIM");
    }();
    ASSERT_NE(dcim, nullptr);
    EXPECT_FALSE(dcim->SubDirFound(true)) << "only files and the dot entries";

    FatImage image(FatLayout::Fat12(200));
    DirSlot root = image.Root();
    image.AddFile(root, "A       JPG", 2, Pattern(100, 1));
    image.Put(root, Deleted(ShortEntry("OLD        ", faDirectory, 40, 0)));
    auto m = Mount(image);
    EXPECT_FALSE(m.drive->FATRootDir()->SubDirFound(false));
    EXPECT_TRUE(m.drive->FATRootDir()->SubDirFound(true));
}

// A visit that records the names it is handed, and answers false at a chosen one.
struct NameRecorder {
    std::vector<std::string> names;
    std::string stopAt;
    TForEachChildCallback Callback() {
        return [this](TObject& item, std::uint32_t) {
            std::string name = dynamic_cast<TCustomDirectory*>(&item) ? dynamic_cast<TCustomDirectory&>(item).Name
                                                                      : dynamic_cast<TCustomFile&>(item).Name;
            names.push_back(name);
            return name != stopAt;
        };
    }
};

TEST(FatDirectoryVisit, StopsWhereTheCallbackSaysAndFreesWhatItRead) {
    FatImage image(FatLayout::Fat12(200));
    DirSlot root = image.Root();
    DirSlot dcim = image.AddDir(root, "DCIM       ", 20);
    DirSlot canon = image.AddDir(dcim, "100CANON   ", 21, 20);
    image.AddFile(canon, "IMG_0001JPG", 30, Pattern(100, 1));
    image.AddFile(dcim, "IMG_0002JPG", 31, Pattern(100, 2));
    image.AddFile(root, "IMG_0003JPG", 32, Pattern(100, 3));
    DirSlot empty = image.AddDir(root, "EMPTY      ", 22);
    (void)empty;
    image.AddFile(root, "IMG_0004JPG", 33, Pattern(100, 4));
    auto m = Mount(image);
    TFATDirectory& rootDir = *m.drive->FATRootDir();

    struct Case {
        const char* name;
        std::string stopAt;
        bool recursive;
        std::vector<std::string> visited;
        bool result;
    } cases[] = {
        {"whole tree in depth-first order, through an empty directory",
         "",
         true,
         {"DCIM", "100CANON", "IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "EMPTY", "IMG_0004.JPG"},
         true},
        {"false for the second item ends the visit", "100CANON", true, {"DCIM", "100CANON"}, false},
        {"false deep down ends the outer levels too",
         "IMG_0001.JPG",
         true,
         {"DCIM", "100CANON", "IMG_0001.JPG"},
         false},
        {"not recursive", "", false, {"DCIM", "IMG_0003.JPG", "EMPTY", "IMG_0004.JPG"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NameRecorder rec;
        rec.stopAt = c.stopAt;
        EXPECT_EQ(rootDir.ForEachChild(rec.Callback(), false, false, c.recursive, 0), c.result);
        EXPECT_EQ(rec.names, c.visited);
        EXPECT_FALSE(rootDir.Children) << "the children read for the visit are freed";
    }
}

TEST(FatDirectoryVisit, PathsBelowTheStartDirectory) {
    FatImage image(FatLayout::Fat12(200));
    DirSlot root = image.Root();
    DirSlot dcim = image.AddDir(root, "DCIM       ", 20);
    DirSlot canon = image.AddDir(dcim, "100CANON   ", 21, 20);
    image.AddFile(canon, "IMG_0001JPG", 30, Pattern(100, 1));
    image.Put(root, Deleted(ShortEntry("OLD        ", faDirectory, 40, 0)));
    DirSlot old = image.Dir({40});
    image.Put(old, ShortEntry(".          ", faDirectory, 40, 0));
    image.Put(old, ShortEntry("..         ", faDirectory, 0, 0));
    image.Put(old, Deleted(ShortEntry("IMG_0002JPG", faArchive, 50, 100)));
    auto m = Mount(image);
    TFATDirectory& rootDir = *m.drive->FATRootDir();

    std::map<std::string, std::string> paths;
    rootDir.ForEachChild(
        [&](TObject& item, std::uint32_t) {
            if (auto* d = dynamic_cast<TFATDirectory*>(&item)) paths[d->Name] = d->GetPath(&rootDir);
            if (auto* f = dynamic_cast<TFATFile*>(&item)) paths[f->Name] = f->GetPath(&rootDir);
            return true;
        },
        true, false, true, 0);
    EXPECT_EQ(paths, (std::map<std::string, std::string>{{"DCIM", "DCIM"},
                                                        {"100CANON", "DCIM\\100CANON"},
                                                        {"IMG_0001.JPG", "DCIM\\100CANON"},
                                                        {"\xE5LD", "_LD"},
                                                        {"\xE5MG_0002.JPG", "_LD"}}));
}

TEST(FatDirectoryVisit, StartDirectoriesWithListsKeepTheirChildren) {
    FatImage image(FatLayout::Fat12(200));
    DirSlot root = image.Root();
    DirSlot dcim = image.AddDir(root, "DCIM       ", 20);
    image.AddFile(dcim, "IMG_0001JPG", 30, Pattern(100, 1));
    auto m = Mount(image);
    TFATDirectory& lost = *m.drive->FATLostDir();
    auto dir = std::make_unique<TFATDirectory>();
    dir->Name = "cluster 20";
    dir->Drive = m.drive.get();
    dir->FirstCluster = 20;
    dir->Parent = &lost;
    TFATDirectory* found = dir.get();
    lost.Children->push_back(std::move(dir));

    NameRecorder rec;
    EXPECT_TRUE(lost.ForEachChild(rec.Callback(), false, false, true, 0));
    EXPECT_EQ(rec.names, (std::vector<std::string>{"cluster 20", "IMG_0001.JPG"}));
    ASSERT_TRUE(lost.Children);
    EXPECT_EQ(lost.Children->size(), 1u);
    EXPECT_FALSE(found->Children) << "the lost directory's own children were read for the visit only";
}

// Trees that a damaged card can hold: each visit ends, and visits each directory once.
TEST(FatDirectoryVisit, EndsOnLoopsAndDeepNesting) {
    struct Case {
        const char* name;
        std::function<void(FatImage&)> build;
        std::size_t maxVisited;
    };
    const std::vector<Case> cases = {
        {"subdirectory entry pointing at its own directory",
         [](FatImage& img) {
             DirSlot root = img.Root();
             DirSlot a = img.AddDir(root, "A          ", 20);
             img.Put(a, ShortEntry("SELF       ", faDirectory, 20, 0));
             img.AddFile(a, "IMG_0001JPG", 30, Pattern(100, 1));
         },
         4},
        {"two directories pointing at each other",
         [](FatImage& img) {
             DirSlot root = img.Root();
             DirSlot a = img.AddDir(root, "A          ", 20);
             DirSlot b = img.AddDir(a, "B          ", 21, 20);
             img.Put(b, ShortEntry("BACK       ", faDirectory, 20, 0));
         },
         3},
        {"directory chain that loops on itself",
         [](FatImage& img) {
             DirSlot root = img.Root();
             DirSlot a = img.AddDir(root, "A          ", 20);
             // A full cluster, so that the walk goes on along the chain, back to cluster 20.
             for (std::uint32_t i = 0; i < 14; ++i) img.Put(a, ShortEntry("IMG_0001JPG", faArchive, 30 + i, 100));
             img.SetFat(20, 20);
         },
         15},
        {"entry naming cluster 0, which is the boot sector",
         [](FatImage& img) {
             DirSlot root = img.Root();
             img.Put(root, ShortEntry("ZERO       ", faDirectory, 0, 0));
         },
         1},
        {"nesting far deeper than a real tree",
         [](FatImage& img) {
             DirSlot parent = img.Root();
             for (std::uint32_t c = 20; c < 190; ++c) parent = img.AddDir(parent, "D          ", c, c == 20 ? 0 : c - 1);
         },
         std::size_t{MaxDirectoryDepth} + 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FatImage image(FatLayout::Fat12(200));
        image.Chain({2, 3});  // a used chain among the first clusters: the drive follows its FAT
        c.build(image);
        auto m = Mount(image);
        ASSERT_EQ(m.drive->ActiveFAT, 1);
        NameRecorder rec;
        EXPECT_TRUE(m.drive->FATRootDir()->ForEachChild(rec.Callback(), true, false, true, 0));
        EXPECT_LE(rec.names.size(), c.maxVisited);
        EXPECT_GE(rec.names.size(), 1u);
    }
}

TEST(FatDirectoryListView, SortsDirectoriesFirstThenByColumn) {
    TFATDirectory dirObject;
    TFATFile fileObject;
    auto item = [](const TObject* data, std::string caption, std::vector<std::string> sub) {
        TListItem i;
        i.Data = data;
        i.Caption = std::move(caption);
        i.SubItems = std::move(sub);
        return i;
    };
    const TListItem dirB = item(&dirObject, "b", {"", "", ""});
    const TListItem fileA = item(&fileObject, "a", {"9", "31.12.05", "100"});
    const TListItem fileC = item(&fileObject, "c", {"10", "01.01.06", "20"});
    struct Case {
        const char* name;
        const TListItem *first, *second;
        int column;
        int sign;
    } cases[] = {
        {"directory before file whatever the column", &dirB, &fileA, 0, -1},
        {"file after directory", &fileA, &dirB, 1, 1},
        {"captions", &fileA, &fileC, 0, -1},
        {"sizes as numbers, not text", &fileA, &fileC, 1, -1},
        {"dates by year first", &fileA, &fileC, 2, -1},
        {"clusters as numbers", &fileA, &fileC, 3, 1},
        {"equal", &fileA, &fileA, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int r = dirObject.CompareChildren(*c.first, *c.second, c.column);
        EXPECT_EQ((r > 0) - (r < 0), c.sign);
    }
}

}  // namespace
}  // namespace quorvane
