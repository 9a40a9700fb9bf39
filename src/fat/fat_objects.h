#pragma once
// The directory and file objects of a FAT drive's tree. A directory reads its entries only when
// asked and owns the objects made from them; deleted entries become objects too, marked in State.
#include "disk/drives.h"

#include <cstdint>
#include <string>

namespace quorvane {

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

    std::uint8_t Attr = 0;
    std::uint32_t FirstCluster = 0;
    std::uint16_t Time = 0;  // last write time word, unconverted
    std::uint16_t Date = 0;  // last write date word, unconverted
    // Set when the scan driver has taken the file over for copying; the file search passes over it.
    std::uint8_t InRecoverList = 0;
};

}  // namespace quorvane
