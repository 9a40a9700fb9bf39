#include "exfat/exfat_objects.h"

#include "exfat/exfat_saved_names.h"

#include <array>

namespace quorvane {

namespace {

// Windows-1252 characters of the bytes 0x80..0x9F (0: none).
constexpr std::array<char16_t, 32> Cp1252High{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char EightBitChar(char32_t C) {
    if (C < 0x80 || (C >= 0xA0 && C < 0x100)) return static_cast<char>(C);
    for (std::size_t i = 0; i < Cp1252High.size(); ++i) {
        if (Cp1252High[i] != 0 && Cp1252High[i] == C) return static_cast<char>(0x80 + i);
    }
    return '_';
}

void FillItem(TListItem& Item, const TObject* Object, const std::string& Name, std::string Size,
              std::uint32_t Cluster) {
    Item.Data = Object;
    Item.Caption = Name;
    if (Item.SubItems.size() < 3) Item.SubItems.resize(3);
    Item.SubItems[0] = std::move(Size);
    Item.SubItems[2] = std::to_string(Cluster);
}

}  // namespace

std::string ExFATEightBitName(const std::string& Utf8Name) {
    std::string out;
    for (std::size_t i = 0; i < Utf8Name.size();) {
        const auto b = static_cast<unsigned char>(Utf8Name[i]);
        const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = n == 1 ? b : n == 2 ? b & 0x1F : n == 3 ? b & 0x0F : b & 0x07;
        for (std::size_t k = 1; k < n && i + k < Utf8Name.size(); ++k)
            c = c << 6 | (static_cast<unsigned char>(Utf8Name[i + k]) & 0x3F);
        out += EightBitChar(c);
        i += n;
    }
    return out;
}

std::string TExFATDirectory::GetPath(const TCustomDirectory* Upto) const {
    std::string path;
    for (const TCustomDirectory* d = this; d && d != Upto; d = d->Parent)
        path = path.empty() ? d->Name : d->Name + "\\" + path;
    return path;
}

bool TExFATDirectory::Rename(const std::string& NewName) {
    Name = NewName;
    return true;
}

void TExFATDirectory::ChangeListViewItem(TListItem& Item) const { FillItem(Item, this, Name, "", Extent.FirstCluster); }

std::int32_t TExFATDirectory::CompareChildren(const TListItem& Item1, const TListItem& Item2, std::int32_t) const {
    const bool dir1 = dynamic_cast<const TCustomDirectory*>(Item1.Data) != nullptr;
    const bool dir2 = dynamic_cast<const TCustomDirectory*>(Item2.Data) != nullptr;
    if (dir1 != dir2) return dir1 ? -1 : 1;
    return Item1.Caption < Item2.Caption ? -1 : Item2.Caption < Item1.Caption ? 1 : 0;
}

bool TExFATDirectory::ChildIsSubDir() const {
    if (!Children) return false;
    for (const auto& child : *Children)
        if (dynamic_cast<const TCustomDirectory*>(child.get())) return true;
    return false;
}

void TExFATFile::duplicate(TCustomFile& Target) const {
    TCustomFile::duplicate(Target);
    Target.Size = Size;
    if (auto* target = dynamic_cast<TExFATFile*>(&Target)) {
        target->Extent = Extent;
        target->UnicodeName = UnicodeName;
        target->Modified = Modified;
        target->ModifiedUtcOffset = ModifiedUtcOffset;
    }
}

bool TExFATFile::Rename(const std::string& NewName) {
    Name = NewName;
    UnicodeName = NewName;
    return true;
}

std::string TExFATFile::GetPath(const TCustomDirectory* Upto) const {
    return Parent && Parent != Upto ? Parent->GetPath(Upto) : std::string();
}

void TExFATFile::ChangeListViewItem(TListItem& Item) const {
    FillItem(Item, this, Name, std::to_string(Extent.Length), Extent.FirstCluster);
}

std::uint64_t TExFATFile::DataKey() const {
    if (Extent.FirstCluster < 2 || Extent.Length == 0) return 0;
    return std::uint64_t{Extent.FirstCluster} << 32 | (Extent.Length & 0xFFFFFFFFu);
}

std::uint64_t TExFATFile::FirstDeviceSector() const {
    const auto* drive = dynamic_cast<const TExFATdrive*>(Drive);
    if (drive == nullptr || !drive->IsValidCluster(Extent.FirstCluster)) return 0;
    return drive->Cluster2Sec(Extent.FirstCluster) + drive->StartSector;
}

std::string TExFATFile::HostFileName() const { return ExFATSavedFileName(UnicodeName.empty() ? Name : UnicodeName); }

std::int64_t TExFATFile::ModifiedTime() const { return ExFATTimestampSeconds(Modified, ModifiedUtcOffset); }

}  // namespace quorvane
