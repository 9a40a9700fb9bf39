// The order in which a file's or directory's clusters are read: one after the other for a
// contiguous extent, along the FAT for a chained one, and for a released chain either along its
// FAT entries while they are still whole or over the consecutive clusters that no live file owns.
#include "exfat/exfat_drive.h"

namespace quorvane {

namespace {

constexpr std::uint32_t FatEndOfChain = 0xFFFFFFFFu;

}  // namespace

TExFATClusterWalk::TExFATClusterWalk(TExFATdrive& Drive, const TExFATExtent& Extent) : Drive(Drive) {
    First = Extent.FirstCluster;
    Released = Extent.Released;
    if (!Drive.IsValidCluster(Extent.FirstCluster) || Drive.BytesPerCluster == 0) return;
    const std::uint64_t length = Extent.ToChainEnd ? ExFATMaxDirectoryBytes : Extent.Length;
    // No extent is longer than the volume's clusters.
    Left = std::min<std::uint64_t>((length + Drive.BytesPerCluster - 1) / Drive.BytesPerCluster, Drive.ClusterCount);
    if (Extent.NoFatChain) {
        How = Mode::Contiguous;
    } else if (!Extent.Released || ReleasedChainWhole(static_cast<std::uint32_t>(Left))) {
        How = Mode::Chain;
    } else {
        How = Mode::Unallocated;
    }
    Current = 0;
}

bool TExFATClusterWalk::ReleasedChainWhole(std::uint32_t Clusters) {
    std::uint32_t c = First;
    for (std::uint32_t i = 1; i <= Clusters; ++i) {
        if (!Drive.IsValidCluster(c) || Drive.ClusterAllocated(c)) return false;
        const std::uint32_t next = Drive.GetFAT(c);
        if (i == Clusters) return next == FatEndOfChain;
        c = next;
    }
    return false;
}

std::uint32_t TExFATClusterWalk::NextUnallocated(std::uint32_t After) {
    for (std::uint32_t c = After + 1; Drive.IsValidCluster(c); ++c) {
        if (!Drive.ClusterAllocated(c)) return c;
    }
    return 0;
}

std::uint32_t TExFATClusterWalk::Next() {
    if (Left == 0) return 0;
    std::uint32_t next = 0;
    if (Current == 0) {
        next = First;
    } else if (How == Mode::Contiguous) {
        next = Current + 1;
    } else if (How == Mode::Unallocated) {
        next = NextUnallocated(Current);
    } else {
        next = Drive.GetFAT(Current);
        // A free entry where the chain should go on (a FAT cleared since): the rest is taken from
        // the clusters that follow, passing over the ones live files own when the extent's own
        // clusters are released too.
        if (next == 0) {
            How = Released ? Mode::Unallocated : Mode::Contiguous;
            next = Released ? NextUnallocated(Current) : Current + 1;
        }
    }
    if (!Drive.IsValidCluster(next)) {
        Left = 0;
        return 0;
    }
    --Left;
    Current = next;
    return next;
}

}  // namespace quorvane
