#pragma once
// The directory and file objects of an exFAT drive's tree, made from directory entry sets. A
// directory reads its entry sets only when asked and owns the objects made from them; deleted sets
// become objects too, marked in State.
#include "disk/drives.h"
#include "exfat/exfat_drive.h"
#include "exfat/exfat_entry_set.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quorvane {


// State value of the directories and files that the lost data search found.
inline constexpr std::uint8_t ExFATStateLost = 2;
// Bounds of the walks: entry sets taken from one directory, and the depth of nested directories
// a visit descends to.
inline constexpr std::uint32_t ExFATMaxDirectorySets = 65536;
inline constexpr int ExFATMaxDirectoryDepth = 128;

class TExFATDirectory : public TCustomDirectory {
public:
    std::string GetPath(const TCustomDirectory* Upto) const override;
    bool Rename(const std::string& NewName) override;
    void AddDirToTree(TTreeView*, TTreeNode*, bool) override {}
    void ChangeListViewItem(TListItem& Item) const override;
    void AddChildrenToListView(TListView&, bool) override {}
    // Directories before files, then by caption.
    std::int32_t CompareChildren(const TListItem& Item1, const TListItem& Item2, std::int32_t Column) const override;
    bool ChildIsSubDir() const override;

    // Visits the children (reading them first when Children is null, and freeing them again at
    // the end of the visit): Callback for each, and with Recursive the visit of each subdirectory
    // right after its own callback. A directory reached a second time in one visit, or deeper than
    // ExFATMaxDirectoryDepth, is passed over. False when a callback returned false.
    bool ForEachChild(const TForEachChildCallback& Callback, bool IncludeDeleted, bool OnlyDeleted, bool Recursive,
                      std::uint32_t UserData) override;
    // Reads the entry sets into a new Children list. Without IncludeDeleted only live sets; with
    // OnlyDeleted only deleted files (directories are always taken, so that a walk for deleted
    // files descends through live ones).
    void AddChildren(bool IncludeDeleted, bool OnlyDeleted);

    TExFATExtent Extent;
    std::string UnicodeName;  // the name as the entry set spells it, UTF-8
};

class TExFATFile : public TCustomFile {
public:
    void duplicate(TCustomFile& Target) const override;
    bool Rename(const std::string& NewName) override;
    std::string GetPath(const TCustomDirectory* Upto) const override;
    void ChangeListViewItem(TListItem& Item) const override;
    void MarkRecovered() override { InRecoverList = true; }
    // Copies Extent.Length bytes (the bytes past Extent.ValidLength as zeros) into a new file in
    // Folder named after UnicodeName, made safe for the host; an existing file is never replaced.
    // True when the whole file was written.
    bool SaveCopy(const std::string& Folder, std::string* SavedPath) override;
    bool LastSaveWasDiskFull() const override;
    std::uint64_t DataKey() const override;
    std::uint64_t FirstDeviceSector() const override;
    std::int64_t ModifiedTime() const override;
    // UnicodeName made safe for the host (ExFATSavedFileName): the name SaveCopy writes.
    std::string HostFileName() const override;

    TExFATExtent Extent;
    std::string UnicodeName;
    std::uint32_t Modified = 0;
    std::uint8_t ModifiedUtcOffset = 0;
    bool InRecoverList = false;

private:
    int SaveError = 0;
};

// The program's 8-bit form of a name (Windows-1252, as FAT names are held): characters that code
// page lacks become '_'. Objects keep it in Name and the exact name in UnicodeName.
std::string ExFATEightBitName(const std::string& Utf8Name);

}  // namespace quorvane
