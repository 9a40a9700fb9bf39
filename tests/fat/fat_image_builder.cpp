#include "fat/fat_image_builder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace quorvane::testing {

namespace {

void PutLe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutLe32(std::uint8_t* p, std::uint32_t v) {
    PutLe16(p, v);
    PutLe16(p + 2, v >> 16);
}

std::uint32_t DivUp(std::uint32_t a, std::uint32_t b) { return (a + b - 1) / b; }

FatLayout Sized(FatLayout l, std::uint32_t clusters, std::uint32_t entryBits) {
    const std::uint32_t fatBytes = DivUp((clusters + 2) * entryBits, 8);
    l.sectorsPerFAT = DivUp(fatBytes, l.bytesPerSector);
    const std::uint32_t rootSectors = DivUp(l.rootEntryCount * 32u, l.bytesPerSector);
    l.totalSectors = l.reservedSectors + l.numberOfFATs * l.sectorsPerFAT + rootSectors + clusters * l.sectorsPerCluster;
    return l;
}

std::array<std::uint8_t, 11> Name11(std::string_view name11) {
    if (name11.size() != 11) throw std::invalid_argument("short names are 11 bytes");
    std::array<std::uint8_t, 11> n{};
    std::memcpy(n.data(), name11.data(), 11);
    return n;
}

}  // namespace

FatLayout FatLayout::Fat12(std::uint32_t clusters, std::uint8_t spc) {
    FatLayout l;
    l.sectorsPerCluster = spc;
    return Sized(l, clusters, 12);
}

FatLayout FatLayout::Fat16(std::uint32_t clusters, std::uint8_t spc) {
    FatLayout l;
    l.sectorsPerCluster = spc;
    return Sized(l, clusters, 16);
}

FatLayout FatLayout::Fat32(std::uint32_t clusters, std::uint8_t spc) {
    FatLayout l;
    l.sectorsPerCluster = spc;
    l.fat32 = true;
    l.rootEntryCount = 0;
    l.reservedSectors = 8;
    return Sized(l, clusters, 32);
}

FatImage::FatImage(const FatLayout& layout)
    : bytes(std::make_shared<Bytes>(std::size_t{layout.totalSectors} * layout.bytesPerSector)), layout_(layout) {
    std::uint8_t* b = bytes->data();
    b[0] = 0xEB, b[1] = 0x3C, b[2] = 0x90;
    std::memcpy(b + 3, "MSWIN4.1", 8);
    PutLe16(b + 11, layout.bytesPerSector);
    b[13] = layout.sectorsPerCluster;
    PutLe16(b + 14, layout.reservedSectors);
    b[16] = layout.numberOfFATs;
    PutLe16(b + 17, layout.rootEntryCount);
    b[21] = 0xF8;
    if (!layout.fat32 && layout.totalSectors < 0x10000)
        PutLe16(b + 19, layout.totalSectors);
    else
        PutLe32(b + 32, layout.totalSectors);
    std::string label = (layout.label + "           ").substr(0, 11);
    if (layout.fat32) {
        PutLe32(b + 36, layout.sectorsPerFAT);
        PutLe32(b + 44, layout.rootCluster);
        b[66] = 0x29;
        std::memcpy(b + 71, label.data(), 11);
        std::memcpy(b + 82, "FAT32   ", 8);
    } else {
        PutLe16(b + 22, layout.sectorsPerFAT);
        b[38] = 0x29;
        std::memcpy(b + 43, label.data(), 11);
        std::memcpy(b + 54, "FAT     ", 8);
    }
    if (layout.bytesPerSector >= 512) b[510] = 0x55, b[511] = 0xAA;
    // The two reserved entries at the start of every FAT: media byte and an end mark.
    if (layout.sectorsPerCluster != 0 && layout.totalSectors > FirstDataSector()) {
        SetFat(0, 0x0FFFFFF8);
        SetFat(1, 0x0FFFFFFF);
        if (FatType() == 3) SetFat(layout.rootCluster, 0x0FFFFFFF);
    }
}

std::uint32_t FatImage::FirstDataSector() const {
    return layout_.reservedSectors + layout_.numberOfFATs * layout_.sectorsPerFAT +
           DivUp(layout_.rootEntryCount * 32u, layout_.bytesPerSector);
}

std::uint32_t FatImage::ClusterCount() const {
    return (layout_.totalSectors - FirstDataSector()) / layout_.sectorsPerCluster;
}

std::uint8_t FatImage::FatType() const {
    const std::uint32_t n = ClusterCount();
    return n < 4085 ? 1 : n < 65525 ? 2 : 3;
}

std::uint32_t FatImage::RootDirSector() const {
    return layout_.reservedSectors + layout_.numberOfFATs * layout_.sectorsPerFAT;
}

std::uint32_t FatImage::ClusterSector(std::uint32_t cluster) const {
    return (cluster - 2) * layout_.sectorsPerCluster + FirstDataSector();
}

std::uint32_t FatImage::BytesPerCluster() const { return layout_.sectorsPerCluster * layout_.bytesPerSector; }

void FatImage::SetFat(std::uint32_t cluster, std::uint32_t value) {
    for (std::uint32_t copy = 0; copy < layout_.numberOfFATs; ++copy) {
        std::uint8_t* fat = bytes->data() +
                            std::size_t{layout_.reservedSectors + copy * layout_.sectorsPerFAT} * layout_.bytesPerSector;
        switch (FatType()) {
            case 1: {
                std::uint8_t* p = fat + cluster + cluster / 2;
                std::uint32_t word = p[0] | p[1] << 8;
                word = cluster % 2 ? (word & 0x000F) | (value & 0xFFF) << 4 : (word & 0xF000) | (value & 0xFFF);
                PutLe16(p, word);
                break;
            }
            case 2: PutLe16(fat + 2 * cluster, value); break;
            default: PutLe32(fat + 4 * cluster, value & 0x0FFFFFFF); break;
        }
    }
}

void FatImage::Chain(const std::vector<std::uint32_t>& clusters) {
    for (std::size_t i = 0; i < clusters.size(); ++i)
        SetFat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : 0x0FFFFFFF);
}

void FatImage::WriteData(std::uint32_t first, const Bytes& data) {
    std::copy(data.begin(), data.end(), bytes->begin() + std::size_t{ClusterSector(first)} * layout_.bytesPerSector);
}

void FatImage::WriteSector(std::uint32_t sector, const Bytes& data) {
    std::copy(data.begin(), data.end(), bytes->begin() + std::size_t{sector} * layout_.bytesPerSector);
}

DirSlot FatImage::Root() const {
    DirSlot slot;
    if (FatType() == 3)
        slot.clusters = {layout_.rootCluster};
    else
        slot.sector = RootDirSector();
    return slot;
}

DirSlot FatImage::Dir(std::vector<std::uint32_t> clusters) const {
    DirSlot slot;
    slot.clusters = std::move(clusters);
    return slot;
}

std::uint32_t FatImage::EntrySector(const DirSlot& dir, std::uint32_t index) const {
    const std::uint32_t perSector = layout_.bytesPerSector / 32;
    if (dir.clusters.empty()) return dir.sector + index / perSector;
    const std::uint32_t perCluster = BytesPerCluster() / 32;
    const std::uint32_t n = index / perCluster;
    if (n >= dir.clusters.size()) throw std::out_of_range("directory is full");
    return ClusterSector(dir.clusters[n]) + index % perCluster / perSector;
}

void FatImage::Put(DirSlot& dir, const RawEntry& entry) {
    const std::uint32_t perSector = layout_.bytesPerSector / 32;
    std::size_t at = std::size_t{EntrySector(dir, dir.next)} * layout_.bytesPerSector + dir.next % perSector * 32;
    std::copy(entry.begin(), entry.end(), bytes->begin() + at);
    ++dir.next;
}

void FatImage::Put(DirSlot& dir, const std::vector<RawEntry>& entries) {
    for (const auto& e : entries) Put(dir, e);
}

void FatImage::AddFile(DirSlot& dir, std::string_view name11, std::uint32_t first, const Bytes& data,
                       std::string_view longName, bool chained) {
    const std::uint32_t n = std::max<std::uint32_t>(1, DivUp(static_cast<std::uint32_t>(data.size()), BytesPerCluster()));
    if (chained && !data.empty()) {
        std::vector<std::uint32_t> run(n);
        for (std::uint32_t i = 0; i < n; ++i) run[i] = first + i;
        Chain(run);
    }
    WriteData(first, data);
    if (!longName.empty()) Put(dir, LongNameEntries(longName, name11));
    Put(dir, ShortEntry(name11, 0x20, data.empty() ? 0 : first, static_cast<std::uint32_t>(data.size())));
}

DirSlot FatImage::AddDir(DirSlot& parent, std::string_view name11, std::uint32_t cluster, std::uint32_t parentCluster) {
    Chain({cluster});
    Put(parent, ShortEntry(name11, 0x10, cluster, 0));
    DirSlot dir = Dir({cluster});
    Put(dir, ShortEntry(".          ", 0x10, cluster, 0));
    Put(dir, ShortEntry("..         ", 0x10, parentCluster, 0));
    return dir;
}

RawEntry ShortEntry(std::string_view name11, std::uint8_t attr, std::uint32_t cluster, std::uint32_t size,
                    std::uint16_t writeTime, std::uint16_t writeDate) {
    RawEntry e{};
    auto n = Name11(name11);
    std::copy(n.begin(), n.end(), e.begin());
    e[11] = attr;
    PutLe16(&e[20], cluster >> 16);
    PutLe16(&e[22], writeTime);
    PutLe16(&e[24], writeDate);
    PutLe16(&e[26], cluster & 0xFFFF);
    PutLe32(&e[28], size);
    return e;
}

std::vector<RawEntry> LongNameEntries(std::string_view longName, std::string_view name11) {
    auto n = Name11(name11);
    std::uint8_t sum = 0;
    for (std::uint8_t c : n) sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + c);

    // Characters as UTF-16 (the test names are ASCII), a terminator when there is room, 0xFFFF fill.
    std::vector<std::uint16_t> chars(longName.begin(), longName.end());
    const std::size_t pieces = (chars.size() + 12) / 13;
    if (chars.size() % 13) chars.push_back(0);
    chars.resize(pieces * 13, 0xFFFF);

    static constexpr int offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    std::vector<RawEntry> out;
    for (std::size_t p = pieces; p-- > 0;) {
        RawEntry e{};
        e[0] = static_cast<std::uint8_t>((p + 1) | (p + 1 == pieces ? 0x40 : 0));
        e[11] = 0x0F;
        e[13] = sum;
        for (int i = 0; i < 13; ++i) PutLe16(&e[offsets[i]], chars[p * 13 + i]);
        out.push_back(e);
    }
    return out;
}

RawEntry Deleted(RawEntry entry) {
    entry[0] = 0xE5;
    return entry;
}

std::vector<RawEntry> Deleted(std::vector<RawEntry> entries) {
    for (auto& e : entries) e[0] = 0xE5;
    return entries;
}

Bytes Pattern(std::size_t size, std::uint8_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(seed * 31 + i / 512 * 7 + i % 251);
    return b;
}

MemoryDevice::MemoryDevice(std::shared_ptr<Bytes> b) : bytes(std::move(b)) {
    Kind = 1;
    BytesPerSector = 512;
    TotalSectors = static_cast<std::uint32_t>(bytes->size() / 512);
}

bool MemoryDevice::ReadSec(std::int32_t Sector, std::uint16_t Count, void* Buffer, bool) {
    const auto first = static_cast<std::uint32_t>(Sector);
    reads.push_back(first);
    for (std::uint32_t s = first; s < first + Count; ++s)
        if (failing.count(s) || std::uint64_t{s} + 1 > TotalSectors) return false;
    std::memcpy(Buffer, bytes->data() + std::size_t{first} * 512, std::size_t{Count} * 512);
    return true;
}

MountedImage Mount(std::shared_ptr<Bytes> bytes, bool silent) {
    MountedImage m;
    m.device = std::make_unique<MemoryDevice>(std::move(bytes));
    m.drive = std::make_unique<TFATdrive>();
    m.drive->Device = m.device.get();
    m.drive->SectorCount = m.device->TotalSectors;
    m.mounted = m.drive->MountDrive(silent);
    return m;
}

}  // namespace quorvane::testing
