// Mounting a FAT volume: boot sector, geometry, FAT type, FAT trust, start directories, and the
// FAT entry reader that every chain walk uses.
#include "fat/fat_drive.h"

#include "fat/fat_messages.h"
#include "disk/devices.h"
#include "fat/fat_analyser.h"
#include "fat/fat_objects.h"

#include <algorithm>
#include <cstring>
#include <fmt/format.h>
#include <span>

namespace quorvane {

namespace {

constexpr std::uint32_t LargestClusterBytes = 32768;
// The FAT trust test gives up after this many FAT sectors that cannot be read.
constexpr std::uint32_t TrustTestUnreadableSectors = 16;

std::string LabelText(const std::array<std::uint8_t, VolumeLabelSize>& label) {
    auto end = std::find(label.begin(), label.end(), 0);
    return std::string(label.begin(), end);  // trailing spaces stay
}

}  // namespace

TFATdrive::TFATdrive() : Analyser(std::make_unique<TFATAnalyser>()) {}

TFATdrive::~TFATdrive() = default;

bool TFATdrive::ReadSec(std::int32_t Sector, std::uint16_t Count, void* Buffer, bool Prompt) {
    // The buffers of the engine hold 512-byte sectors; a device with larger sectors would overrun them.
    if (!Device || Device->BytesPerSector != FATSectorSize) return false;
    // Unsigned, so that a sector number past 2^31 wraps instead of overflowing.
    const auto deviceSector = static_cast<std::uint32_t>(Sector) + StartSector;
    return Device->ReadSec(static_cast<std::int32_t>(deviceSector), Count, Buffer, Prompt);
}

void TFATdrive::ShowMountMessage(const std::string& Text, const std::string& Caption, bool Silent) const {
    if (Silent) return;
    ShowFATMessage(Text, Caption, Caption == "Error" ? TFATMessageKind::Error : TFATMessageKind::Information);
}

bool TFATdrive::MountDrive(bool Silent) {
    if (Device && Device->BytesPerSector != FATSectorSize) {
        ShowMountMessage(fmt::format("This drive has sectors of {} bytes; only drives with 512-byte "
                                     "sectors can be read.",
                                     Device->BytesPerSector),
                         "Error", Silent);
        return false;
    }
    std::array<std::uint8_t, FATSectorSize> sector{};
    if (!ReadSec(static_cast<std::int32_t>(BootSector - StartSector), 1, sector.data(), true)) return false;
    BootSec = *DecodeBootSec(sector);
    bool result = CalcDriveInfo(BootSec, Silent);
    CreateStartItems();
    return result;
}

bool TFATdrive::CalcDriveInfo(const TBootSec& Boot, bool Silent) {
    const std::uint32_t BPS = Boot.BytesPerSector;
    const std::uint32_t SPC = Boot.SectorsPerCluster;
    const std::uint32_t NF = Boot.NumberOfFATs;
    const std::uint32_t RES = Boot.ReservedSectors;
    const std::uint32_t RE = Boot.RootEntryCount;
    // A refused volume keeps no type and no clusters, so no walk or search runs on it later.
    auto refuse = [&](const std::string& message) {
        FATType = ftNone;
        ClusterCount = 0;
        ShowMountMessage(message, "Error", Silent);
        return false;
    };
    auto badParameters = [&] {
        return refuse("Bad parameters for calculating logical drive information from Boot Sector");
    };

    if (BPS == 0) return badParameters();
    RootDirSectors = static_cast<std::uint16_t>((RE * 32 + BPS - 1) / BPS);
    FATSize = Boot.SectorsPerFAT16 != 0 ? Boot.SectorsPerFAT16 : Boot.SectorsPerFAT32;
    FATSectors = FATSize * NF;
    FirstDataSector = NF * FATSize + RES + RootDirSectors;
    TotalSectors = Boot.TotalSectors16 != 0 ? Boot.TotalSectors16 : Boot.TotalSectors32;
    // A volume smaller than its own FATs and root area has no data area to count clusters in.
    if (SPC == 0 || TotalSectors < FirstDataSector) return badParameters();
    DataSectors = TotalSectors - FirstDataSector;
    ClusterCount = DataSectors / SPC;
    FATType = FATTypeForClusterCount(ClusterCount);

    if (BPS != FATSectorSize) {
        return refuse(fmt::format("This volume has sectors of {} bytes; only volumes with 512-byte sectors can be read.",
                                  BPS));
    }
    // The cluster size is kept in 16 bits: a larger one would be cut, not refused.
    if (BPS * SPC > 0xFFFF) return refuse("This volume has clusters of 64 KB or more, which cannot be read.");
    BytesPerCluster = static_cast<std::uint16_t>(BPS * SPC);
    if (BytesPerCluster > LargestClusterBytes)
        ShowMountMessage(fmt::format("bad parameter in boot sector: bytes per sector ({}) > 32768 !",
                                     BytesPerCluster),
                         "Information", Silent);

    if (FATType == ftFAT32) {
        const std::uint32_t RC = Boot.RootCluster;
        if (RC > ClusterCount)
            ShowMountMessage(fmt::format("bad parameter in boot sector: root directory cluster ({}) > "
                                         "count of clusters !",
                                         RC),
                             "Information", Silent);
        else if (RC < 2)
            ShowMountMessage(fmt::format("bad parameter in boot sector: root directory cluster ({}) < 2 !", RC),
                             "Information", Silent);
        RootDirSector = (RC - 2) * SPC + FirstDataSector;
        RootCluster = RC;
    } else {
        RootDirSector = NF * FATSize + RES;
        RootCluster = 0;
    }

    FATBufSector = DirBufSector = FileBufSector = 0;
    ActiveFAT = 1;
    Name = LabelText(FATType == ftFAT32 ? Boot.VolumeLabel32 : Boot.VolumeLabel16);

    // A quick format leaves the FAT empty while the old directories and files are still in the
    // data area; then no chain can be followed and every one is taken as contiguous.
    if (!FATInUse()) ActiveFAT = 0;
    return true;
}

// Any used entry, a link or an end mark, shows that the FAT is kept up to date, except the end mark
// of the FAT32 root's first cluster, the one entry a format writes (a root that has grown past its
// first cluster has been written to). The whole FAT is looked at, not its first entries: deleting
// the first photos of a card frees every cluster after the folders', whose entries are end marks.
// The FAT is read once, in order, through the FAT window, up to the first used entry, the end of
// the FAT, the end of the device or too many unreadable sectors.
bool TFATdrive::FATInUse() {
    const std::uint64_t fatEnd = std::uint64_t{BootSec.ReservedSectors} + FATSize;
    std::uint32_t unreadable = 0;
    std::uint32_t lastSector = 0;
    bool used = false;
    for (std::uint32_t c = 2; IsValidCluster(c) && !used; ++c) {
        const std::uint64_t sector = FATEntryOffset(FATType, c) / FATSectorSize + std::uint64_t{BootSec.ReservedSectors};
        if (sector >= fatEnd || (SectorCount != 0 && sector >= SectorCount)) break;
        if (sector != lastSector) {
            lastSector = static_cast<std::uint32_t>(sector);
            if (!ReadCachedSector(lastSector, FATBuf.data(), FATBufSector) &&
                ++unreadable >= TrustTestUnreadableSectors)
                break;
        }
        const TClusterKind kind = ClusterType(FATType, GetFAT(c, 0));
        used = kind == ctUsed || (kind == ctEOF && c != RootCluster);
    }
    // The window is left empty, as a mount found it.
    FATBufSector = 0;
    return used;
}

void TFATdrive::CreateStartItems() {
    auto make = [this](const char* name, std::uint32_t cluster, std::uint32_t sector, bool withList) {
        auto dir = std::make_unique<TFATDirectory>();
        dir->Name = name;
        dir->Drive = this;
        dir->FirstCluster = cluster;
        dir->FirstSector = sector;
        if (withList) dir->Children = std::make_shared<TChildList>();
        return dir;
    };
    RootDir = make("Root", RootCluster, RootDirSector, false);
    DeletedDir = make("Deleted", RootCluster, RootDirSector, false);
    LostDir = make("Lost", 0, 0, true);
    SearchedDir = make("Searched", 0, 0, true);
}

TFATDirectory* TFATdrive::FATRootDir() const { return static_cast<TFATDirectory*>(RootDir.get()); }
TFATDirectory* TFATdrive::FATDeletedDir() const { return static_cast<TFATDirectory*>(DeletedDir.get()); }
TFATDirectory* TFATdrive::FATLostDir() const { return static_cast<TFATDirectory*>(LostDir.get()); }
TFATDirectory* TFATdrive::FATSearchedDir() const { return static_cast<TFATDirectory*>(SearchedDir.get()); }

bool TFATdrive::IsValidCluster(std::uint32_t Cluster) const {
    return Cluster >= 2 && Cluster <= std::uint64_t{ClusterCount} + 1;
}

std::uint32_t TFATdrive::Cluster2Sec(std::uint32_t Cluster) const {
    return (Cluster - 2) * SectorsPerCluster() + FirstDataSector;
}

std::uint32_t TFATdrive::Sec2Cluster(std::uint32_t Sector) const {
    if (SectorsPerCluster() == 0) return 0;
    return (Sector - FirstDataSector) / SectorsPerCluster() + 2;
}

bool TFATdrive::ReadCachedSector(std::uint32_t Sector, std::uint8_t* Buffer, std::uint32_t& CachedSector) {
    if (Sector == CachedSector) return true;
    CachedSector = Sector;
    if (ReadSec(static_cast<std::int32_t>(Sector), 1, Buffer, true)) return true;
    // What cannot be read is held as zeros: a FAT entry that cannot be read is 0 (free), a
    // directory sector that cannot be read ends the walk at its first entry.
    std::memset(Buffer, 0, FATSectorSize);
    return false;
}

std::uint32_t TFATdrive::GetFAT(std::uint32_t Cluster, std::uint8_t FATIndex) {
    if (!IsValidCluster(Cluster) || FATType == ftNone) return 0;
    const std::uint32_t off = FATEntryOffset(FATType, Cluster);
    const std::uint32_t s = off / FATSectorSize + FATIndex * FATSize + BootSec.ReservedSectors;
    const std::uint32_t w = off % FATSectorSize;
    ReadCachedSector(s, FATBuf.data(), FATBufSector);
    // A FAT12 entry at the last byte of a sector takes its high bits from the next sector, which is
    // read every time (it is not what the window is keyed by).
    if (FATType == ftFAT12 && w == FATSectorSize - 1) {
        if (!ReadSec(static_cast<std::int32_t>(s + 1), 1, FATBuf.data() + FATSectorSize, true))
            std::memset(FATBuf.data() + FATSectorSize, 0, FATSectorSize);
    }
    auto entry = DecodeFATEntry(FATType, Cluster, std::span<const std::uint8_t>(FATBuf).subspan(w));
    return entry.value_or(0);
}

void TFATdrive::AddDriveToTree(TTreeView*) {}

void TFATdrive::AddListViewColumns(TListView& ListView) {
    for (auto [caption, width] : {std::pair{"Name", 150}, {"Size", 60}, {"Date modified", 100},
                                  {"Cluster", 60}, {"Condition", 60}, {"Type", 100}})
        ListView.Columns.push_back({caption, width});
}

void TFATdrive::SaveListViewItems(TListView&) {}

}  // namespace quorvane
