#pragma once
// The tree and list controls that the drive, file and directory classes can fill. No window of
// this program holds such a control; the list types are kept as plain data so that the slots that
// take them can still be exercised, and the tree types stay opaque.
#include <string>
#include <vector>

namespace quorvane {

class TObject;

struct TListColumn {
    std::string Caption;
    int Width = 0;
};

struct TListItem {
    std::string Caption;
    std::vector<std::string> SubItems;
    const TObject* Data = nullptr;  // the file or directory the item shows
};

struct TListView {
    std::vector<TListColumn> Columns;
    std::vector<TListItem> Items;
};

struct TTreeView;
struct TTreeNode;

}  // namespace quorvane
