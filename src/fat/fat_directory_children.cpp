// Reading a directory's entries into child objects, and visiting a subtree of them.
#include "fat/fat_analyser.h"
#include "fat/fat_cleared_high_word.h"
#include "fat/fat_drive.h"
#include "fat/fat_objects.h"

#include <algorithm>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace quorvane {

namespace {

// 1 when a deleted entry's first cluster is still free in the first FAT, so that its data is most
// likely intact; 2 when the cluster has been taken again or the entry has none.
std::uint8_t DeletedCondition(TFATdrive& Drive, std::uint32_t Cluster) {
    return Drive.IsValidCluster(Cluster) && ClusterType(Drive.FATType, Drive.GetFAT(Cluster, 0)) == ctFree ? 1 : 2;
}

bool IsDotName(const std::string& Name) { return Name == "." || Name == ".."; }

std::unique_ptr<TObject> MakeChild(TFATDirectory& Parent, TFATdrive& Drive, const TDirEntry& Entry,
                                   const std::string& Name, bool IncludeDeleted, bool OnlyDeleted) {
    const bool deleted = Entry.IsDeleted();
    if (Entry.IsDirectory()) {
        if (IsDotName(Name)) return nullptr;
        // A deleted entry's cluster may hold anything by now: it counts as a directory only while
        // the directory's own first entries are still there.
        if (deleted && !Drive.Analyser->IsDirC(Drive, Entry.FirstCluster(), 0)) return nullptr;
        auto dir = std::make_unique<TFATDirectory>();
        dir->Drive = &Drive;
        dir->FirstCluster = Entry.FirstCluster();
        dir->FirstSector = 0;
        dir->Name = Name;
        dir->Parent = &Parent;
        if (deleted) {
            dir->State |= StateDeleted;
            dir->Condition = DeletedCondition(Drive, dir->FirstCluster);
        }
        return dir;
    }
    // Volume labels, and long-name pieces that joined no name, carry the label bit.
    if (!Entry.IsFile()) return nullptr;
    if (IncludeDeleted && OnlyDeleted && !deleted) return nullptr;
    auto file = std::make_unique<TFATFile>();
    file->Drive = &Drive;
    file->FirstCluster = Entry.FirstCluster();
    file->Attr = Entry.Attr;
    file->Size = Entry.FileSize;
    file->Time = Entry.WriteTime;
    file->Date = Entry.WriteDate;
    file->Name = Name;
    file->Parent = &Parent;
    if (deleted) {
        file->State |= StateDeleted;
        file->Condition = DeletedCondition(Drive, file->FirstCluster);
    }
    return file;
}

// The high words of a folder's entries, for the deleted FAT32 entries that lost theirs.
class TEntryHighWords {
public:
    void Add(std::uint32_t Index, const TDirEntry& Entry) {
        if (Entry.FirstClusterHigh != 0 && !Entry.IsLongNamePiece()) Seen.push_back({Index, Entry.FirstClusterHigh});
    }
    void Suspect(std::uint32_t Index, TFATFile& File) {
        if (File.State & StateDeleted) Suspects.push_back({Index, &File});
    }
    // Tries each suspect's neighbours' high words, nearest entry first.
    void Repair(TFATdrive& Drive) {
        if (Drive.FATType != ftFAT32) return;
        for (const auto& [index, file] : Suspects) {
            // Sorted only for a file that needs the search: most deleted entries do not.
            const auto nearestFirst = [this, index = index] {
                std::vector<std::pair<std::uint32_t, std::uint16_t>> byDistance;
                for (const auto& [at, high] : Seen) byDistance.push_back({at > index ? at - index : index - at, high});
                std::stable_sort(byDistance.begin(), byDistance.end(),
                                 [](const auto& a, const auto& b) { return a.first < b.first; });
                std::vector<std::uint16_t> highs;
                for (const auto& [distance, high] : byDistance) {
                    if (std::find(highs.begin(), highs.end(), high) == highs.end()) highs.push_back(high);
                }
                return highs;
            };
            RepairClearedHighWord(Drive, *file, nearestFirst);
        }
    }

private:
    std::vector<std::pair<std::uint32_t, std::uint16_t>> Seen;
    std::vector<std::pair<std::uint32_t, TFATFile*>> Suspects;
};

// Cluster 0 with sector 0 would walk the boot sector and the FATs as if they were entries: a
// directory entry that names cluster 0 (other than "..") is damage, and leads nowhere.
bool HasEntries(const TFATDirectory& Dir) { return Dir.FirstCluster != 0 || Dir.FirstSector != 0; }

// What identifies a directory on the medium: its first cluster, or its first sector for a run of
// sectors.
std::pair<std::uint32_t, std::uint32_t> DirectoryKey(const TFATDirectory& Dir) {
    return Dir.FirstCluster != 0 ? std::pair{Dir.FirstCluster, 0u} : std::pair{0u, Dir.FirstSector};
}

// Records a subdirectory's first cluster as read by the running search; false when the search read
// it before, as the start or a later cluster of another directory.
bool EnteredCluster(TFATDirectory& Dir) {
    auto* drive = dynamic_cast<TFATdrive*>(Dir.Drive);
    return Dir.FirstCluster == 0 || drive == nullptr || drive->EnterDirCluster(Dir.FirstCluster);
}

struct TVisit {
    const TForEachChildCallback& Callback;
    bool IncludeDeleted, OnlyDeleted, Recursive;
    std::uint32_t UserData;
    std::set<std::pair<std::uint32_t, std::uint32_t>> Entered;
};

bool VisitDirectory(TFATDirectory& Dir, TVisit& Visit, int Depth) {
    const bool readHere = !Dir.Children;
    if (readHere) {
        Dir.AddChildren(Visit.IncludeDeleted, Visit.OnlyDeleted);
        if (!Dir.Children) return true;
    }
    // The children read for this visit are freed when it ends, however it ends.
    struct ReleaseChildren {
        TFATDirectory& Dir;
        bool Active;
        ~ReleaseChildren() {
            if (!Active) return;
            Dir.DeleteChildren();
            Dir.Children.reset();
        }
    } release{Dir, readHere};

    // The list object is held here, so that it outlives a callback that drops Dir.Children.
    const std::shared_ptr<TChildList> children = Dir.Children;
    const std::size_t count = children->size();
    bool result = true;
    for (std::size_t i = 0; i < count && i < children->size(); ++i) {
        TObject* child = (*children)[i].get();
        if (!child) continue;
        auto* subdir = dynamic_cast<TFATDirectory*>(child);
        if (Visit.Recursive && subdir && HasEntries(*subdir) &&
            (Depth + 1 > MaxDirectoryDepth || !Visit.Entered.insert(DirectoryKey(*subdir)).second ||
             !EnteredCluster(*subdir))) {
            continue;  // reached before in this visit (perhaps as part of another), or too deep to be a real tree
        }
        result = Visit.Callback(*child, Visit.UserData);
        if (!result) break;
        if (Visit.Recursive && subdir) {
            result = VisitDirectory(*subdir, Visit, Depth + 1);
            if (!result) break;
        }
    }
    return result;
}

}  // namespace

void TFATDirectory::AddChildren(bool IncludeDeleted, bool OnlyDeleted) {
    auto list = std::make_shared<TChildList>();
    Children = list;
    auto* drive = dynamic_cast<TFATdrive*>(Drive);
    if (!drive || !HasEntries(*this)) return;
    try {
        TDirCursor cursor(FirstCluster, FirstSector, 0);
        TEntryHighWords highWords;
        bool ok = true;
        for (std::uint32_t read = 0; ok && read < MaxDirectoryEntries; ++read) {
            // A fault in one entry costs that entry only.
            try {
                TDirEntry entry;
                std::string name;
                ok = drive->FindNextEntry(cursor, entry, name, IncludeDeleted);
                if (!ok) break;
                highWords.Add(read, entry);
                if (auto child = MakeChild(*this, *drive, entry, name, IncludeDeleted, OnlyDeleted)) {
                    if (auto* file = dynamic_cast<TFATFile*>(child.get()); file && entry.FirstClusterHigh == 0)
                        highWords.Suspect(read, *file);
                    list->push_back(std::move(child));
                }
            } catch (...) {
            }
        }
        highWords.Repair(*drive);
    } catch (...) {
        DeleteChildren();
        Children.reset();
    }
}

bool TFATDirectory::SubDirFound(bool WithDeleted) {
    auto* drive = dynamic_cast<TFATdrive*>(Drive);
    if (!drive || !HasEntries(*this)) return false;
    try {
        TDirCursor cursor(FirstCluster, FirstSector, 0);
        TDirEntry entry;
        std::string name;
        for (std::uint32_t read = 0; read < MaxDirectoryEntries; ++read) {
            if (!drive->FindNextEntry(cursor, entry, name, WithDeleted)) return false;
            if (entry.IsDirectory() && !IsDotName(name)) return true;
        }
    } catch (...) {
    }
    return false;
}

bool TFATDirectory::ForEachChild(const TForEachChildCallback& Callback, bool IncludeDeleted, bool OnlyDeleted,
                                 bool Recursive, std::uint32_t UserData) {
    TVisit visit{Callback, IncludeDeleted, OnlyDeleted, Recursive, UserData, {}};
    TDirSearchScope scope(dynamic_cast<TFATdrive*>(Drive));
    if (HasEntries(*this)) {
        visit.Entered.insert(DirectoryKey(*this));
        EnteredCluster(*this);
    }
    return VisitDirectory(*this, visit, 0);
}

}  // namespace quorvane
