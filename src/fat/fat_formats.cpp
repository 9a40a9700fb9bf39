#include "fat/fat_formats.h"

#include <algorithm>
#include <ostream>

namespace quorvane {

std::optional<std::uint16_t> ReadLe16(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at > bytes.size() || bytes.size() - at < 2) return std::nullopt;
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::optional<std::uint32_t> ReadLe32(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at > bytes.size() || bytes.size() - at < 4) return std::nullopt;
    return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 |
           std::uint32_t{bytes[at + 2]} << 16 | std::uint32_t{bytes[at + 3]} << 24;
}

namespace {

// Offsets of the boot sector fields, named after Microsoft's FAT document.
constexpr std::size_t BPB_BytsPerSec = 11;
constexpr std::size_t BPB_SecPerClus = 13;
constexpr std::size_t BPB_RsvdSecCnt = 14;
constexpr std::size_t BPB_NumFATs = 16;
constexpr std::size_t BPB_RootEntCnt = 17;
constexpr std::size_t BPB_TotSec16 = 19;
constexpr std::size_t BPB_FATSz16 = 22;
constexpr std::size_t BPB_TotSec32 = 32;
constexpr std::size_t BPB_FATSz32 = 36;
constexpr std::size_t BS_VolLab = 43;
constexpr std::size_t BPB_RootClus = 44;
constexpr std::size_t BS_VolLab32 = 71;

// Offsets of a directory entry.
constexpr std::size_t DIR_Attr = 11;
constexpr std::size_t DIR_CrtTimeTenth = 13;
constexpr std::size_t DIR_CrtTime = 14;
constexpr std::size_t DIR_CrtDate = 16;
constexpr std::size_t DIR_LstAccDate = 18;
constexpr std::size_t DIR_FstClusHI = 20;
constexpr std::size_t DIR_WrtTime = 22;
constexpr std::size_t DIR_WrtDate = 24;
constexpr std::size_t DIR_FstClusLO = 26;
constexpr std::size_t DIR_FileSize = 28;

// Offsets of a long-name piece.
constexpr std::size_t LDIR_Ord = 0;
constexpr std::size_t LDIR_Name1 = 1;    // characters 1-5
constexpr std::size_t LDIR_Type = 12;
constexpr std::size_t LDIR_Chksum = 13;
constexpr std::size_t LDIR_Name2 = 14;   // characters 6-11
constexpr std::size_t LDIR_FstClusLO = 26;
constexpr std::size_t LDIR_Name3 = 28;   // characters 12-13

// The table of one FAT width: entry values and where an entry lies.
struct FATWidth {
    std::uint32_t valueMask;  // bits of an entry that count
    std::uint32_t badFirst;   // bad or reserved: badFirst .. eofFirst - 1
    std::uint32_t eofFirst;   // end of chain: eofFirst and above
    std::uint32_t eofMark;    // the value written for an end of chain
    std::uint32_t readWidth;  // bytes read at the entry's offset
};

constexpr FATWidth FAT12Width{0xFFF, 0xFF1, 0xFF8, 0xFFF, 2};
constexpr FATWidth FAT16Width{0xFFFF, 0xFFF1, 0xFFF8, 0xFFFF, 2};
constexpr FATWidth FAT32Width{0x0FFFFFFF, 0x0FFFFFF1, 0x0FFFFFF8, 0x0FFFFFFF, 4};

const FATWidth* WidthOf(TFATType FATType) {
    switch (FATType) {
        case ftFAT12: return &FAT12Width;
        case ftFAT16: return &FAT16Width;
        case ftFAT32: return &FAT32Width;
        default: return nullptr;
    }
}

std::uint8_t Le8(std::span<const std::uint8_t> b, std::size_t at) { return b[at]; }
std::uint16_t Le16(std::span<const std::uint8_t> b, std::size_t at) { return *ReadLe16(b, at); }
std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) { return *ReadLe32(b, at); }

}  // namespace

std::optional<TBootSec32> DecodeBootSec(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < BootSecSize) return std::nullopt;
    auto b = bytes.first(BootSecSize);
    TBootSec32 boot;
    std::copy(b.begin(), b.end(), boot.Raw.begin());
    boot.BytesPerSector = Le16(b, BPB_BytsPerSec);
    boot.SectorsPerCluster = Le8(b, BPB_SecPerClus);
    boot.ReservedSectors = Le16(b, BPB_RsvdSecCnt);
    boot.NumberOfFATs = Le8(b, BPB_NumFATs);
    boot.RootEntryCount = Le16(b, BPB_RootEntCnt);
    boot.TotalSectors16 = Le16(b, BPB_TotSec16);
    boot.SectorsPerFAT16 = Le16(b, BPB_FATSz16);
    boot.TotalSectors32 = Le32(b, BPB_TotSec32);
    boot.SectorsPerFAT32 = Le32(b, BPB_FATSz32);
    boot.RootCluster = Le32(b, BPB_RootClus);
    std::copy_n(b.begin() + BS_VolLab, VolumeLabelSize, boot.VolumeLabel16.begin());
    std::copy_n(b.begin() + BS_VolLab32, VolumeLabelSize, boot.VolumeLabel32.begin());
    return boot;
}

TFATType FATTypeForClusterCount(std::uint32_t ClusterCount) {
    if (ClusterCount <= MaxFAT12ClusterCount) return ftFAT12;
    if (ClusterCount <= MaxFAT16ClusterCount) return ftFAT16;
    return ftFAT32;
}

std::uint32_t FATEntryOffset(TFATType FATType, std::uint32_t Cluster) {
    switch (FATType) {
        case ftFAT12: return Cluster + Cluster / 2;
        case ftFAT16: return 2 * Cluster;
        default: return 4 * Cluster;
    }
}

std::uint32_t FATEntryReadWidth(TFATType FATType) {
    const FATWidth* w = WidthOf(FATType);
    return w ? w->readWidth : 4;
}

std::optional<std::uint32_t> DecodeFATEntry(TFATType FATType, std::uint32_t Cluster,
                                            std::span<const std::uint8_t> bytes) {
    switch (FATType) {
        case ftFAT12: {
            auto word = ReadLe16(bytes, 0);
            if (!word) return std::nullopt;
            return Cluster % 2 ? std::uint32_t{*word} >> 4 : std::uint32_t{*word} & 0xFFF;
        }
        case ftFAT16: {
            auto word = ReadLe16(bytes, 0);
            if (!word) return std::nullopt;
            return *word;
        }
        case ftFAT32: {
            auto dword = ReadLe32(bytes, 0);
            if (!dword) return std::nullopt;
            return *dword & FAT32Width.valueMask;
        }
        default: return std::nullopt;
    }
}

TClusterKind ClusterType(TFATType FATType, std::uint32_t Value) {
    const FATWidth* w = WidthOf(FATType);
    if (w) {
        // Only FAT32 entries carry bits that are not part of the value (the reserved top four).
        if (FATType == ftFAT32) Value &= w->valueMask;
        if (Value >= w->eofFirst) return ctEOF;
        if (Value >= w->badFirst) return ctBad;
    }
    return Value == 0 ? ctFree : ctUsed;
}

bool IsEOFValue(TFATType FATType, std::uint32_t Value) {
    const FATWidth* w = WidthOf(FATType);
    return w && Value >= w->eofFirst;
}

std::uint32_t ClusterMask(TFATType FATType, TClusterKind Kind) {
    const FATWidth* w = WidthOf(FATType);
    if (!w) return 0;
    if (Kind == ctEOF) return w->eofMark;
    if (Kind == ctBad) return w->eofFirst - 1;
    return 0;
}

std::ostream& operator<<(std::ostream& Out, TFATType Type) { return Out << NumberOf(Type); }
std::ostream& operator<<(std::ostream& Out, TClusterKind Kind) { return Out << NumberOf(Kind); }

std::optional<TDirEntry> DecodeDirEntry(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < DirEntrySize) return std::nullopt;
    auto b = bytes.first(DirEntrySize);
    TDirEntry e;
    std::copy(b.begin(), b.end(), e.Raw.begin());
    std::copy_n(b.begin(), e.Name.size(), e.Name.begin());
    e.Attr = Le8(b, DIR_Attr);
    e.CreateTimeTenths = Le8(b, DIR_CrtTimeTenth);
    e.CreateTime = Le16(b, DIR_CrtTime);
    e.CreateDate = Le16(b, DIR_CrtDate);
    e.AccessDate = Le16(b, DIR_LstAccDate);
    e.FirstClusterHigh = Le16(b, DIR_FstClusHI);
    e.WriteTime = Le16(b, DIR_WrtTime);
    e.WriteDate = Le16(b, DIR_WrtDate);
    e.FirstClusterLow = Le16(b, DIR_FstClusLO);
    e.FileSize = Le32(b, DIR_FileSize);
    return e;
}

TLongNamePiece DecodeLongNamePiece(const TDirEntry& Entry) {
    std::span<const std::uint8_t> b(Entry.Raw);
    TLongNamePiece p;
    p.Sequence = Le8(b, LDIR_Ord);
    p.Type = Le8(b, LDIR_Type);
    p.Checksum = Le8(b, LDIR_Chksum);
    p.FirstCluster = Le16(b, LDIR_FstClusLO);
    std::size_t c = 0;
    for (std::size_t i = 0; i < 5; ++i) p.Chars[c++] = Le16(b, LDIR_Name1 + 2 * i);
    for (std::size_t i = 0; i < 6; ++i) p.Chars[c++] = Le16(b, LDIR_Name2 + 2 * i);
    for (std::size_t i = 0; i < 2; ++i) p.Chars[c++] = Le16(b, LDIR_Name3 + 2 * i);
    return p;
}

std::uint8_t ShortNameChecksum(const std::array<std::uint8_t, 11>& Name) {
    std::uint8_t sum = 0;
    for (std::uint8_t c : Name) sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + c);
    return sum;
}

TFATTime DecodeFATTime(std::uint16_t Word) {
    return {static_cast<std::uint8_t>(Word & 0x1F), static_cast<std::uint8_t>(Word >> 5 & 0x3F),
            static_cast<std::uint8_t>(Word >> 11)};
}

TFATDate DecodeFATDate(std::uint16_t Word) {
    return {static_cast<std::uint8_t>(Word & 0x1F), static_cast<std::uint8_t>(Word >> 5 & 0x0F),
            static_cast<std::uint16_t>(1980 + (Word >> 9))};
}

std::string CnvName(const TDirEntry& Entry) {
    std::string name, ext;
    for (std::size_t i = 0; i < Entry.Name.size(); ++i) {
        char c = static_cast<char>(Entry.Name[i]);
        if (c == ' ') continue;
        (i < 8 ? name : ext) += c;
    }
    return ext.empty() ? name : name + "." + ext;
}

std::string ReplaceDeletedChar(std::string Name) {
    auto at = Name.find(static_cast<char>(DeletedMarker));
    if (at != std::string::npos) Name[at] = '_';
    return Name;
}

}  // namespace quorvane
