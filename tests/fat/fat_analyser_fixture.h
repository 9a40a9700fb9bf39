#pragma once
// Hand-built directory entries and a small FAT16 volume in memory for the structure analyser's
// tests. Each builder makes a plausible record; a test changes one field to show one fault.
#include "fat/fat_drive.h"
#include "fat/fat_formats.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <span>
#include <vector>

namespace quorvane::analyser_test {

using Raw = std::array<std::uint8_t, 32>;

inline void PutLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutLe32(std::uint8_t* p, std::uint32_t v) {
    PutLe16(p, static_cast<std::uint16_t>(v));
    PutLe16(p + 2, static_cast<std::uint16_t>(v >> 16));
}
inline void PutLe16(Raw& e, std::size_t at, std::uint16_t v) { PutLe16(e.data() + at, v); }
inline void PutLe32(Raw& e, std::size_t at, std::uint32_t v) { PutLe32(e.data() + at, v); }

constexpr std::uint16_t Time(int h, int m, int s) { return static_cast<std::uint16_t>(h << 11 | m << 5 | s / 2); }
constexpr std::uint16_t Date(int y, int mo, int d) { return static_cast<std::uint16_t>((y - 1980) << 9 | mo << 5 | d); }

// A live 8.3 entry with plausible times and dates.
inline Raw FileEntry(const char* name11 = "DSC00001JPG", std::uint32_t cluster = 5, std::uint32_t size = 40000,
                     std::uint8_t attr = faArchive) {
    Raw e{};
    std::memcpy(e.data(), name11, 11);
    e[11] = attr;
    PutLe16(e, 14, Time(10, 30, 20));
    PutLe16(e, 16, Date(2004, 6, 15));
    PutLe16(e, 18, Date(2004, 6, 16));
    PutLe16(e, 20, static_cast<std::uint16_t>(cluster >> 16));
    PutLe16(e, 22, Time(10, 31, 0));
    PutLe16(e, 24, Date(2004, 6, 15));
    PutLe16(e, 26, static_cast<std::uint16_t>(cluster));
    PutLe32(e, 28, size);
    return e;
}

inline Raw DirEntry(const char* name11, std::uint32_t cluster) { return FileEntry(name11, cluster, 0, faDirectory); }

inline Raw LabelEntry(const char* name11 = "CANON_DC   ") {
    Raw e{};
    std::memcpy(e.data(), name11, 11);
    e[11] = faVolumeLabel;
    PutLe16(e, 22, Time(9, 0, 0));
    PutLe16(e, 24, Date(2004, 1, 1));
    return e;
}

// A long-name piece: sequence byte, 13 UTF-16 characters (high bytes 0), attribute 0x0F, cluster 0.
inline Raw LongNamePiece(std::uint8_t sequence, const char* chars13, std::uint8_t checksum = 0x5A) {
    Raw e{};
    e[0] = sequence;
    const std::size_t slots[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (std::size_t i = 0; i < 13; ++i) e[slots[i]] = static_cast<std::uint8_t>(chars13[i]);
    e[11] = faLongName;
    e[13] = checksum;
    return e;
}

inline TDirEntry Decode(const Raw& raw) { return *DecodeDirEntry(raw); }

// A FAT16 volume of 8400 sectors: 1 reserved sector, two FATs of 17 sectors, a fixed root of 512
// entries (32 sectors) at sector 35, 2 sectors per cluster from sector 67; 4166 clusters.
class Fat16Image {
public:
    static constexpr std::uint32_t TotalSectors = 8400;
    static constexpr std::uint32_t SectorsPerCluster = 2;
    static constexpr std::uint32_t FATSize = 17;
    static constexpr std::uint32_t RootDirSector = 35;
    static constexpr std::uint32_t FirstDataSector = 67;
    static constexpr std::uint32_t ClusterCount = (TotalSectors - FirstDataSector) / SectorsPerCluster;
    static constexpr std::uint32_t EntriesPerCluster = SectorsPerCluster * 16;

    Fat16Image() : bytes(TotalSectors * 512, 0) {
        std::uint8_t* b = bytes.data();
        b[0] = 0xEB; b[1] = 0x3C; b[2] = 0x90;
        std::memcpy(b + 3, "MSDOS5.0", 8);
        PutLe16(b + 11, 512);
        b[13] = SectorsPerCluster;
        PutLe16(b + 14, 1);
        b[16] = 2;
        PutLe16(b + 17, 512);
        PutLe16(b + 19, TotalSectors);
        b[21] = 0xF8;
        PutLe16(b + 22, FATSize);
        std::memcpy(b + 43, "NO NAME    ", 11);
        std::memcpy(b + 54, "FAT16   ", 8);
        b[510] = 0x55; b[511] = 0xAA;
        SetFAT(0, 0xFFF8);
        SetFAT(1, 0xFFFF);
    }

    void SetFAT(std::uint32_t cluster, std::uint16_t value) {
        for (std::uint32_t copy = 0; copy < 2; ++copy) {
            PutLe16(bytes.data() + (1 + copy * FATSize) * 512 + 2 * cluster, value);
        }
    }
    static std::uint32_t ClusterSector(std::uint32_t cluster) {
        return (cluster - 2) * SectorsPerCluster + FirstDataSector;
    }
    // Entry number index of the run of sectors that starts at sector.
    void PutEntry(std::uint32_t sector, std::uint32_t index, const Raw& entry) {
        std::memcpy(bytes.data() + sector * 512 + index * 32, entry.data(), 32);
    }
    void PutClusterEntry(std::uint32_t cluster, std::uint32_t index, const Raw& entry) {
        PutEntry(ClusterSector(cluster), index, entry);
    }
    void PutClusterBytes(std::uint32_t cluster, std::size_t offset, std::span<const std::uint8_t> data) {
        std::memcpy(bytes.data() + ClusterSector(cluster) * 512 + offset, data.data(), data.size());
    }

    std::vector<std::uint8_t> bytes;
};

// A FAT drive whose sectors come from an image in memory. Sectors listed in failingSectors make a
// read fail the way a scratched card does.
class ImageDrive : public TFATdrive {
public:
    explicit ImageDrive(std::vector<std::uint8_t> image) : image_(std::move(image)) {}

    bool ReadSec(std::int32_t Sector, std::uint16_t Count, void* Buffer, bool /*Prompt*/) override {
        ++reads;
        const std::uint64_t first = static_cast<std::uint32_t>(Sector);
        if ((first + Count) * 512 > image_.size()) return false;
        for (std::uint64_t s = first; s < first + Count; ++s) {
            if (failingSectors.count(s)) return false;
        }
        std::memcpy(Buffer, image_.data() + first * 512, std::size_t{Count} * 512);
        return true;
    }

    // Works out the geometry from the image's boot sector, as mounting does.
    bool Mount() {
        const auto boot = DecodeBootSec(std::span<const std::uint8_t>(image_).first(BootSecSize));
        if (!boot) return false;
        BootSec = *boot;
        return CalcDriveInfo(BootSec, true);
    }

    std::set<std::uint64_t> failingSectors;
    int reads = 0;

private:
    std::vector<std::uint8_t> image_;
};

}  // namespace quorvane::analyser_test
