#pragma once
// The directory and file objects of a FAT drive's tree. A directory reads its entries only when
// asked and owns the objects made from them; deleted entries become objects too, marked in State.
#include "disk/drives.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quorvane {


// State value of the directories and files that the lost data search found.
inline constexpr std::uint8_t StateLost = 2;

// Bounds of the walks over the tree: the entries read from one directory (a FAT directory holds at
// most 65536) and the depth of nested directories that a visit descends to (a FAT path of at most
// 260 characters has fewer levels).
inline constexpr std::uint32_t MaxDirectoryEntries = 65536;
inline constexpr int MaxDirectoryDepth = 128;

class TFATDirectory : public TCustomDirectory {
public:
    // Copies the base fields (the children list is shared) and the FAT fields.
    void duplicate(TCustomDirectory& Target) const override;
    // The names of this directory and its ancestors below Upto, outermost first, joined with "\".
    std::string GetPath(const TCustomDirectory* Upto) const override;
    bool Rename(const std::string& NewName) override;
    void AddDirToTree(TTreeView* TreeView, TTreeNode* Node, bool flag) override;
    void ChangeListViewItem(TListItem& Item) const override;
    void AddChildrenToListView(TListView& ListView, bool flag) override;
    // Directories before files; column 0 by caption, columns 1 and 3 as numbers, others as text.
    std::int32_t CompareChildren(const TListItem& Item1, const TListItem& Item2,
                                 std::int32_t Column) const override;
    bool ChildIsSubDir() const override;

    // Visits the children (reading them first when Children is null, and freeing them again at the
    // end of the visit): Callback for each, and with Recursive the visit of each subdirectory right
    // after its own callback. A directory reached a second time in one visit (a loop in the tree,
    // or two entries for one directory) is passed over, and so is a level deeper than
    // MaxDirectoryDepth. False when a callback returned false; true for a directory without children.
    bool ForEachChild(const TForEachChildCallback& Callback, bool IncludeDeleted, bool OnlyDeleted, bool Recursive,
                      std::uint32_t UserData) override;

    // Reads the entries into a new Children list. Without IncludeDeleted only live entries; with
    // OnlyDeleted only deleted files (directories are always taken, so that a walk for deleted
    // files descends through live ones). A deleted directory is taken only when its first cluster
    // still starts with "." and "..". The "." and ".." entries are left out.
    void AddChildren(bool IncludeDeleted, bool OnlyDeleted);
    // True when the directory holds a subdirectory other than "." and "..".
    bool SubDirFound(bool WithDeleted);

    std::uint32_t FirstCluster = 0;  // 0 = the directory is a run of sectors
    std::uint32_t FirstSector = 0;   // used when FirstCluster is 0
    std::uint16_t Reserved1 = 0;     // never filled; carried by duplicate
    std::uint16_t Reserved2 = 0;
};

class TFATFile : public TCustomFile {
public:
    // Copies the base fields and Attr, FirstCluster, Time, Date and Size; not InRecoverList.
    void duplicate(TCustomFile& Target) const override;
    bool Rename(const std::string& NewName) override;
    // The names of the file's ancestors below Upto (not the file's own name).
    std::string GetPath(const TCustomDirectory* Upto) const override;
    void ChangeListViewItem(TListItem& Item) const override;

    // Copies the file's bytes into a new file in Folder, named after the file: ReplaceDeletedChar,
    // then made safe for the host (MediumNameToFileName; no separators, no "." or "..", UTF-8, at
    // most SavedNameMaxBytes bytes). An existing file is never replaced: when the name is taken,
    // " (2)", " (3)", ... is put before the extension. Nothing is created outside Folder.
    //
    // FATNo is passed to BlockRead (the drive's ActiveFAT: 0 takes consecutive clusters). True when
    // the file was written and kept with every byte the reader delivered (a chain that ends early
    // gives a shorter file). False when it could not be created, a read or write failed, the scan
    // driver's Stopped flag was set, or a file of Size > 0 gave no byte at all (no first cluster);
    // the partial file is erased then, and a failure is shown through
    // the engine's message hook (ShowFATMessage), followed by the scan driver's ProgressStopTime.
    // *SavedPath receives the full path of the kept file, or "" when none was kept.
    // LastSaveError()/LastSaveWasDiskFull() tell why the last call failed.
    bool SaveTo(const std::string& Folder, std::uint8_t FATNo, std::string* SavedPath = nullptr);
    // errno of the last SaveTo's failure to create, write or close its file; 0 when there was none.
    int LastSaveError() const { return SaveError; }
    // True when the last SaveTo failed because the destination disk is full (ENOSPC, EDQUOT): a run
    // should stop then.
    bool LastSaveWasDiskFull() const override;
    // The first cluster and the size: a file is read from nothing else.
    std::uint64_t DataKey() const override;
    std::uint64_t FirstDeviceSector() const override;
    // The entry's write date and time, local time as FAT stores it.
    std::int64_t ModifiedTime() const override;
    void MarkRecovered() override { InRecoverList = 1; }
    // SaveTo along the drive's active FAT.
    bool SaveCopy(const std::string& Folder, std::string* SavedPath) override;

    std::uint8_t Attr = 0;
    std::uint32_t FirstCluster = 0;
    std::uint16_t Time = 0;  // last write time word, unconverted
    std::uint16_t Date = 0;  // last write date word, unconverted
    // Set when the scan driver has taken the file over for copying; the file search passes over it.
    std::uint8_t InRecoverList = 0;

private:
    int SaveError = 0;
};

}  // namespace quorvane
