#pragma once
// Small FAT12/16/32 volumes built in memory, for the faults that real formatting tools never
// write: chains that loop or leave the volume, long names with wrong checksums, zero sectors per
// cluster, FAT12 entries across a sector boundary, deleted files over free clusters.
//
// The builder writes a boot sector, FAT entries (into every FAT copy) and directory entries into a
// byte vector. MemoryDevice serves those bytes as a TDevice and records which sectors were read.
#include "disk/devices.h"
#include "fat/fat_drive.h"

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::testing {

using Bytes = std::vector<std::uint8_t>;
using RawEntry = std::array<std::uint8_t, 32>;

struct FatLayout {
    std::uint16_t bytesPerSector = 512;
    std::uint8_t sectorsPerCluster = 1;
    std::uint16_t reservedSectors = 1;
    std::uint8_t numberOfFATs = 2;
    std::uint16_t rootEntryCount = 16;  // 0 for FAT32
    std::uint32_t totalSectors = 0;     // written to the 16-bit field when it fits (and not FAT32)
    std::uint32_t sectorsPerFAT = 1;
    bool fat32 = false;                 // the FAT32 layout: 32-bit FAT size, root cluster, label at 71
    std::uint32_t rootCluster = 2;      // FAT32 layout only
    std::string label = "TESTCARD   ";

    // A volume of the given type with `clusters` data clusters of `sectorsPerCluster` sectors.
    static FatLayout Fat12(std::uint32_t clusters, std::uint8_t sectorsPerCluster = 1);
    static FatLayout Fat16(std::uint32_t clusters, std::uint8_t sectorsPerCluster = 1);
    static FatLayout Fat32(std::uint32_t clusters, std::uint8_t sectorsPerCluster = 1);
};

// Where directory entries are written: the fixed root area (cluster 0) or a directory whose
// clusters are listed (entries fill them in turn).
struct DirSlot {
    std::uint32_t sector = 0;             // first sector of the fixed root area
    std::vector<std::uint32_t> clusters;  // the directory's clusters, empty for the fixed root
    std::uint32_t next = 0;               // index of the next free entry
};

class FatImage {
public:
    explicit FatImage(const FatLayout& layout);

    // Geometry as the format defines it.
    std::uint8_t FatType() const;  // 1, 2, 3 by cluster count
    std::uint32_t ClusterCount() const;
    std::uint32_t FirstDataSector() const;
    std::uint32_t RootDirSector() const;  // fixed root area (FAT12/16)
    std::uint32_t ClusterSector(std::uint32_t cluster) const;
    std::uint32_t BytesPerCluster() const;

    // Writes a FAT entry into every FAT copy (FAT12 entries packed in 12 bits).
    void SetFat(std::uint32_t cluster, std::uint32_t value);
    // Links the clusters in order and ends the chain with an end-of-chain mark.
    void Chain(const std::vector<std::uint32_t>& clusters);
    // Writes data from the first byte of cluster `first` onwards (across following clusters).
    void WriteData(std::uint32_t first, const Bytes& data);
    void WriteSector(std::uint32_t sector, const Bytes& data);

    DirSlot Root() const;
    DirSlot Dir(std::vector<std::uint32_t> clusters) const;
    void Put(DirSlot& dir, const RawEntry& entry);
    void Put(DirSlot& dir, const std::vector<RawEntry>& entries);

    // A file of `data` in consecutive clusters from `first`, chained (unless `chained` is false) and
    // listed in `dir` under an 8.3 name ("NAME    EXT") and optionally a long name.
    void AddFile(DirSlot& dir, std::string_view name11, std::uint32_t first, const Bytes& data,
                 std::string_view longName = {}, bool chained = true);
    // A subdirectory in `cluster` with its "." and ".." entries, listed in `parent`.
    DirSlot AddDir(DirSlot& parent, std::string_view name11, std::uint32_t cluster, std::uint32_t parentCluster = 0);

    const FatLayout& Layout() const { return layout_; }
    std::shared_ptr<Bytes> bytes;

private:
    std::uint32_t EntrySector(const DirSlot& dir, std::uint32_t index) const;
    FatLayout layout_;
};

// A short entry: 11 name bytes ("README  TXT"), attributes, first cluster, size, write time and date.
RawEntry ShortEntry(std::string_view name11, std::uint8_t attr, std::uint32_t cluster, std::uint32_t size,
                    std::uint16_t writeTime = 0, std::uint16_t writeDate = 0);
// The long-name pieces of `longName` for the short name, in disk order (the end of the name first).
std::vector<RawEntry> LongNameEntries(std::string_view longName, std::string_view name11);
// Marks an entry (or pieces) deleted: first byte 0xE5.
RawEntry Deleted(RawEntry entry);
std::vector<RawEntry> Deleted(std::vector<RawEntry> entries);

// Deterministic bytes that differ in every sector, so misplaced sectors show in comparisons.
Bytes Pattern(std::size_t size, std::uint8_t seed);

// A device that serves an image from memory and records the sectors it was asked for.
class MemoryDevice : public TDevice {
public:
    explicit MemoryDevice(std::shared_ptr<Bytes> bytes);
    bool ReadSec(std::int32_t Sector, std::uint16_t Count, void* Buffer, bool Prompt) override;

    std::shared_ptr<Bytes> bytes;
    std::set<std::uint32_t> failing;    // sectors whose reads fail
    std::vector<std::uint32_t> reads;   // first sector of every read, in order
};

// A drive over an image, mounted the way the drive list mounts one (messages suppressed unless
// silent is false). The device lives as long as the drive.
struct MountedImage {
    std::unique_ptr<MemoryDevice> device;
    std::unique_ptr<TFATdrive> drive;
    bool mounted = false;
};
MountedImage Mount(std::shared_ptr<Bytes> bytes, bool silent = true);
inline MountedImage Mount(const FatImage& image, bool silent = true) { return Mount(image.bytes, silent); }

}  // namespace quorvane::testing
