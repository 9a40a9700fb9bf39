#pragma once
// Small exFAT images made by hand, for what the real tools never write: damaged entry sets, FAT
// chains that loop or leave the volume, directories that contain themselves, cleared FAT entries.
// The geometry is fixed: 512-byte sectors, 4 KiB clusters, 64 clusters, the root in cluster 2 and
// the allocation bitmap in cluster 3.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quorvane::testing {

// The bytes of an entry set for Name (ASCII) with a checksum that holds; Deleted clears the in-use
// bits afterwards, as deleting a file does.
// ValidLength: the valid data length, when not the whole length.
std::vector<std::uint8_t> EntrySetBytes(const std::string& Name, std::uint16_t Attributes, std::uint32_t FirstCluster,
                                        std::uint64_t Length, bool NoFatChain, bool Deleted = false,
                                        std::uint64_t ValidLength = ~std::uint64_t{0});

class ExFATImage {
public:
    static constexpr std::uint32_t SectorBytes = 512;
    static constexpr std::uint32_t ClusterBytes = 4096;
    static constexpr std::uint32_t FatOffset = 24, FatLength = 8, HeapOffset = 32, Clusters = 64;
    static constexpr std::uint32_t RootCluster = 2, BitmapCluster = 3;
    static constexpr std::uint32_t EndOfChain = 0xFFFFFFFFu;

    ExFATImage();

    std::uint8_t* Cluster(std::uint32_t C) {
        return Bytes.data() + (HeapOffset * SectorBytes + std::size_t{C - 2} * ClusterBytes);
    }
    void SetFat(std::uint32_t C, std::uint32_t Value);
    void Allocate(std::uint32_t C, bool On = true);
    // Appends entries after the last ones written to the directory whose first cluster is Dir.
    void AddEntries(std::uint32_t Dir, const std::vector<std::uint8_t>& Entries);
    // Fills Count clusters from First with bytes made from Seed.
    void FillClusters(std::uint32_t First, std::uint32_t Count, std::uint8_t Seed);
    // Rewrites both boot regions' checksum sectors after a change to the boot sector.
    void WriteBootChecksums();

    std::vector<std::uint8_t> Bytes;

private:
    std::map<std::uint32_t, std::size_t> DirEnd;
};

}  // namespace quorvane::testing
