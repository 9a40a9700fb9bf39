// Reading a file of a FAT drive from its first cluster and size, sector by sector through the
// drive's one-sector file cache, along its chain or over consecutive clusters.
#include "disk/devices.h"
#include "fat/fat_drive.h"

#include <algorithm>
#include <cstring>

namespace quorvane {

namespace {

// Whether the first sector of Cluster lies on the device. A boot sector can claim more sectors
// than the device holds (a damaged one, or an image cut short); nothing beyond the device's end can
// ever be read, so a file ends there instead of going on with sectors of zeros up to its size,
// which a damaged entry can put at 4 GB. A drive whose device size is not known reads on.
bool OnDevice(const TFATdrive& Drive, std::uint32_t Cluster) {
    if (Drive.SectorCount == 0) return true;
    const std::uint64_t sector =
        std::uint64_t{Cluster - 2} * Drive.SectorsPerCluster() + Drive.FirstDataSector;
    return sector < Drive.SectorCount;
}

}  // namespace

bool TFATdrive::ResetByCluster(std::uint32_t Cluster, std::uint32_t FileSize, TFATFileInfo& Info) {
    Info.StartCluster = Info.CurrentCluster = Cluster;
    Info.Position = 0;
    Info.Size = FileSize;
    Info.Consecutive = false;
    // A first cluster outside the volume (0 for an entry that never had data) or beyond the
    // device's end has nothing to read.
    Info.ChainEnded = !IsValidCluster(Cluster) || !OnDevice(*this, Cluster);
    Info.Visited.Clear();
    return true;
}

void TFATdrive::Close(TFATFileInfo&) {}

// The first cluster from Cluster on that the FAT copy FATNo does not give to a file. A
// released file was written into the clusters that were free at the time; those that hold
// another file now were not among them, or have been overwritten since.
std::uint32_t TFATdrive::NextUnallocatedCluster(std::uint32_t Cluster, std::uint8_t FATNo) {
    for (std::uint32_t steps = 0; steps < ClusterCount && IsValidCluster(Cluster); ++steps, ++Cluster) {
        if (ClusterType(FATType, GetFAT(Cluster, FATIndex(FATNo))) == ctFree) return Cluster;
    }
    return Cluster;
}

// Moves Info to the file's next cluster; false when there is none and the file ends here.
//
// Following a FAT, an end-of-chain, bad or out-of-volume value ends the file, and so does a
// cluster that the chain has entered before (a loop). A free entry means the chain was released:
// the file was deleted, or it was found by the lost data search. Its data most likely still lies
// in the free clusters after the first, so from there on those are taken one after the other,
// passing over the clusters that the FAT gives to live files, as undelete tools do. Without a
// FAT to follow, every following cluster is taken.
bool TFATdrive::StepFileCluster(TFATFileInfo& Info, std::uint8_t FATNo) {
    std::uint32_t next;
    if (!FollowsFAT(FATNo)) {
        next = Info.CurrentCluster + 1;
    } else if (Info.Consecutive) {
        next = NextUnallocatedCluster(Info.CurrentCluster + 1, FATNo);
    } else {
        Info.Visited.Insert(Info.CurrentCluster, ClusterCount + 1);
        next = GetFAT(Info.CurrentCluster, FATIndex(FATNo));
        if (ClusterType(FATType, next) == ctFree) {
            Info.Consecutive = true;
            next = NextUnallocatedCluster(Info.CurrentCluster + 1, FATNo);
        } else if (IsValidCluster(next) && !Info.Visited.Insert(next, ClusterCount + 1)) {
            return false;
        }
    }
    if (!IsValidCluster(next) || !OnDevice(*this, next)) return false;
    Info.CurrentCluster = next;
    return true;
}

bool TFATdrive::BlockRead(TFATFileInfo& Info, std::uint32_t Count, void* Buffer, std::uint8_t FATNo,
                          std::uint32_t& Done) {
    Done = 0;
    if (Info.Position >= Info.Size) return Info.Position == Info.Size;
    if (Info.ChainEnded || SectorsPerCluster() == 0) return true;

    auto* out = static_cast<std::uint8_t*>(Buffer);
    std::uint32_t n = std::min(Count, Info.Size - Info.Position);
    std::uint32_t off = Info.Position % FATSectorSize;
    std::uint32_t sec = Info.Position / FATSectorSize % SectorsPerCluster();
    bool bulk = true;
    auto deliver = [&](std::uint32_t bytes) {
        out += bytes;
        Info.Position += bytes;
        Done += bytes;
        n -= bytes;
    };
    // Moves past `sectors` sectors of the current cluster, on into the next cluster at its end.
    auto advance = [&](std::uint32_t sectors) {
        sec += sectors;
        if (sec < SectorsPerCluster()) return;
        sec = 0;
        if (Info.Position < Info.Size && !StepFileCluster(Info, FATNo)) Info.ChainEnded = true;
    };

    while (n > 0) {
        const std::uint32_t first = Cluster2Sec(Info.CurrentCluster) + sec;
        if (FileSectorsRead != nullptr) {
            // In the device's sectors, which the scan reads by.
            const std::uint32_t sectors = std::min(SectorsPerCluster() - sec, (n + off + FATSectorSize - 1) / FATSectorSize);
            FileSectorsRead->Add(std::uint64_t{first} + StartSector, sectors);
        }
        // Whole sectors go straight into the caller's buffer, as many at once as the cluster holds.
        // If such a read fails, the sectors are read one by one, so that only the unreadable one is lost.
        const std::uint32_t whole = std::min(SectorsPerCluster() - sec, n / FATSectorSize);
        if (off == 0 && bulk && whole > 1) {
            if (ReadSec(static_cast<std::int32_t>(first), static_cast<std::uint16_t>(whole), out, true)) {
                deliver(whole * FATSectorSize);
                advance(whole);
                if (Info.ChainEnded) break;
                continue;
            }
            bulk = false;
        }
        const std::uint32_t chunk = std::min(FATSectorSize - off, n);
        bool readOk = true;
        if (first != FileBufSector) readOk = ReadCachedSector(first, FileBuf.data(), FileBufSector);
        std::memcpy(out, FileBuf.data() + off, chunk);
        const bool sectorUsedUp = off + chunk == FATSectorSize;
        deliver(chunk);
        off = 0;
        if (sectorUsedUp) advance(1);
        // A sector that could not be read has been delivered as zeros and ends this call; the
        // caller's next call goes on with the following sector.
        if (Info.ChainEnded || !readOk) break;
    }
    return true;
}

bool TFATdrive::BlockPlaces(TFATFileInfo& Info, std::uint32_t Count, std::uint8_t FATNo, std::uint32_t& Done,
                            const std::function<bool(std::uint64_t DeviceOffset, std::uint32_t Bytes)>& Take) {
    Done = 0;
    if (Info.Position >= Info.Size) return Info.Position == Info.Size;
    if (Info.ChainEnded || SectorsPerCluster() == 0) return true;
    if (!Device || Device->BytesPerSector != FATSectorSize) return false;

    std::uint32_t n = std::min(Count, Info.Size - Info.Position);
    std::uint32_t off = Info.Position % FATSectorSize;
    const std::uint32_t sec = Info.Position / FATSectorSize % SectorsPerCluster();
    // The rest of the current cluster first, then whole clusters along the chain.
    std::uint32_t clusterLeft = (SectorsPerCluster() - sec) * FATSectorSize - off;
    std::uint32_t first = Cluster2Sec(Info.CurrentCluster) + sec;
    while (n > 0) {
        const std::uint32_t bytes = std::min(n, clusterLeft);
        // The device sector as ReadSec computes it, wrapping the same way.
        const std::uint32_t deviceSector = first + StartSector;
        if (!Take(std::uint64_t{deviceSector} * FATSectorSize + off, bytes)) return false;
        if (FileSectorsRead != nullptr) {
            FileSectorsRead->Add(std::uint64_t{first} + StartSector, (bytes + off + FATSectorSize - 1) / FATSectorSize);
        }
        Info.Position += bytes;
        Done += bytes;
        n -= bytes;
        if (bytes < clusterLeft) break;  // the count or the file ends inside this cluster
        if (Info.Position >= Info.Size) break;
        if (!StepFileCluster(Info, FATNo)) {
            Info.ChainEnded = true;
            break;
        }
        off = 0;
        clusterLeft = SectorsPerCluster() * FATSectorSize;
        first = Cluster2Sec(Info.CurrentCluster);
    }
    return true;
}

bool TFATdrive::GetRecPosCluster(std::uint32_t& Cluster, std::uint32_t Pos, std::uint8_t FATNo) {
    if (BytesPerCluster == 0) return false;
    TFATFileInfo walk;
    ResetByCluster(Cluster, 0, walk);
    if (walk.ChainEnded) return false;
    for (std::uint32_t i = Pos / BytesPerCluster; i > 0; --i)
        if (!StepFileCluster(walk, FATNo)) return false;
    Cluster = walk.CurrentCluster;
    return true;
}

bool TFATdrive::Seek(TFATFileInfo& Info, std::uint32_t Pos, std::uint8_t FATNo) {
    if (Info.StartCluster == 0 || Pos >= Info.Size || BytesPerCluster == 0) return false;
    // Walk again from the start, so that the way the chain is followed (along the FAT or over
    // consecutive clusters) is decided the same way as when reading from the start.
    TFATFileInfo walk;
    ResetByCluster(Info.StartCluster, Info.Size, walk);
    if (walk.ChainEnded) return false;
    for (std::uint32_t i = Pos / BytesPerCluster; i > 0; --i)
        if (!StepFileCluster(walk, FATNo)) return false;
    walk.Position = Pos;
    Info = std::move(walk);
    return true;
}

}  // namespace quorvane
