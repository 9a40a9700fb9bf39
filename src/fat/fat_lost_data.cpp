// The search of the data area for lost directories and files: directories that no directory
// reachable from the root leads to any more (cut off by a quick format or by damage), and media
// files whose directory entries are gone.
//
// A bitmap over the cluster numbers records what is accounted for. First every cluster that the
// root leads to is marked; then, on FAT12/16, the fixed root area is searched for forgotten root
// directories; last every cluster still unmarked is tested, in ascending order, for the start of a
// directory or of a media file. Each directory found is walked at once, so that what it leads to is
// marked and not found a second time.
#include "disk/devices.h"
#include "fat/fat_analyser.h"
#include "fat/fat_drive.h"
#include "fat/fat_objects.h"
#include "disk/scan_services.h"
#include "media/file_end.h"
#include "media/media_formats.h"

#include <fmt/format.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace quorvane {

namespace {

// A lost file has no size on the medium: its copy ends where its format says, or, where the
// format cannot tell, where the next file or directory starts and after this many bytes at the
// most (the size limit of every carved file).
constexpr std::uint32_t LostFileMaxBytes = 5'120'000;

// Feeds a lost file's clusters to its format's end finder, when the format has one.
class TLostFileEnd {
public:
    explicit TLostFileEnd(const std::string& Ext) {
        const MediaFormat* format = FindMediaFormat(Ext);
        const EndRule rule = format != nullptr ? format->end : EndRule::SizeLimit;
        Finder = MakeFileEndFinder(rule);
        Bound = std::min<std::uint64_t>(EndBound(rule), 0xFFFFFFFFu);
    }
    // True while the finder reads the file: its clusters are fed to it.
    bool Reading() const { return Finder && Finder->State() == EndState::Open; }
    void Feed(std::span<const std::uint8_t> Bytes) {
        if (Reading()) Finder->Feed(Bytes);
    }
    // The file's end, once its structure has given one within the bound.
    std::optional<std::uint64_t> End() const {
        if (Finder && Finder->State() == EndState::Ended && Finder->End() <= Bound) return Finder->End();
        return std::nullopt;
    }
    // Whether a start at Offset leaves the file going on: the start lies in the file's own
    // structure, or the file's end is known to lie further on.
    bool GoesOnPast(std::uint64_t Offset) const {
        if (!Finder) return false;
        if (Finder->Owns(Offset)) return true;
        return End().has_value() && *End() > Offset;
    }
    // How far the copy may run: the format's bound while its structure holds, else the old limit.
    std::uint64_t Limit() const { return Finder && Finder->State() != EndState::Unknown ? Bound : LostFileMaxBytes; }

private:
    std::unique_ptr<FileEndFinder> Finder;
    std::uint64_t Bound = LostFileMaxBytes;
};

// The last cluster of the search range: ClusterCount + 1, or the last cluster that lies on the
// device when the boot sector claims more sectors than the device has (which would only cost a
// bitmap and a loop over clusters that cannot be read).
std::uint32_t LastSearchedCluster(const TFATdrive& Drive) {
    const std::uint32_t last = Drive.ClusterCount + 1;
    const std::uint32_t perCluster = Drive.SectorsPerCluster();
    if (Drive.SectorCount == 0 || perCluster == 0) return last;  // the device's size is not known
    if (Drive.SectorCount <= Drive.FirstDataSector) return 1;       // no data cluster on the device
    const std::uint64_t onDevice = (std::uint64_t{Drive.SectorCount} - Drive.FirstDataSector) / perCluster + 1;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(last, onDevice));
}

class TLostDataSearch {
public:
    explicit TLostDataSearch(TFATdrive& Drive)
        : Drive(Drive),
          Scan(Drive.Services()),
          Min(2),
          Max(LastSearchedCluster(Drive)),
          Marked(std::size_t{Max} + 1, false) {}

    void Run();

private:
    bool IsMarked(std::uint32_t c) const { return c < Marked.size() && Marked[c]; }
    void Mark(std::uint32_t c) {
        if (c < Marked.size()) Marked[c] = true;
    }
    bool InRange(std::uint32_t c) const { return c >= Min && c <= Max; }
    void Cache(bool On) {
        if (Drive.Device) Drive.Device->UseCache(On);
    }
    TChildList& Lost() { return *Drive.FATLostDir()->Children; }

    void WalkDir(std::uint32_t Cluster, std::uint32_t Sector, bool RemoveFirst, int Depth);
    void WalkDirUncached(std::uint32_t Cluster, std::uint32_t Sector) {
        Cache(false);
        WalkDir(Cluster, Sector, false, 0);
        Cache(true);
    }
    void MarkFileClusters(std::uint32_t First);
    void RemoveLost(std::uint32_t Cluster, std::uint32_t Sector);
    void ScanRootArea();
    void ScanClusters();
    void TestCluster(std::uint32_t c);
    bool PassedOver(std::uint32_t c);
    bool StartsDirectory(std::uint32_t c);
    bool StartsFile(std::uint32_t c);
    std::uint32_t LostFileSize(std::uint32_t First, const std::string& Ext);
    TFATDirectory& AddLostDirectory(std::string Name, std::uint32_t Cluster, std::uint32_t Sector);

    TFATdrive& Drive;
    TScanServices& Scan;
    const std::uint32_t Min, Max;
    std::vector<bool> Marked;
    // The last sector that a walk of a directory made of a run of sectors (the fixed root) has
    // read: the root area scan does not take those sectors again for forgotten roots.
    std::uint32_t RunWalkedUpTo = 0;
};

TFATDirectory& TLostDataSearch::AddLostDirectory(std::string Name, std::uint32_t Cluster, std::uint32_t Sector) {
    auto dir = std::make_unique<TFATDirectory>();
    dir->Name = std::move(Name);
    dir->Drive = &Drive;
    dir->Parent = Drive.FATLostDir();
    dir->State = StateLost;
    dir->FirstCluster = Cluster;
    dir->FirstSector = Sector;
    TFATDirectory& added = *dir;
    Lost().push_back(std::move(dir));
    return added;
}

// Lost directory items that turn out to be reached from elsewhere are dropped. Lost files stay:
// the scan driver has taken them over already.
void TLostDataSearch::RemoveLost(std::uint32_t Cluster, std::uint32_t Sector) {
    TChildList& lost = Lost();
    const std::size_t count = lost.size();
    bool removed = false;
    for (std::size_t i = 0; i < count; ++i) {
        if (auto* dir = dynamic_cast<TFATDirectory*>(lost[i].get())) {
            if ((dir->FirstCluster != 0 && dir->FirstCluster == Cluster) ||
                (dir->FirstCluster == 0 && dir->FirstSector == Sector)) {
                lost[i].reset();
                removed = true;
            }
        }
        Scan.ProcessMessages();
    }
    if (!removed) return;
    lost.erase(std::remove(lost.begin(), lost.end(), nullptr), lost.end());
    lost.shrink_to_fit();
}

// Marks the clusters of a file listed in a directory. Following the FAT marks its whole chain; a
// deleted file's entries are free, so only its first cluster is marked, and so is every file when
// no FAT is followed. A chain that runs into a marked cluster ends there: from there on it is
// marked already, and a chain that loops back on itself ends too.
void TLostDataSearch::MarkFileClusters(std::uint32_t First) {
    std::uint32_t f = First;
    if (!FollowsFAT(Drive.ActiveFAT)) {
        if (InRange(f) && !IsMarked(f)) {
            Mark(f);
            Scan.ProgressStepIt();
        }
        return;
    }
    for (std::uint32_t steps = 0; steps <= Max; ++steps) {
        Scan.ProcessMessages();
        if (InRange(f)) {
            if (IsMarked(f)) {
                if (steps > 0) return;
            } else {
                Mark(f);
                Scan.ProgressStepIt();
            }
        }
        f = Drive.GetFAT(f, FATIndex(Drive.ActiveFAT));
        const TClusterKind kind = ClusterType(Drive.FATType, f);
        if (kind == ctFree || kind == ctEOF) return;
    }
}

// Marks everything a directory leads to: its own clusters, its files' clusters and, recursively,
// its subdirectories. Deleted entries are followed too, so that deleted directories and files are
// not found again as lost ones.
void TLostDataSearch::WalkDir(std::uint32_t Cluster, std::uint32_t Sector, bool RemoveFirst, int Depth) {
    if (Scan.Stopped) return;
    if (Scan.TimeForUserUpdate()) {
        Scan.UpdateCurrentClustorProgress(Cluster != 0 ? Cluster : Sector);
        Scan.ProcessMessages();
    }
    Mark(Cluster);  // bit 0 stands for the directories that are runs of sectors
    // A cluster another walk of this search has read (as a later cluster of its directory) is
    // not walked again.
    if (Cluster != 0 && !Drive.EnterDirCluster(Cluster)) return;
    TDirCursor cursor(Cluster, Sector, 0);
    std::uint32_t last = Cluster;
    if (RemoveFirst) RemoveLost(Cluster, Sector);

    for (std::uint32_t read = 0; read < MaxDirectoryEntries; ++read) {
        if (Scan.TimeForUserUpdate()) {
            Scan.UpdateCurrentClustorProgress(cursor.Cluster != 0 ? cursor.Cluster : cursor.Sector);
            Scan.ProcessMessages();
        }
        TDirEntry entry;
        std::string name;
        const bool ok = Drive.FindNextEntry(cursor, entry, name, true);
        if (cursor.Cluster != 0) {
            if (!InRange(cursor.Cluster)) break;  // the chain has ended
            if (cursor.Cluster != last) {
                Mark(cursor.Cluster);
                Scan.ProgressStepIt();
                last = cursor.Cluster;
            }
        }
        Scan.ProcessMessages();
        if (!ok) break;

        if (entry.IsDirectory()) {
            if (name == "." || name == "..") continue;
            const std::uint32_t d = entry.FirstCluster();
            // Deeper than any real tree: left for the cluster scan, which finds it as a lost directory.
            if (InRange(d) && !IsMarked(d) && Depth < MaxDirectoryDepth && Drive.Analyser->IsDirC(Drive, d, 0)) {
                WalkDir(d, 0, true, Depth + 1);
                Scan.ProgressStepIt();
            }
        } else if (entry.IsFile()) {
            const std::uint32_t f = entry.FirstCluster();
            RemoveLost(f, 0);
            MarkFileClusters(f);
        }
    }
    if (Cluster == 0) RunWalkedUpTo = std::max(RunWalkedUpTo, cursor.Sector);
}

// On FAT12/16 a root directory can be forgotten in the fixed root area: a sector of plausible
// entries that the real root does not reach (past its end marker, or from an earlier format).
void TLostDataSearch::ScanRootArea() {
    const std::uint32_t first = std::uint32_t{Drive.BootSec.ReservedSectors} + Drive.FATSectors;
    for (std::uint32_t s = first; s <= Drive.FirstDataSector; ++s) {
        Scan.ProcessMessages();
        if (s > RunWalkedUpTo && !Drive.Analyser->IsDirC(Drive, 0, s) && Drive.Analyser->DirEntriesValidC(Drive, 0, s)) {
            AddLostDirectory("sector " + std::to_string(s) + " (root)", 0, s);
            WalkDirUncached(0, s);
        }
        if (Scan.TimeForUserUpdate()) {
            Scan.UpdateStatus("", fmt::format("Scanning sector {}", s),
                              fmt::format("Lost directories found: {}", Lost().size()), "", "");
            Scan.ProcessMessages();
            if (Scan.Stopped) return;
        }
    }
}

// With the drive's lost-search option, clusters that the followed FAT marks bad are passed over
// untested: a bad cluster holds no data that was ever written there.
bool TLostDataSearch::PassedOver(std::uint32_t c) {
    if (Drive.LostSearchOption == 0) return false;
    // With no FAT followed, the first copy is asked all the same.
    const std::uint8_t fat = FollowsFAT(Drive.ActiveFAT) ? FATIndex(Drive.ActiveFAT) : 0;
    return ClusterType(Drive.FATType, Drive.GetFAT(c, fat)) == ctBad;
}

// The tests that make the cluster scan take a cluster as the start of something: a directory (an
// empty one too), a root directory or a media file.
bool TLostDataSearch::StartsDirectory(std::uint32_t c) {
    TFATAnalyser& a = *Drive.Analyser;
    return a.IsDirC(Drive, c, 0) || (a.DirEntriesValidC(Drive, c, 0) && a.IsRootC(Drive, c, 0));
}

bool TLostDataSearch::StartsFile(std::uint32_t c) {
    std::string ext;
    std::uint8_t type = 0;
    return Drive.Analyser->IsFileC(Drive, c, ext, type);
}

// The bytes of a lost file starting at First. The clusters are followed the way the reader will
// follow them with the drive's ActiveFAT (along the FAT while its entries link, one after the other
// once an entry is free or when no FAT is followed), and the file ends before the first cluster
// that starts a directory or another file, before a cluster that a walk has marked (it belongs to a
// known file or directory), at the end of the chain or data area, or at LostFileMaxBytes.
//
// The clusters passed over are marked, as the cluster scan would have marked them after finding
// nothing there, so that the scan does not test them a second time.
std::uint32_t TLostDataSearch::LostFileSize(std::uint32_t First, const std::string& Ext) {
    const std::uint32_t clusterBytes = Drive.BytesPerCluster;
    TLostFileEnd fileEnd(Ext);
    std::vector<std::uint8_t> cluster;
    auto feed = [&](std::uint32_t c) {
        if (!fileEnd.Reading()) return;
        cluster.resize(clusterBytes);
        if (!Drive.ReadSec(static_cast<std::int32_t>(Drive.Cluster2Sec(c)), Drive.SectorsPerCluster(), cluster.data(),
                           true)) {
            cluster.assign(clusterBytes, 0);  // an unreadable cluster reads as zeros, as the copy will
        }
        fileEnd.Feed(cluster);
    };
    feed(First);
    std::uint64_t bytes = clusterBytes;
    std::uint32_t current = First;
    bool consecutive = !FollowsFAT(Drive.ActiveFAT);
    TClusterSet visited;  // allocated only when a used chain is followed, which is rare here
    while (bytes < fileEnd.Limit() && !(fileEnd.End() && *fileEnd.End() <= bytes)) {
        std::uint32_t next = current + 1;
        if (!consecutive) {
            next = Drive.GetFAT(current, FATIndex(Drive.ActiveFAT));
            if (ClusterType(Drive.FATType, next) == ctFree) {
                consecutive = true;
                next = current + 1;
            } else {
                visited.Insert(current, Max);
                if (!InRange(next) || !visited.Insert(next, Max)) break;
            }
        }
        if (!InRange(next) || IsMarked(next)) break;
        // A directory always ends the file; the start of another file only where the file's own
        // structure does not vouch for the bytes there (an embedded preview, a film's data).
        if (!PassedOver(next) && (StartsDirectory(next) || (!fileEnd.GoesOnPast(bytes) && StartsFile(next)))) break;
        Mark(next);
        Scan.ProgressStepIt();
        feed(next);
        bytes += clusterBytes;
        current = next;
    }
    if (const auto end = fileEnd.End(); end && *end <= bytes) return static_cast<std::uint32_t>(*end);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, fileEnd.Limit()));
}

void TLostDataSearch::TestCluster(std::uint32_t c) {
    TFATAnalyser& a = *Drive.Analyser;
    // A directory must hold something besides "." and ".." to be worth listing.
    const bool isDir = a.IsDirC(Drive, c, 0) && !a.IsDirEmptyC(Drive, c, 0);
    const bool isRoot = !isDir && a.DirEntriesValidC(Drive, c, 0) && a.IsRootC(Drive, c, 0);
    if (isDir || isRoot) {
        AddLostDirectory("cluster " + std::to_string(c) + (isRoot ? " (root)" : ""), c, 0);
        WalkDirUncached(c, 0);
        return;
    }
    std::string ext;
    std::uint8_t type = 0;
    if (!Drive.LoneLostFiles || !a.IsFileC(Drive, c, ext, type)) return;
    auto file = std::make_unique<TFATFile>();
    file->Name = "cluster " + std::to_string(c) + "." + ext;
    file->Drive = &Drive;
    file->Parent = Drive.FATLostDir();
    file->State = StateLost;
    file->FirstCluster = c;
    file->Attr = faArchive;
    file->Size = LostFileSize(c, ext);
    TFATFile& added = *file;
    Lost().push_back(std::move(file));
    Scan.AddRecoverFile(added);
}

void TLostDataSearch::ScanClusters() {
    Scan.OnStartScanLostDataClustor(Drive.ClusterCount, Min, Max, Drive.BytesPerCluster);
    Scan.ProcessMessages();
    for (std::uint32_t c = Min; c <= Max && c >= Min; ++c) {
        if (!IsMarked(c)) {
            Mark(c);
            if (!PassedOver(c)) TestCluster(c);
            Scan.ProgressStepIt();
        }
        Scan.ProcessMessages();
        if (Scan.TimeForUserUpdate()) {
            std::size_t dirs = 0, files = 0;
            for (const auto& item : Lost()) {
                if (dynamic_cast<const TCustomDirectory*>(item.get())) ++dirs;
                else if (dynamic_cast<const TCustomFile*>(item.get())) ++files;
            }
            Scan.UpdateStatus("", fmt::format("Scanning cluster {}", c), fmt::format("Lost directories found: {}", dirs),
                              fmt::format("Lost files found: {}", files), "");
            Scan.UpdateCurrentClustorProgress(c);
        }
        // A stop asked for (or a full destination disk) ends the scan before the next cluster.
        if (Scan.Stopped) return;
    }
}

void TLostDataSearch::Run() {
    TFATDirectory& lost = *Drive.FATLostDir();
    lost.DeleteChildren();
    if (!lost.Children) lost.Children = std::make_shared<TChildList>();
    lost.Mark = 0;

    TDirSearchScope scope(&Drive);
    WalkDirUncached(Drive.RootCluster, Drive.RootDirSector);
    if (Scan.Stopped) return;
    if (Drive.FATType != ftFAT32) ScanRootArea();
    if (Scan.Stopped) return;
    ScanClusters();
}

}  // namespace

void TFATdrive::FindLostData() {
    Services().OnStartScanLostData(ClusterCount, 2, ClusterCount + 1, BytesPerCluster);
    // Nothing to search before the drive is mounted.
    if (!FATLostDir() || FATType == ftNone || ClusterCount == 0 || BytesPerCluster == 0) return;
    auto finish = [this] {
        if (Device) Device->UseCache(false);
    };
    try {
        TLostDataSearch(*this).Run();
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

}  // namespace quorvane
