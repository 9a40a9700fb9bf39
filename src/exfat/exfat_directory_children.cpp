// Reading a directory's entry sets into child objects, and visiting a subtree of them.
#include "exfat/exfat_drive.h"
#include "exfat/exfat_objects.h"

#include <memory>
#include <set>
#include <span>

namespace quorvane {

namespace {

// 1 when a deleted entry's first cluster is still free in the bitmap, so that its data is most
// likely intact; 2 when the cluster has been taken again or the entry has none.
std::uint8_t DeletedCondition(const TExFATdrive& Drive, std::uint32_t Cluster) {
    return Drive.IsValidCluster(Cluster) && !Drive.ClusterAllocated(Cluster) ? 1 : 2;
}

TExFATExtent ExtentOf(const TExFATEntrySet& Set, bool Released) {
    TExFATExtent extent;
    extent.FirstCluster = Set.FirstCluster;
    extent.Length = Set.DataLength;
    extent.ValidLength = std::min(Set.ValidDataLength, Set.DataLength);
    extent.NoFatChain = Set.NoFatChain();
    extent.Released = Released;
    return extent;
}

std::unique_ptr<TObject> MakeChild(TExFATDirectory& Parent, TExFATdrive& Drive, const TExFATEntrySet& Set,
                                   bool IncludeDeleted, bool OnlyDeleted) {
    // What the live tree does not reach any more is read from released clusters.
    const bool released = Parent.Extent.Released || Set.Deleted;
    if (Set.IsDirectory()) {
        auto dir = std::make_unique<TExFATDirectory>();
        dir->Drive = &Drive;
        dir->Extent = ExtentOf(Set, released);
        dir->UnicodeName = Set.Name;
        dir->Name = ExFATEightBitName(Set.Name);
        dir->Parent = &Parent;
        if (Set.Deleted) {
            dir->State |= StateDeleted;
            dir->Condition = DeletedCondition(Drive, Set.FirstCluster);
        }
        return dir;
    }
    if (IncludeDeleted && OnlyDeleted && !Set.Deleted) return nullptr;
    auto file = std::make_unique<TExFATFile>();
    file->Drive = &Drive;
    file->Extent = ExtentOf(Set, released);
    file->Size = static_cast<std::uint32_t>(std::min<std::uint64_t>(Set.DataLength, 0xFFFFFFFFu));
    file->UnicodeName = Set.Name;
    file->Name = ExFATEightBitName(Set.Name);
    file->Modified = Set.Modified;
    file->ModifiedUtcOffset = Set.ModifiedUtcOffset;
    file->HasOwnName = true;
    file->Parent = &Parent;
    if (Set.Deleted) {
        file->State |= StateDeleted;
        file->Condition = DeletedCondition(Drive, Set.FirstCluster);
    }
    return file;
}

struct TVisit {
    const TForEachChildCallback& Callback;
    bool IncludeDeleted, OnlyDeleted, Recursive;
    std::uint32_t UserData;
    std::set<std::uint32_t> Entered;  // first clusters of the directories visited
};

bool VisitDirectory(TExFATDirectory& Dir, TVisit& Visit, int Depth) {
    const bool readHere = !Dir.Children;
    if (readHere) Dir.AddChildren(Visit.IncludeDeleted, Visit.OnlyDeleted);
    struct ReleaseChildren {
        TExFATDirectory& Dir;
        bool Active;
        ~ReleaseChildren() {
            if (!Active) return;
            Dir.DeleteChildren();
            Dir.Children.reset();
        }
    } release{Dir, readHere};
    const std::shared_ptr<TChildList> children = Dir.Children;
    if (!children) return true;
    for (std::size_t i = 0; i < children->size(); ++i) {
        TObject* child = (*children)[i].get();
        if (!child) continue;
        auto* subdir = dynamic_cast<TExFATDirectory*>(child);
        if (Visit.Recursive && subdir &&
            (Depth + 1 > ExFATMaxDirectoryDepth || !Visit.Entered.insert(subdir->Extent.FirstCluster).second))
            continue;  // a loop in the tree, two entries for one directory, or deeper than a real tree
        if (!Visit.Callback(*child, Visit.UserData)) return false;
        if (Visit.Recursive && subdir && !VisitDirectory(*subdir, Visit, Depth + 1)) return false;
    }
    return true;
}

}  // namespace

void TExFATDirectory::AddChildren(bool IncludeDeleted, bool OnlyDeleted) {
    auto list = std::make_shared<TChildList>();
    Children = list;
    auto* drive = dynamic_cast<TExFATdrive*>(Drive);
    if (!drive || !drive->IsValidCluster(Extent.FirstCluster)) return;
    const std::vector<std::uint8_t> bytes = drive->ReadDirectoryBytes(Extent);
    const std::span<const std::uint8_t> all(bytes);
    std::uint32_t sets = 0;
    for (std::size_t at = 0; at + ExFATEntryBytes <= bytes.size() && sets < ExFATMaxDirectorySets;) {
        if (bytes[at] == ExFATEndOfDirectory) break;
        TExFATEntrySet set;
        if (DecodeEntrySet(all.subspan(at), set) != EntrySetVerdict::Valid) {
            at += ExFATEntryBytes;
            continue;
        }
        at += std::size_t{set.Entries} * ExFATEntryBytes;
        ++sets;
        if (set.Deleted && !IncludeDeleted) continue;
        if (auto child = MakeChild(*this, *drive, set, IncludeDeleted, OnlyDeleted)) list->push_back(std::move(child));
    }
}

bool TExFATDirectory::ForEachChild(const TForEachChildCallback& Callback, bool IncludeDeleted, bool OnlyDeleted,
                                   bool Recursive, std::uint32_t UserData) {
    TVisit visit{Callback, IncludeDeleted, OnlyDeleted, Recursive, UserData, {}};
    visit.Entered.insert(Extent.FirstCluster);
    return VisitDirectory(*this, visit, 0);
}

}  // namespace quorvane
