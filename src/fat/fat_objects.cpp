#include "fat/fat_objects.h"

#include <ctime>

#include "fat/fat_drive.h"
#include "fat/fat_formats.h"

#include <charconv>
#include <optional>
#include <tuple>

namespace quorvane {

namespace {

std::string SubItem(const TListItem& Item, std::size_t i) {
    return i < Item.SubItems.size() ? Item.SubItems[i] : std::string();
}

std::uint64_t NumberOf(const std::string& text) {
    std::uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;  // empty or unreadable counts as 0
}

// A date shown as day, month and two-digit year ("31.12.05"); nullopt when unreadable.
std::optional<std::tuple<int, int, int>> DateOf(const std::string& text) {
    std::string head = text.substr(0, 8);
    int parts[3];
    const char* p = head.data();
    const char* end = head.data() + head.size();
    for (int& part : parts) {
        auto [next, ec] = std::from_chars(p, end, part);
        if (ec != std::errc()) return std::nullopt;
        p = next < end ? next + 1 : next;
    }
    return std::tuple{parts[2], parts[1], parts[0]};
}

template <typename T>
std::int32_t Order(const T& a, const T& b) {
    return a < b ? -1 : b < a ? 1 : 0;
}

bool IsDirectoryItem(const TListItem& Item) { return dynamic_cast<const TCustomDirectory*>(Item.Data) != nullptr; }

void FillItem(TListItem& Item, const TObject* Object, const std::string& Name, std::string Size,
              std::uint32_t FirstCluster) {
    Item.Data = Object;
    Item.Caption = ReplaceDeletedChar(Name);
    if (Item.SubItems.size() < 3) Item.SubItems.resize(3);
    Item.SubItems[0] = std::move(Size);
    Item.SubItems[2] = std::to_string(FirstCluster);
}

}  // namespace

void TFATDirectory::duplicate(TCustomDirectory& Target) const {
    TCustomDirectory::duplicate(Target);
    if (auto* target = dynamic_cast<TFATDirectory*>(&Target)) {
        target->FirstCluster = FirstCluster;
        target->FirstSector = FirstSector;
        target->Reserved1 = Reserved1;
        target->Reserved2 = Reserved2;
    }
}

std::string TFATDirectory::GetPath(const TCustomDirectory* Upto) const {
    std::string path;
    for (const TCustomDirectory* d = this; d && d != Upto; d = d->Parent)
        path = path.empty() ? ReplaceDeletedChar(d->Name) : ReplaceDeletedChar(d->Name) + "\\" + path;
    return path;
}

bool TFATDirectory::Rename(const std::string& NewName) {
    Name = NewName;
    return true;
}

void TFATDirectory::AddDirToTree(TTreeView*, TTreeNode*, bool) {}

void TFATDirectory::ChangeListViewItem(TListItem& Item) const { FillItem(Item, this, Name, "", FirstCluster); }

void TFATDirectory::AddChildrenToListView(TListView&, bool) {}

std::int32_t TFATDirectory::CompareChildren(const TListItem& Item1, const TListItem& Item2,
                                            std::int32_t Column) const {
    const bool dir1 = IsDirectoryItem(Item1), dir2 = IsDirectoryItem(Item2);
    if (dir1 != dir2) return dir1 ? -1 : 1;
    switch (Column) {
        case 0: return Order(Item1.Caption, Item2.Caption);
        case 1:
        case 3: {
            auto i = static_cast<std::size_t>(Column - 1);
            return Order(NumberOf(SubItem(Item1, i)), NumberOf(SubItem(Item2, i)));
        }
        case 2: {
            auto d1 = DateOf(SubItem(Item1, 1)), d2 = DateOf(SubItem(Item2, 1));
            return d1 && d2 ? Order(*d1, *d2) : 0;
        }
        default:
            if (Column < 1) return 0;
            auto i = static_cast<std::size_t>(Column - 1);
            return Order(SubItem(Item1, i), SubItem(Item2, i));
    }
}

bool TFATDirectory::ChildIsSubDir() const {
    if (!Children) return false;
    for (const auto& child : *Children)
        if (dynamic_cast<const TCustomDirectory*>(child.get())) return true;
    return false;
}

void TFATFile::duplicate(TCustomFile& Target) const {
    TCustomFile::duplicate(Target);
    Target.Size = Size;
    if (auto* target = dynamic_cast<TFATFile*>(&Target)) {
        target->Attr = Attr;
        target->FirstCluster = FirstCluster;
        target->Time = Time;
        target->Date = Date;
    }
}

bool TFATFile::Rename(const std::string& NewName) {
    Name = NewName;
    return true;
}

std::string TFATFile::GetPath(const TCustomDirectory* Upto) const {
    return Parent && Parent != Upto ? Parent->GetPath(Upto) : std::string();
}

void TFATFile::ChangeListViewItem(TListItem& Item) const {
    FillItem(Item, this, Name, std::to_string(Size), FirstCluster);
}

std::uint64_t TFATFile::FirstDeviceSector() const {
    const auto* drive = dynamic_cast<const TFATdrive*>(Drive);
    if (drive == nullptr || !drive->IsValidCluster(FirstCluster)) return 0;
    return std::uint64_t{drive->Cluster2Sec(FirstCluster)} + drive->StartSector;
}

std::int64_t TFATFile::ModifiedTime() const {
    if (Date == 0) return 0;
    const TFATDate d = DecodeFATDate(Date);
    const TFATTime t = DecodeFATTime(Time);
    if (d.Month < 1 || d.Month > 12 || d.Day < 1 || d.Day > 31 || t.Hours > 23 || t.Minutes > 59 || t.Seconds2 > 29)
        return 0;
    std::tm tm{};
    tm.tm_year = d.Year - 1900;
    tm.tm_mon = d.Month - 1;
    tm.tm_mday = d.Day;
    tm.tm_hour = t.Hours;
    tm.tm_min = t.Minutes;
    tm.tm_sec = t.Seconds2 * 2;
    tm.tm_isdst = -1;  // the card's clock said local time, with or without summer time
    const std::time_t seconds = std::mktime(&tm);
    return seconds == static_cast<std::time_t>(-1) ? 0 : static_cast<std::int64_t>(seconds);
}

std::uint64_t TFATFile::DataKey() const {
    if (FirstCluster < 2 || Size == 0) return 0;
    return std::uint64_t{FirstCluster} << 32 | Size;
}

}  // namespace quorvane
