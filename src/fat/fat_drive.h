#pragma once
// The FAT volume: a FAT12/16/32 file system read from the raw sectors of a device, never through
// the operating system. Mounting works out the geometry from the boot sector and creates the four
// start directories from which everything else is reached; the directory walk and the file reader
// are drive operations too, so that all of them share the drive's one-sector caches.
//
// Sector numbers held by the drive are relative to it (relative sector 0 is device sector
// StartSector, the boot sector); sectors are 512 bytes. Cluster numbers start at 2; valid ones are
// 2 .. ClusterCount + 1. Everything read from the medium is untrusted: every walk is bounded.
#include "disk/drives.h"
#include "fat/fat_copy.h"
#include "fat/fat_formats.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

class TFATAnalyser;
class TFATDirectory;
class TFATFile;

// The clusters a chain walk has entered, so that a chain looping back on itself is caught at the
// first cluster met twice. One bit per cluster number, kept in pages of 65536 clusters that are
// allocated when the walk first enters them: the memory follows the clusters walked, not the
// cluster count that the boot sector claims (a damaged one can claim four billion clusters on a
// card of a few megabytes, and every directory and file walk has a set of its own).
class TClusterSet {
public:
    // Records Cluster; false when it was recorded already. MaxCluster is the highest valid number.
    bool Insert(std::uint32_t Cluster, std::uint32_t MaxCluster);
    void Clear() { Pages.clear(); }

private:
    static constexpr unsigned PageShift = 16;
    using TPage = std::bitset<std::size_t{1} << PageShift>;
    std::map<std::uint32_t, TPage> Pages;  // by Cluster >> PageShift
};

// Position of a directory walk, owned by the caller, so that any number of walks can be open over
// one drive at a time. A walk over a directory starts at (first cluster, first sector, 0): the fixed
// FAT12/16 root is (0, RootDirSector, 0), a subdirectory (its first cluster, 0, 0), the FAT32 root
// (RootCluster, RootDirSector, 0).
struct TDirCursor {
    TDirCursor() = default;
    TDirCursor(std::uint32_t cluster, std::uint32_t sector, std::uint16_t index = 0)
        : Cluster(cluster), Sector(sector), Index(index) {}

    std::uint32_t Cluster = 0;  // current cluster; 0 = the directory is a run of sectors
    std::uint32_t Sector = 0;   // drive-relative sector, used when Cluster is 0
    std::uint16_t Index = 0;    // entry (or, for ReadDataSec, sector) counter within the sector or cluster
    // The chain was found free (a deleted directory): the walk goes on over free clusters that
    // still hold directory entries.
    bool Released = false;
    // Clusters of the chain already entered: a chain that loops back ends the walk there.
    TClusterSet Visited;
};

// Read state of one file. It needs nothing but the first cluster and the size, so live, deleted
// and lost files are read alike.
struct TFATFileInfo {
    std::uint32_t StartCluster = 0;
    std::uint32_t CurrentCluster = 0;  // cluster that holds the byte at Position
    std::uint32_t Position = 0;        // offset of the next byte to read
    std::uint32_t Size = 0;

    // How the chain is followed from here on. A file whose FAT entries are free (deleted, or found
    // by the lost data search) is read from consecutive clusters, as undelete tools do.
    bool Consecutive = false;
    // The chain ended, turned bad, left the volume or looped before Size bytes: nothing more is read.
    bool ChainEnded = false;
    TClusterSet Visited;  // clusters of a followed chain
};

class TFATdrive : public TCustomDrive {
public:
    TFATdrive();
    ~TFATdrive() override;

    // --- Drive slots -------------------------------------------------------------------------
    // Reads Count 512-byte sectors at drive-relative Sector through the device. Fails without
    // reading when the device's sectors are not 512 bytes.
    bool ReadSec(std::int32_t Sector, std::uint16_t Count, void* Buffer, bool Prompt) override;
    // Reads the boot sector at device sector BootSector, works out the geometry (CalcDriveInfo) and
    // creates the four start directories. False when the boot sector cannot be read (no start
    // directory then) or the geometry cannot be worked out (the start directories exist).
    bool MountDrive(bool Silent) override;
    void FindLostData() override;
    void AddDriveToTree(TTreeView* TreeView) override;
    // Appends the columns Name, Size, Date modified, Cluster, Condition and Type.
    void AddListViewColumns(TListView& ListView) override;
    bool AnalyzeTotalFile(bool Root, bool Deleted, bool Lost, std::int32_t& Files,
                          std::int32_t& Folders) override;
    bool FindFiles(bool Root, bool Deleted, bool Lost) override;
    void SaveListViewItems(TListView& ListView) override;
    void SetLostSearchOption(bool On) override { LostSearchOption = On ? 1 : 0; }

    // --- Saving files and directories (fat_save_directory.cpp) ------------------------------------
    // Saves one file into Folder with TFATFile::SaveTo. An existing file is never replaced (the copy
    // gets a numbered name instead), so there is nothing to ask and YesToAll stays as it is.
    bool SaveFile(TFATFile& File, const std::string& Folder, std::uint8_t FATNo, bool& YesToAll);
    // Saves the files of Directory, chosen as AddChildren chooses them, into Folder, which is created
    // when needed; with Recursive each subdirectory goes into a subfolder named after it. True when
    // every file was saved. YesToAll and ReplaceFiles stay as they are, as with SaveFile.
    bool SaveDirectory(TFATDirectory& Directory, const std::string& Folder, bool IncludeDeleted, bool OnlyDeleted,
                       bool Recursive, std::uint8_t FATNo, bool& YesToAll, bool& ReplaceFiles);

    // --- Volume ------------------------------------------------------------------------------
    // Geometry, FAT type and FAT trust from a boot sector record. Warnings about odd parameters are
    // shown unless Silent; values that cannot be computed with, or that the engine does not read
    // (sectors other than 512 bytes, 64 KB clusters), give a message unless Silent and false.
    bool CalcDriveInfo(const TBootSec& Boot, bool Silent);
    // Creates the four start directories "Root", "Deleted", "Lost" and "Searched".
    void CreateStartItems();
    // The entry of Cluster in FAT copy FATIndex (0 = first FAT); chain walks pass
    // FATIndex(ActiveFAT). 0 means free, outside the volume or unreadable: the three are not told
    // apart.
    std::uint32_t GetFAT(std::uint32_t Cluster, std::uint8_t FATIndex);
    bool IsEOF(std::uint32_t Value) const { return IsEOFValue(FATType, Value); }
    // First sector of Cluster: (Cluster - 2) * sectors per cluster + FirstDataSector, wrapping.
    std::uint32_t Cluster2Sec(std::uint32_t Cluster) const;
    std::uint32_t Sec2Cluster(std::uint32_t Sector) const;
    // The end-of-chain value for ctEOF, the bad-cluster value for ctBad.
    std::uint32_t GetClusterMask(TClusterKind Kind) const { return ClusterMask(FATType, Kind); }
    // True for a cluster number inside the volume: 2 .. ClusterCount + 1.
    bool IsValidCluster(std::uint32_t Cluster) const;
    std::uint8_t SectorsPerCluster() const { return BootSec.SectorsPerCluster; }
    TClusterGrid ClusterGrid() const override {
        if (!Mounted) return {};
        return {BootSec.SectorsPerCluster, std::uint64_t{FirstDataSector} + StartSector};
    }
    std::uint32_t BytesPerSector() const { return BootSec.BytesPerSector; }
    TFATDirectory* FATRootDir() const;
    TFATDirectory* FATDeletedDir() const;
    TFATDirectory* FATLostDir() const;
    TFATDirectory* FATSearchedDir() const;

    // --- Directory walk ----------------------------------------------------------------------
    // Copies the next 32-byte entry into Entry and advances the cursor. False at the end of the
    // chain, when the chain leaves the volume, reaches a free entry or loops, and for a cursor
    // outside the volume; once false, every later call on the cursor is false too.
    bool GetNextRecord(TDirCursor& Cursor, TDirEntry& Entry);
    // Called with the first long-name piece in Entry; on success Name holds the long name (8-bit,
    // the low byte of each character) and Entry the entry that followed the pieces.
    bool GetLongName(TDirCursor& Cursor, TDirEntry& Entry, std::string& Name);
    // The next entry and its raw name (a deleted short name keeps its leading 0xE5; long name when
    // there is one). Without WithDeleted, deleted entries are skipped. False at the end.
    bool FindNextEntry(TDirCursor& Cursor, TDirEntry& Entry, std::string& Name, bool WithDeleted);
    // Copies the next whole sector of the directory or run into Buffer (512 bytes); Index counts
    // sectors here.
    bool ReadDataSec(TDirCursor& Cursor, std::uint8_t* Buffer);

    // --- File reading ------------------------------------------------------------------------
    bool ResetByCluster(std::uint32_t Cluster, std::uint32_t FileSize, TFATFileInfo& Info);
    // Reads up to Count bytes at Info.Position into Buffer; Done receives the bytes delivered.
    // FATNo 0 takes the clusters one after the other; n > 0 follows FAT copy n, counted from 1
    // (GetFAT's FATIndex(n)). True unless the position is beyond the size. A failed device read
    // ends the call early (the sector's bytes are delivered as zeros); the end of the chain ends
    // the file: later calls deliver 0.
    bool BlockRead(TFATFileInfo& Info, std::uint32_t Count, void* Buffer, std::uint8_t FATNo,
                   std::uint32_t& Done);
    // Where the next up to Count bytes at Info.Position lie, without reading them: Take gets the
    // byte offset on the device (its volume) and the length of each run of bytes in one cluster,
    // in the file's order, and the position moves on as BlockRead moves it. Done receives the
    // bytes given. False when Take refuses a run (the position then stays before it) or the
    // device's sectors are not 512 bytes.
    bool BlockPlaces(TFATFileInfo& Info, std::uint32_t Count, std::uint8_t FATNo, std::uint32_t& Done,
                     const std::function<bool(std::uint64_t DeviceOffset, std::uint32_t Bytes)>& Take);
    void Close(TFATFileInfo& Info);
    // Moves to Pos: false when the file has no first cluster, Pos is not below the size, or the
    // chain ends before reaching it.
    bool Seek(TFATFileInfo& Info, std::uint32_t Pos, std::uint8_t FATNo);
    // Walks Pos div BytesPerCluster clusters from Cluster; false when the chain ends first.
    bool GetRecPosCluster(std::uint32_t& Cluster, std::uint32_t Pos, std::uint8_t FATNo);
    static std::uint32_t filesize(const TFATFileInfo& Info) { return Info.Size; }
    // The record's first field, StartCluster (not the read position).
    static std::uint32_t filepos(const TFATFileInfo& Info) { return Info.StartCluster; }

    // --- Fields ------------------------------------------------------------------------------
    // FAT copy that chain walks follow, from 1; 0 = follow none and take every chain as contiguous.
    // Mounting sets 1, or 0 when no entry but the FAT32 root's own end mark is used (a quick-formatted card).
    std::uint8_t ActiveFAT = 0;
    // Copied in by the scan driver before every scan; read by the lost data search.
    std::uint8_t LostSearchOption = 0;
    TBootSec32 BootSec;
    TFATType FATType = ftNone;          // ftFAT12, ftFAT16, ftFAT32; ftNone before mounting
    std::uint32_t TotalSectors = 0;
    std::uint16_t BytesPerCluster = 0;
    std::uint32_t RootCluster = 0;      // FAT32 only; 0 on FAT12/16
    std::uint16_t RootDirSectors = 0;   // the fixed root area (0 on FAT32)
    std::uint32_t RootDirSector = 0;    // first sector of the root directory
    std::uint32_t FATSize = 0;          // sectors per FAT
    std::uint32_t FATSectors = 0;       // FATSize * number of FATs
    std::uint32_t FirstDataSector = 0;  // first sector of cluster 2
    std::uint32_t DataSectors = 0;
    std::uint32_t ClusterCount = 0;

    // One-sector caches, keyed by drive-relative sector; 0 = empty (sector 0 is the boot sector,
    // which none of them holds). The FAT window has room for the sector after its own, for FAT12
    // entries that straddle two sectors. A sector that could not be read is held as zeros.
    std::array<std::uint8_t, 2 * FATSectorSize> FATBuf{};
    std::uint32_t FATBufSector = 0;
    std::array<std::uint8_t, FATSectorSize> DirBuf{};
    std::uint32_t DirBufSector = 0;
    std::array<std::uint8_t, FATSectorSize> FileBuf{};
    std::uint32_t FileBufSector = 0;

    std::unique_ptr<TFATAnalyser> Analyser;

    // The directory clusters that the running search has read, while one runs (nullptr
    // otherwise). A walk that reaches a cluster read before ends there: on a damaged or
    // quick-formatted card whose clusters all look like directories pointing at each other,
    // each cluster is then read once per search instead of once per path that reaches it.
    TClusterSet* SearchedDirClusters = nullptr;
    // Records Cluster as read by the running search; false when it was read before (and so is
    // not to be read again). Always true when no search runs.
    bool EnterDirCluster(std::uint32_t Cluster);

private:
    // Whether the FAT is kept up to date (the trust test of the mount): false for the empty FAT
    // of a quick format, whose chains cannot be followed.
    bool FATInUse();
    bool ReadCachedSector(std::uint32_t Sector, std::uint8_t* Buffer, std::uint32_t& CachedSector);
    bool StepDirCluster(TDirCursor& Cursor);
    std::uint32_t ReleasedDirCluster(std::uint32_t Cluster);
    bool StepFileCluster(TFATFileInfo& Info, std::uint8_t FATNo);
    std::uint32_t NextUnallocatedCluster(std::uint32_t Cluster, std::uint8_t FATNo);
    void ShowMountMessage(const std::string& Text, const std::string& Caption, bool Silent) const;
};

// Gives the drive a set of the directory clusters read, for as long as one search runs; a search
// started inside another shares the outer one's set.
class TDirSearchScope {
public:
    explicit TDirSearchScope(TFATdrive* Drive) : Drive(Drive) {
        if (Drive && !Drive->SearchedDirClusters) {
            Drive->SearchedDirClusters = &Clusters;
        } else {
            this->Drive = nullptr;
        }
    }
    ~TDirSearchScope() {
        if (Drive) Drive->SearchedDirClusters = nullptr;
    }
    TDirSearchScope(const TDirSearchScope&) = delete;
    TDirSearchScope& operator=(const TDirSearchScope&) = delete;

private:
    TFATdrive* Drive;
    TClusterSet Clusters;
};

}  // namespace quorvane
