#include "exfat_image_builder.h"

#include "exfat/exfat_boot.h"
#include "exfat/exfat_entry_set.h"

#include <cstring>

namespace quorvane::testing {

namespace {

void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, static_cast<std::uint16_t>(v));
    Put16(p + 2, static_cast<std::uint16_t>(v >> 16));
}
void Put64(std::uint8_t* p, std::uint64_t v) {
    Put32(p, static_cast<std::uint32_t>(v));
    Put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace

std::vector<std::uint8_t> EntrySetBytes(const std::string& Name, std::uint16_t Attributes, std::uint32_t FirstCluster,
                                        std::uint64_t Length, bool NoFatChain, bool Deleted,
                                        std::uint64_t ValidLength) {
    const std::size_t nameEntries = (Name.size() + 14) / 15;
    std::vector<std::uint8_t> set((2 + nameEntries) * 32, 0);
    std::uint8_t* file = set.data();
    file[0] = 0x85;
    file[1] = static_cast<std::uint8_t>(1 + nameEntries);
    Put16(file + 4, Attributes);
    Put32(file + 12, (45u << 25) | (6u << 21) | (15u << 16) | (12u << 11));  // 2025-06-15 12:00:00
    std::uint8_t* stream = file + 32;
    stream[0] = 0xC0;
    stream[1] = static_cast<std::uint8_t>(0x01 | (NoFatChain ? 0x02 : 0));
    stream[3] = static_cast<std::uint8_t>(Name.size());
    Put64(stream + 8, ValidLength == ~std::uint64_t{0} ? Length : ValidLength);
    Put32(stream + 20, FirstCluster);
    Put64(stream + 24, Length);
    for (std::size_t i = 0; i < Name.size(); ++i) {
        std::uint8_t* entry = file + 64 + (i / 15) * 32;
        entry[0] = 0xC1;
        Put16(entry + 2 + (i % 15) * 2, static_cast<unsigned char>(Name[i]));
    }
    Put16(file + 2, ExFATSetChecksum(set, false));
    if (Deleted)
        for (std::size_t at = 0; at < set.size(); at += 32) set[at] &= 0x7F;
    return set;
}

ExFATImage::ExFATImage() : Bytes(std::size_t{HeapOffset} * SectorBytes + std::size_t{Clusters} * ClusterBytes, 0) {
    std::uint8_t* boot = Bytes.data();
    boot[0] = 0xEB;
    boot[1] = 0x76;
    boot[2] = 0x90;
    std::memcpy(boot + 3, "EXFAT   ", 8);
    Put64(boot + 72, Bytes.size() / SectorBytes);
    Put32(boot + 80, FatOffset);
    Put32(boot + 84, FatLength);
    Put32(boot + 88, HeapOffset);
    Put32(boot + 92, Clusters);
    Put32(boot + 96, RootCluster);
    Put16(boot + 104, 0x0100);
    boot[108] = 9;
    boot[109] = 3;
    boot[110] = 1;
    boot[510] = 0x55;
    boot[511] = 0xAA;
    WriteBootChecksums();

    SetFat(0, 0xFFFFFFF8u);
    SetFat(1, EndOfChain);
    SetFat(RootCluster, EndOfChain);
    SetFat(BitmapCluster, EndOfChain);
    Allocate(RootCluster);
    Allocate(BitmapCluster);
    std::vector<std::uint8_t> bitmap(32, 0);
    bitmap[0] = 0x81;
    Put32(bitmap.data() + 20, BitmapCluster);
    Put64(bitmap.data() + 24, Clusters / 8);
    AddEntries(RootCluster, bitmap);
}

void ExFATImage::WriteBootChecksums() {
    // The main region is copied to the backup first, so both hold the same boot sector.
    std::memcpy(Bytes.data() + 12 * SectorBytes, Bytes.data(), 11 * SectorBytes);
    for (std::uint32_t region : {0u, 12u}) {
        std::uint8_t* start = Bytes.data() + region * SectorBytes;
        const std::uint32_t sum = ExFATBootChecksum({start, 11 * SectorBytes}, SectorBytes);
        for (std::uint32_t i = 0; i < SectorBytes; i += 4) Put32(start + 11 * SectorBytes + i, sum);
    }
}

void ExFATImage::SetFat(std::uint32_t C, std::uint32_t Value) {
    Put32(Bytes.data() + FatOffset * SectorBytes + C * 4, Value);
}

void ExFATImage::Allocate(std::uint32_t C, bool On) {
    std::uint8_t& byte = Cluster(BitmapCluster)[(C - 2) / 8];
    const auto bit = static_cast<std::uint8_t>(1u << ((C - 2) % 8));
    byte = On ? byte | bit : byte & ~bit;
}

void ExFATImage::AddEntries(std::uint32_t Dir, const std::vector<std::uint8_t>& Entries) {
    std::size_t& end = DirEnd[Dir];
    std::memcpy(Cluster(Dir) + end, Entries.data(), Entries.size());
    end += Entries.size();
}

void ExFATImage::FillClusters(std::uint32_t First, std::uint32_t Count, std::uint8_t Seed) {
    for (std::uint32_t c = First; c < First + Count; ++c)
        for (std::uint32_t i = 0; i < ClusterBytes; ++i)
            Cluster(c)[i] = static_cast<std::uint8_t>(Seed + c * 7 + i * 13);
}

}  // namespace quorvane::testing
