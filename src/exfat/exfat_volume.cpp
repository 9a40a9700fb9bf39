// Mounting an exFAT volume: the boot region (main, else backup), the geometry, the allocation
// bitmap and the volume label from the root directory, and the FAT entry reader.
#include "exfat/exfat_drive.h"

#include "disk/devices.h"
#include "exfat/exfat_bytes.h"
#include "exfat/exfat_entry_set.h"
#include "exfat/exfat_objects.h"

#include <algorithm>
#include <cstring>

namespace quorvane {

namespace {

// The label entry holds at most 11 UTF-16 characters; the program's names are 8-bit, so
// characters past Latin-1 become '_'.
std::string LabelFromEntry(const std::uint8_t* Entry) {
    const std::uint32_t count = std::min<std::uint32_t>(Entry[1], 11);
    std::string label;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint16_t c = ExFATU16(Entry + 2 + 2 * i);
        label += c < 0x20 ? '_' : c < 0x100 ? static_cast<char>(c) : '_';
    }
    return label;
}

}  // namespace

TExFATdrive::TExFATdrive() = default;
TExFATdrive::~TExFATdrive() = default;

bool TExFATdrive::ReadSec(std::int32_t Sector, std::uint16_t Count, void* Buffer, bool Prompt) {
    if (!Device || Device->BytesPerSector != ExFATDeviceSectorBytes) return false;
    const auto deviceSector = static_cast<std::uint32_t>(Sector) + StartSector;
    return Device->ReadSec(static_cast<std::int32_t>(deviceSector), Count, Buffer, Prompt);
}

bool TExFATdrive::ReadSectors(std::uint64_t Sector, std::uint32_t Count, std::uint8_t* Buffer) {
    // The device is addressed with 32-bit sector numbers.
    auto readable = [this](std::uint64_t s, std::uint32_t n) {
        return s + n <= 0xFFFFFFFFull && (SectorCount == 0 || s + n <= SectorCount);
    };
    constexpr std::uint32_t MaxBulk = 0xFFFF;
    if (Count == 0) return true;
    if (Count <= MaxBulk && readable(Sector, Count) &&
        ReadSec(static_cast<std::int32_t>(Sector), static_cast<std::uint16_t>(Count), Buffer, true))
        return true;
    bool all = true;
    for (std::uint32_t i = 0; i < Count; ++i) {
        std::uint8_t* out = Buffer + std::size_t{i} * ExFATDeviceSectorBytes;
        if (!readable(Sector + i, 1) || !ReadSec(static_cast<std::int32_t>(Sector + i), 1, out, true)) {
            std::memset(out, 0, ExFATDeviceSectorBytes);
            all = false;
        }
    }
    return all;
}

bool TExFATdrive::ReadBootRegion(std::uint32_t SectorShift, bool Backup, std::vector<std::uint8_t>& Region) {
    const std::uint32_t perSector = (std::uint32_t{1} << SectorShift) / ExFATDeviceSectorBytes;
    const std::uint32_t sectors = perSector * ExFATBootRegionSectors;
    Region.assign(std::size_t{sectors} * ExFATDeviceSectorBytes, 0);
    const std::uint64_t first = std::uint64_t{BootSector - StartSector} + (Backup ? sectors : 0);
    return ReadSectors(first, sectors, Region.data());
}

bool TExFATdrive::MountDrive(bool /*Silent*/) {
    // The engine's buffers hold 512-byte device sectors.
    if (!Device || Device->BytesPerSector != ExFATDeviceSectorBytes) return false;
    std::vector<std::uint8_t> region;
    std::optional<TExFATBoot> found;
    std::optional<TExFATBoot> unchecked;  // a main boot sector that decodes but fails its checksum
    if (ReadBootRegion(ExFATMinSectorShift, false, region)) {
        unchecked = DecodeExFATBoot(region);
        if (unchecked && ReadBootRegion(unchecked->BytesPerSectorShift, false, region))
            found = CheckedExFATBootRegion(region);
    }
    // The backup region starts at sector 12 of whatever size the volume's sectors have.
    for (std::uint32_t shift = ExFATMinSectorShift; !found && shift <= ExFATMaxSectorShift; ++shift) {
        if (!ReadBootRegion(shift, true, region)) continue;
        if (auto backup = CheckedExFATBootRegion(region); backup && backup->BytesPerSectorShift == shift) {
            found = backup;
            BootFromBackup = true;
        }
    }
    // Neither checksum holds: a main boot sector whose fields make sense is better than nothing.
    if (!found) found = unchecked;
    if (!found || !SetGeometry(*found)) return false;
    CreateStartItems();
    ReadRootEntries();
    return true;
}

bool TExFATdrive::SetGeometry(const TExFATBoot& Found) {
    Boot = Found;
    const std::uint32_t perSector = Boot.BytesPerSector() / ExFATDeviceSectorBytes;
    SectorsPerCluster = perSector << Boot.SectorsPerClusterShift;
    BytesPerCluster = SectorsPerCluster * ExFATDeviceSectorBytes;
    FatSector = (std::uint64_t{Boot.FatOffset} + (Boot.SecondFatActive() ? Boot.FatLength : 0)) * perSector;
    FatSectors = std::uint64_t{Boot.FatLength} * perSector;
    FirstDataSector = std::uint64_t{Boot.ClusterHeapOffset} * perSector;
    std::uint64_t clusters = Boot.ClusterCount;
    // A boot sector can claim more clusters than the device holds: the walks and the lost data
    // search need not go past the device's end. A cluster cut by the end still counts; its
    // missing sectors read as zeros.
    if (SectorCount != 0) {
        const std::uint64_t onDevice = SectorCount > FirstDataSector
                                           ? (SectorCount - FirstDataSector + SectorsPerCluster - 1) / SectorsPerCluster
                                           : 0;
        clusters = std::min(clusters, onDevice);
    }
    // The FAT must have an entry for every cluster.
    clusters = std::min<std::uint64_t>(clusters, FatSectors * ExFATDeviceSectorBytes / 4 - 2);
    ClusterCount = static_cast<std::uint32_t>(clusters);
    FatBufSector = ~std::uint64_t{0};
    return ClusterCount != 0;
}

void TExFATdrive::CreateStartItems() {
    auto make = [this](const char* name, bool root, bool withList) {
        auto dir = std::make_unique<TExFATDirectory>();
        dir->Name = name;
        dir->UnicodeName = name;
        dir->Drive = this;
        if (root) {
            dir->Extent.FirstCluster = Boot.RootCluster;
            dir->Extent.ToChainEnd = true;
        }
        if (withList) dir->Children = std::make_shared<TChildList>();
        return dir;
    };
    RootDir = make("Root", true, false);
    DeletedDir = make("Deleted", true, false);
    LostDir = make("Lost", false, true);
    SearchedDir = make("Searched", false, true);
}

// The root holds the allocation bitmap's entry (the one of the active FAT when there are two) and
// the volume label.
void TExFATdrive::ReadRootEntries() {
    const std::vector<std::uint8_t> root = ReadDirectoryBytes(ExRootDir()->Extent);
    const std::uint8_t wantedBitmap = Boot.SecondFatActive() ? 1 : 0;
    const std::uint8_t* bitmapEntry = nullptr;
    for (std::size_t at = 0; at + ExFATEntryBytes <= root.size(); at += ExFATEntryBytes) {
        const std::uint8_t* e = root.data() + at;
        if (e[0] == ExFATEndOfDirectory) break;
        if (e[0] == ExFATBitmapEntry && (e[1] & 1) == wantedBitmap && !bitmapEntry) bitmapEntry = e;
        if (e[0] == ExFATLabelEntry && Name.empty()) Name = LabelFromEntry(e);
    }
    Bitmap.clear();
    if (!bitmapEntry) return;
    const std::uint64_t needed = (std::uint64_t{ClusterCount} + 7) / 8;
    TExFATExtent extent;
    extent.FirstCluster = ExFATU32(bitmapEntry + 20);
    extent.Length = std::min(ExFATU64(bitmapEntry + 24), needed);
    extent.ValidLength = extent.Length;
    if (!IsValidCluster(extent.FirstCluster) || extent.Length < needed) return;
    Bitmap.assign(static_cast<std::size_t>(extent.Length), 0);
    TExFATClusterWalk walk(*this, extent);
    std::vector<std::uint8_t> cluster(BytesPerCluster);
    for (std::size_t at = 0; at < Bitmap.size();) {
        const std::uint32_t c = walk.Next();
        if (c == 0) break;
        ReadSectors(Cluster2Sec(c), SectorsPerCluster, cluster.data());
        const std::size_t n = std::min<std::size_t>(BytesPerCluster, Bitmap.size() - at);
        std::memcpy(Bitmap.data() + at, cluster.data(), n);
        at += n;
    }
}

std::uint32_t TExFATdrive::GetFAT(std::uint32_t Cluster) {
    if (!IsValidCluster(Cluster)) return 0;
    const std::uint64_t offset = std::uint64_t{Cluster} * 4;
    const std::uint64_t sector = FatSector + offset / ExFATDeviceSectorBytes;
    if (sector != FatBufSector) {
        FatBufSector = sector;
        if (!ReadSectors(sector, 1, FatBuf.data())) std::memset(FatBuf.data(), 0, FatBuf.size());
    }
    return ExFATU32(FatBuf.data() + offset % ExFATDeviceSectorBytes);
}

bool TExFATdrive::ClusterAllocated(std::uint32_t Cluster) const {
    if (!IsValidCluster(Cluster)) return false;
    const std::uint32_t bit = Cluster - 2;
    return bit / 8 < Bitmap.size() && (Bitmap[bit / 8] >> (bit % 8) & 1) != 0;
}

std::vector<std::uint8_t> TExFATdrive::ReadDirectoryBytes(const TExFATExtent& Extent) {
    std::vector<std::uint8_t> bytes;
    if (BytesPerCluster == 0) return bytes;
    TExFATClusterWalk walk(*this, Extent);
    const std::uint64_t length =
        Extent.ToChainEnd ? ExFATMaxDirectoryBytes : std::min<std::uint64_t>(Extent.Length, ExFATMaxDirectoryBytes);
    while (bytes.size() < length) {
        const std::uint32_t c = walk.Next();
        if (c == 0) break;
        const std::size_t at = bytes.size();
        bytes.resize(at + BytesPerCluster);
        ReadSectors(Cluster2Sec(c), SectorsPerCluster, bytes.data() + at);
        // The end-of-directory entry ends the directory; the clusters after it hold nothing of it.
        bool ended = false;
        for (std::size_t e = at; e < bytes.size(); e += ExFATEntryBytes) {
            if (bytes[e] == ExFATEndOfDirectory) {
                ended = true;
                break;
            }
        }
        if (ended) break;
    }
    if (bytes.size() > length) bytes.resize(static_cast<std::size_t>(length));
    return bytes;
}

TExFATDirectory* TExFATdrive::ExRootDir() const { return static_cast<TExFATDirectory*>(RootDir.get()); }
TExFATDirectory* TExFATdrive::ExDeletedDir() const { return static_cast<TExFATDirectory*>(DeletedDir.get()); }
TExFATDirectory* TExFATdrive::ExLostDir() const { return static_cast<TExFATDirectory*>(LostDir.get()); }
TExFATDirectory* TExFATdrive::ExSearchedDir() const { return static_cast<TExFATDirectory*>(SearchedDir.get()); }

void TExFATdrive::AddListViewColumns(TListView& ListView) {
    for (auto [caption, width] : {std::pair{"Name", 150},
                                  {"Size", 60},
                                  {"Date modified", 100},
                                  {"Cluster", 60},
                                  {"Condition", 60},
                                  {"Type", 100}})
        ListView.Columns.push_back({caption, width});
}

}  // namespace quorvane
