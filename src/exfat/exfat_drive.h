#pragma once
// The exFAT volume: an exFAT file system read from the raw sectors of a device, beside the FAT
// engine and behind the same drive, directory and file classes. Mounting takes the boot region
// whose checksum holds (the main one, else the backup), works out the geometry, reads the
// allocation bitmap and creates the four start directories.
//
// Sector numbers held by the drive are in the device's 512-byte sectors, relative to the drive's
// boot sector, whatever sector size the volume gives (512 to 4096 bytes). Cluster numbers start at
// 2; valid ones are 2 .. ClusterCount + 1. Everything read from the medium is untrusted: every
// walk is bounded by the clusters the device holds.
#include "disk/drives.h"
#include "exfat/exfat_boot.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

class TExFATDirectory;

inline constexpr std::uint32_t ExFATDeviceSectorBytes = 512;
// A directory holds at most 256 MiB of entries; the engine reads at most this much of one, which
// is far more than a card's folders need (65536 entry sets of three entries).
inline constexpr std::uint32_t ExFATMaxDirectoryBytes = 8u << 20;

// Where the bytes of a file or directory lie.
struct TExFATExtent {
    std::uint32_t FirstCluster = 0;
    std::uint64_t Length = 0;       // bytes
    std::uint64_t ValidLength = 0;  // bytes written; those past it read as zeros
    bool NoFatChain = false;        // the clusters follow one another; the FAT is not used
    // Its clusters are no longer allocated (a deleted entry, or one found by the lost data
    // search): a FAT chain is followed only when it is still whole, else the file is read from
    // consecutive clusters that no live file owns.
    bool Released = false;
    // The root directory: its length is where its FAT chain ends.
    bool ToChainEnd = false;
};

class TExFATdrive : public TCustomDrive {
public:
    TExFATdrive();
    ~TExFATdrive() override;

    // Reads Count 512-byte sectors at drive-relative Sector through the device.
    bool ReadSec(std::int32_t Sector, std::uint16_t Count, void* Buffer, bool Prompt) override;
    // Takes the main boot region, or the backup when the main one's checksum fails; reads the
    // allocation bitmap and the volume label, and creates the four start directories. False when
    // the device's sectors are not 512 bytes or no boot region can be read.
    bool MountDrive(bool Silent) override;
    void FindLostData() override;
    void AddDriveToTree(TTreeView*) override {}
    void AddListViewColumns(TListView& ListView) override;
    bool AnalyzeTotalFile(bool Root, bool Deleted, bool Lost, std::int32_t& Files, std::int32_t& Folders) override;
    bool FindFiles(bool Root, bool Deleted, bool Lost) override;
    void SaveListViewItems(TListView&) override {}
    void SetLostSearchOption(bool On) override { LostSearchOption = On; }
    TClusterGrid ClusterGrid() const override {
        if (!Mounted) return {};
        return {SectorsPerCluster, FirstDataSector + StartSector};
    }

    // --- Geometry ------------------------------------------------------------------------------
    bool IsValidCluster(std::uint32_t Cluster) const {
        return Cluster >= 2 && Cluster <= std::uint64_t{ClusterCount} + 1;
    }
    // Drive-relative 512-byte sector of the first byte of Cluster.
    std::uint64_t Cluster2Sec(std::uint32_t Cluster) const {
        return FirstDataSector + std::uint64_t{Cluster - 2} * SectorsPerCluster;
    }
    // The FAT entry of Cluster in the active FAT; 0 (free) outside the volume or when unreadable.
    std::uint32_t GetFAT(std::uint32_t Cluster);
    // Whether the allocation bitmap marks Cluster as in use; false without a bitmap.
    bool ClusterAllocated(std::uint32_t Cluster) const;
    // Reads Count 512-byte sectors at drive-relative Sector; a failed read is retried sector by
    // sector and what cannot be read is delivered as zeros. False when any sector failed.
    bool ReadSectors(std::uint64_t Sector, std::uint32_t Count, std::uint8_t* Buffer);
    // The bytes of a directory, from its clusters in order, up to ExFATMaxDirectoryBytes and the end
    // of its last cluster that holds entries.
    std::vector<std::uint8_t> ReadDirectoryBytes(const TExFATExtent& Extent);

    TExFATDirectory* ExRootDir() const;
    TExFATDirectory* ExDeletedDir() const;
    TExFATDirectory* ExLostDir() const;
    TExFATDirectory* ExSearchedDir() const;

    TExFATBoot Boot;
    bool BootFromBackup = false;          // the main boot region failed its checksum
    std::uint32_t SectorsPerCluster = 0;  // 512-byte sectors
    std::uint32_t BytesPerCluster = 0;
    // Clusters of the volume that lie on the device: the boot sector's count, cut at the device's end.
    std::uint32_t ClusterCount = 0;
    std::uint64_t FatSector = 0;        // first sector of the active FAT
    std::uint64_t FatSectors = 0;       // its length in 512-byte sectors
    std::uint64_t FirstDataSector = 0;  // first sector of cluster 2
    std::vector<std::uint8_t> Bitmap;   // bit (Cluster - 2) set: allocated; empty when none was found
    bool LostSearchOption = false;

private:
    bool ReadBootRegion(std::uint32_t SectorShift, bool Backup, std::vector<std::uint8_t>& Region);
    bool SetGeometry(const TExFATBoot& Found);
    void CreateStartItems();
    void ReadRootEntries();

    std::array<std::uint8_t, ExFATDeviceSectorBytes> FatBuf{};
    std::uint64_t FatBufSector = ~std::uint64_t{0};
};

// The clusters of an extent, one after the other. Every walk ends after the clusters its length
// needs (the root's after ExFATMaxDirectoryBytes), so a FAT chain that loops cannot hold it.
class TExFATClusterWalk {
public:
    TExFATClusterWalk(TExFATdrive& Drive, const TExFATExtent& Extent);
    // The next cluster; 0 once the extent is used up or its clusters leave the volume.
    std::uint32_t Next();

private:
    enum class Mode { Contiguous, Chain, Unallocated };
    // Whether a released extent's FAT chain still links exactly the clusters its length needs,
    // every one of them free in the bitmap, and ends there.
    bool ReleasedChainWhole(std::uint32_t Clusters);
    std::uint32_t NextUnallocated(std::uint32_t After);

    TExFATdrive& Drive;
    Mode How = Mode::Contiguous;
    bool Released = false;
    std::uint32_t First = 0;
    std::uint32_t Current = 0;
    std::uint64_t Left = 0;  // clusters still to give
};

}  // namespace quorvane
