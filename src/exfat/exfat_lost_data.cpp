// The search of the data area for lost directories: directories that the live tree no longer
// leads to, typically after a quick format, which writes a new root, bitmap and FAT and leaves the
// old folders' clusters as they were.
//
// A map over the cluster numbers records what is accounted for: every cluster the bitmap marks as
// allocated, and every cluster that the tree (live and deleted entries) leads to. Every other
// cluster is tested, in ascending order, for the start of a directory: an entry set with a valid
// checksum in its first entries. A directory found takes the clusters after it that carry on its
// entries, is listed under "Lost" and walked at once, so that the folders and files it leads to
// are accounted for and not found a second time.
#include "disk/scan_services.h"
#include "exfat/exfat_drive.h"
#include "exfat/exfat_entry_set.h"
#include "exfat/exfat_objects.h"

#include <fmt/format.h>

#include <algorithm>
#include <memory>
#include <set>
#include <span>
#include <vector>

namespace quorvane {

namespace {

// The bytes tested at the start of a cluster: room for the largest entry set (19 entries).
constexpr std::uint32_t TestedSectors = 2;
constexpr std::uint32_t FatBadCluster = 0xFFFFFFF7u;

bool IsDirectoryEntryType(std::uint8_t Type) {
    switch (Type | ExFATInUse) {
        case ExFATFileEntry:
        case ExFATStreamEntry:
        case ExFATNameEntry: return true;
        default: return false;
    }
}

class TLostDataSearch {
public:
    explicit TLostDataSearch(TExFATdrive& Drive)
        : Drive(Drive), Scan(Drive.Services()), Max(Drive.ClusterCount + 1), Marked(std::size_t{Max} + 1, false) {}

    void Run();

private:
    bool IsMarked(std::uint32_t c) const { return c < Marked.size() && Marked[c]; }
    void Mark(std::uint32_t c) {
        if (c < Marked.size()) Marked[c] = true;
    }
    TChildList& Lost() { return *Drive.ExLostDir()->Children; }

    void MarkExtent(const TExFATExtent& Extent);
    void WalkDir(TExFATDirectory& Dir, int Depth);
    void RemoveLost(std::uint32_t Cluster);
    bool StartsDirectory(std::uint32_t c, bool& EndsHere);
    // With the drive's lost-search option, clusters the FAT marks bad are passed over untested.
    bool PassedOver(std::uint32_t c) { return Drive.LostSearchOption && Drive.GetFAT(c) == FatBadCluster; }
    void ScanClusters();

    TExFATdrive& Drive;
    TScanServices& Scan;
    const std::uint32_t Max;
    std::vector<bool> Marked;
    std::set<std::uint32_t> Walked;   // first clusters of the directories walked
    std::set<std::uint32_t> Walking;  // those whose walk has not ended: they stay listed
    std::vector<std::uint8_t> Head;
};

void TLostDataSearch::MarkExtent(const TExFATExtent& Extent) {
    TExFATClusterWalk walk(Drive, Extent);
    for (std::uint32_t c = walk.Next(); c != 0; c = walk.Next()) {
        if (IsMarked(c) && c != Extent.FirstCluster) break;  // the rest is accounted for already
        Mark(c);
    }
}

// Lost directory items that turn out to be reached from another directory are dropped, except one
// whose walk is under way (a folder that leads back to itself).
void TLostDataSearch::RemoveLost(std::uint32_t Cluster) {
    if (Walking.count(Cluster) != 0) return;
    TChildList& lost = Lost();
    std::erase_if(lost, [Cluster](const std::unique_ptr<TObject>& item) {
        const auto* dir = dynamic_cast<const TExFATDirectory*>(item.get());
        return dir != nullptr && dir->Extent.FirstCluster == Cluster;
    });
}

// Marks everything a directory leads to, deleted entry sets included, so that deleted folders
// and files are not found again as lost ones.
void TLostDataSearch::WalkDir(TExFATDirectory& Dir, int Depth) {
    if (Scan.Stopped || Depth > ExFATMaxDirectoryDepth || !Walked.insert(Dir.Extent.FirstCluster).second) return;
    Walking.insert(Dir.Extent.FirstCluster);
    MarkExtent(Dir.Extent);
    Dir.AddChildren(true, false);
    const std::shared_ptr<TChildList> children = Dir.Children;
    for (const auto& child : *children) {
        Scan.ProcessMessages();
        if (auto* sub = dynamic_cast<TExFATDirectory*>(child.get())) {
            RemoveLost(sub->Extent.FirstCluster);
            WalkDir(*sub, Depth + 1);
        } else if (auto* file = dynamic_cast<TExFATFile*>(child.get())) {
            MarkExtent(file->Extent);
        }
    }
    Dir.DeleteChildren();
    Dir.Children.reset();
    Walking.erase(Dir.Extent.FirstCluster);
}

// Whether cluster c starts with an entry set whose checksum holds; EndsHere tells whether the
// directory's end marker lies in the bytes read.
bool TLostDataSearch::StartsDirectory(std::uint32_t c, bool& EndsHere) {
    const std::uint32_t sectors = std::min(TestedSectors, Drive.SectorsPerCluster);
    Head.resize(std::size_t{sectors} * ExFATDeviceSectorBytes);
    if (!Drive.ReadSectors(Drive.Cluster2Sec(c), sectors, Head.data())) return false;
    TExFATEntrySet set;
    if (DecodeEntrySet(Head, set) != EntrySetVerdict::Valid) return false;
    EndsHere = false;
    for (std::size_t at = 0; at < Head.size(); at += ExFATEntryBytes)
        EndsHere = EndsHere || Head[at] == ExFATEndOfDirectory;
    return true;
}

void TLostDataSearch::ScanClusters() {
    Scan.OnStartScanLostDataClustor(Drive.ClusterCount, 2, Max,
                                    static_cast<std::uint16_t>(std::min<std::uint32_t>(Drive.BytesPerCluster, 0xFFFF)));
    Scan.ProcessMessages();
    std::uint32_t found = 0;
    for (std::uint32_t c = 2; c <= Max && c >= 2; ++c) {
        bool endsHere = false;
        if (!IsMarked(c) && !PassedOver(c) && StartsDirectory(c, endsHere)) {
            // The clusters after it carry on the directory while they start with its entries.
            std::uint32_t clusters = 1;
            const std::uint32_t most = std::max<std::uint32_t>(1, ExFATMaxDirectoryBytes / Drive.BytesPerCluster);
            while (!endsHere && clusters < most && c + clusters <= Max && !IsMarked(c + clusters)) {
                std::uint8_t first[ExFATDeviceSectorBytes];
                if (!Drive.ReadSectors(Drive.Cluster2Sec(c + clusters), 1, first) || !IsDirectoryEntryType(first[0]))
                    break;
                ++clusters;
            }
            auto dir = std::make_unique<TExFATDirectory>();
            dir->Name = dir->UnicodeName = "cluster " + std::to_string(c);
            dir->Drive = &Drive;
            dir->Parent = Drive.ExLostDir();
            dir->State = ExFATStateLost;
            dir->Extent.FirstCluster = c;
            dir->Extent.Length = dir->Extent.ValidLength = std::uint64_t{clusters} * Drive.BytesPerCluster;
            dir->Extent.NoFatChain = true;
            dir->Extent.Released = true;
            TExFATDirectory& added = *dir;
            Lost().push_back(std::move(dir));
            ++found;
            WalkDir(added, 0);
        }
        Mark(c);
        Scan.ProgressStepIt();
        Scan.ProcessMessages();
        if (Scan.TimeForUserUpdate()) {
            Scan.UpdateStatus("", fmt::format("Scanning cluster {}", c),
                              fmt::format("Lost directories found: {}", found), "", "");
            Scan.UpdateCurrentClustorProgress(c);
        }
        if (Scan.Stopped) return;
    }
}

void TLostDataSearch::Run() {
    TExFATDirectory& lost = *Drive.ExLostDir();
    lost.DeleteChildren();
    if (!lost.Children) lost.Children = std::make_shared<TChildList>();
    for (std::uint32_t c = 2; c <= Max && c >= 2; ++c) {
        if (Drive.ClusterAllocated(c)) Mark(c);
    }
    // The live root is read afresh, so that its children are not those of a visit that runs.
    TExFATDirectory root;
    root.Drive = &Drive;
    root.Extent = Drive.ExRootDir()->Extent;
    WalkDir(root, 0);
    if (Scan.Stopped) return;
    ScanClusters();
}

}  // namespace

void TExFATdrive::FindLostData() {
    Services().OnStartScanLostData(ClusterCount, 2, ClusterCount + 1,
                                   static_cast<std::uint16_t>(std::min<std::uint32_t>(BytesPerCluster, 0xFFFF)));
    if (!ExLostDir() || ClusterCount == 0 || BytesPerCluster == 0) return;
    TLostDataSearch(*this).Run();
}

}  // namespace quorvane
