#pragma once
// The on-disk records of FAT12/16/32 volumes and how they are decoded.
//
// Every record is decoded once, from bytes at fixed little-endian offsets, into a plain struct in
// host order; no other code looks at the raw bytes of a boot sector or a FAT. Directory entries
// keep their 32 raw bytes as well, because long-name pieces and the structure tests read the
// same bytes under another layout.
//
// Everything that depends on the width of a FAT entry (12, 16 or 32 bits) is in this header and
// fat_formats.cpp: the FAT types, the byte offset of an entry, its decoding, the end-of-chain
// and bad-cluster ranges.
#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>

namespace quorvane {

// The engine reads 512-byte sectors only; volumes that say otherwise are refused at mount.
inline constexpr std::uint32_t FATSectorSize = 512;
inline constexpr std::size_t DirEntrySize = 32;
inline constexpr std::uint32_t DirEntriesPerSector = FATSectorSize / DirEntrySize;

// ---------------------------------------------------------------------------------------------
// Little-endian readers. A read that does not fit in the buffer gives nullopt, never bytes from
// beyond its end.

std::optional<std::uint16_t> ReadLe16(std::span<const std::uint8_t> bytes, std::size_t at);
std::optional<std::uint32_t> ReadLe32(std::span<const std::uint8_t> bytes, std::size_t at);

// ---------------------------------------------------------------------------------------------
// Boot sector. The engine keeps the first 90 bytes (the FAT32 layout of the BIOS parameter block
// with its extension). TBootSec names the same record when the geometry is worked out from it.

inline constexpr std::size_t BootSecSize = 90;
inline constexpr std::size_t VolumeLabelSize = 11;

struct TBootSec32 {
    std::array<std::uint8_t, BootSecSize> Raw{};  // carried unchanged, also the fields not read

    std::uint16_t BytesPerSector = 0;     // offset 11
    std::uint8_t SectorsPerCluster = 0;   // offset 13
    std::uint16_t ReservedSectors = 0;    // offset 14; the first FAT starts right after them
    std::uint8_t NumberOfFATs = 0;        // offset 16
    std::uint16_t RootEntryCount = 0;     // offset 17; 0 on FAT32
    std::uint16_t TotalSectors16 = 0;     // offset 19; 0 when the 32-bit count is used
    std::uint16_t SectorsPerFAT16 = 0;    // offset 22; 0 on FAT32
    std::uint32_t TotalSectors32 = 0;     // offset 32
    std::uint32_t SectorsPerFAT32 = 0;    // offset 36
    std::uint32_t RootCluster = 0;        // offset 44 (FAT32 layout)
    std::array<std::uint8_t, VolumeLabelSize> VolumeLabel16{};  // offset 43 (FAT12/16 layout)
    std::array<std::uint8_t, VolumeLabelSize> VolumeLabel32{};  // offset 71 (FAT32 layout)
};
using TBootSec = TBootSec32;

// Decodes the first 90 bytes of a boot sector; nullopt when fewer bytes are given.
std::optional<TBootSec32> DecodeBootSec(std::span<const std::uint8_t> bytes);

// ---------------------------------------------------------------------------------------------
// FAT types and FAT entries.

// The FAT type of a volume, by the width of its FAT entries. ftNone: no volume has been mounted,
// or the one read was refused.
enum class TFATType : std::uint8_t { ftNone = 0, ftFAT12 = 1, ftFAT16 = 2, ftFAT32 = 3 };
using enum TFATType;

// Cluster counts below these give FAT12 and FAT16; the type follows from the count alone.
inline constexpr std::uint32_t MaxFAT12ClusterCount = 4084;
inline constexpr std::uint32_t MaxFAT16ClusterCount = 65524;

// The FAT type of a volume with ClusterCount data clusters.
TFATType FATTypeForClusterCount(std::uint32_t ClusterCount);

// Byte offset of the entry of Cluster within one FAT. FAT12 packs two entries into three bytes:
//
//     byte:   3n/2        3n/2+1       3n/2+2          (n even)
//           [ n: 7..0 ] [ n+1: 3..0 | n: 11..8 ] [ n+1: 11..4 ]
//
// so the 16-bit word at n + n/2 holds entry n in its low 12 bits (n even) or in its high 12 bits
// (n odd). That word can straddle two sectors.
std::uint32_t FATEntryOffset(TFATType FATType, std::uint32_t Cluster);

// Bytes that an entry occupies from its offset on: 2 for FAT12 and FAT16, 4 for FAT32.
std::uint32_t FATEntryReadWidth(TFATType FATType);

// Decodes the entry of Cluster from the bytes at its offset (FATEntryOffset). The high four bits of
// a FAT32 entry are reserved and not part of the cluster number, so they are cut off. nullopt when
// the bytes are too few or there is no FAT type (ftNone).
std::optional<std::uint32_t> DecodeFATEntry(TFATType FATType, std::uint32_t Cluster,
                                            std::span<const std::uint8_t> bytes);

// What a FAT entry value says about its cluster. The numbers are bit values, one bit per kind.
enum class TClusterKind : std::uint8_t {
    ctUsed = 1,  // a link to a next cluster (also 1 and 0x(0F)FF(F)F0)
    ctFree = 2,
    ctBad = 4,   // bad or reserved
    ctEOF = 8,   // end of chain
};
using enum TClusterKind;

// The number of a FAT type (1, 2, 3; 0 for none) or of a cluster kind (its bit value), for where
// one is shown or written out; the stream operators write these numbers too.
constexpr unsigned NumberOf(TFATType Type) { return static_cast<unsigned>(Type); }
constexpr unsigned NumberOf(TClusterKind Kind) { return static_cast<unsigned>(Kind); }
std::ostream& operator<<(std::ostream& Out, TFATType Type);
std::ostream& operator<<(std::ostream& Out, TClusterKind Kind);

// The kind of a FAT entry value. Without a FAT type (ftNone) only "0 is free, else used" applies.
// FAT32 values are classified after masking to 28 bits.
TClusterKind ClusterType(TFATType FATType, std::uint32_t Value);

// True when Value is an end-of-chain mark of the given FAT type (false for ftNone).
bool IsEOFValue(TFATType FATType, std::uint32_t Value);

// The value written for an end of chain (ctEOF) or a bad cluster (ctBad); 0 for other kinds or
// ftNone.
std::uint32_t ClusterMask(TFATType FATType, TClusterKind Kind);

// ---------------------------------------------------------------------------------------------
// Directory entries.

inline constexpr std::uint8_t faReadOnly = 0x01;
inline constexpr std::uint8_t faHidden = 0x02;
inline constexpr std::uint8_t faSystem = 0x04;
inline constexpr std::uint8_t faVolumeLabel = 0x08;
inline constexpr std::uint8_t faDirectory = 0x10;
inline constexpr std::uint8_t faArchive = 0x20;
inline constexpr std::uint8_t faLongName = 0x0F;   // exactly this value marks a long-name piece
inline constexpr std::uint8_t faNotAFile = 0x18;   // label or directory
inline constexpr std::uint8_t faReservedBits = 0xC0;

inline constexpr std::uint8_t DirEndMarker = 0x00;   // first byte: no further entry follows
inline constexpr std::uint8_t DeletedMarker = 0xE5;  // first byte of a deleted entry
inline constexpr std::uint8_t KanjiE5Marker = 0x05;  // stands for a real first byte 0xE5

struct TDirEntry {
    std::array<std::uint8_t, DirEntrySize> Raw{};

    std::array<std::uint8_t, 11> Name{};  // offset 0: 8 name bytes then 3 extension bytes, space padded
    std::uint8_t Attr = 0;                // offset 11
    std::uint8_t CreateTimeTenths = 0;    // offset 13
    std::uint16_t CreateTime = 0;         // offset 14
    std::uint16_t CreateDate = 0;         // offset 16
    std::uint16_t AccessDate = 0;         // offset 18
    std::uint16_t FirstClusterHigh = 0;   // offset 20
    std::uint16_t WriteTime = 0;          // offset 22
    std::uint16_t WriteDate = 0;          // offset 24
    std::uint16_t FirstClusterLow = 0;    // offset 26
    std::uint32_t FileSize = 0;           // offset 28

    // High word * 65536 + low word, for every FAT type: on FAT12/16 the high word is reserved,
    // but it is taken as written.
    std::uint32_t FirstCluster() const { return std::uint32_t{FirstClusterHigh} << 16 | FirstClusterLow; }
    bool IsEndMarker() const { return Name[0] == DirEndMarker; }
    bool IsDeleted() const { return Name[0] == DeletedMarker; }
    bool IsLongNamePiece() const { return Attr == faLongName; }
    bool IsDirectory() const { return (Attr & faDirectory) != 0; }
    bool IsVolumeLabel() const { return (Attr & faVolumeLabel) != 0; }
    bool IsFile() const { return (Attr & faNotAFile) == 0; }
};

// Decodes a 32-byte directory entry; nullopt when fewer bytes are given.
std::optional<TDirEntry> DecodeDirEntry(std::span<const std::uint8_t> bytes);

// A long-name piece is a TDirEntry with attribute 0x0F, read under this layout.
inline constexpr std::size_t LongNameCharsPerPiece = 13;
inline constexpr std::uint8_t LongNameLastPieceFlag = 0x40;  // set on the piece stored first

struct TLongNamePiece {
    std::uint8_t Sequence = 0;       // offset 0
    std::uint8_t Type = 0;           // offset 12
    std::uint8_t Checksum = 0;       // offset 13: checksum of the short name
    std::uint16_t FirstCluster = 0;  // offset 26: always 0
    // UTF-16 characters from offsets 1-10, 14-25 and 28-31, in host order.
    std::array<std::uint16_t, LongNameCharsPerPiece> Chars{};

    bool IsFirstStored() const { return (Sequence & LongNameLastPieceFlag) != 0; }
};

TLongNamePiece DecodeLongNamePiece(const TDirEntry& Entry);

// The checksum of an 11-byte short name that long-name pieces carry.
std::uint8_t ShortNameChecksum(const std::array<std::uint8_t, 11>& Name);

// ---------------------------------------------------------------------------------------------
// Date and time words, kept unconverted on the objects; decoded for tests of their ranges.

struct TFATTime {
    std::uint8_t Seconds2 = 0;  // bits 0-4: seconds / 2, 0-29
    std::uint8_t Minutes = 0;   // bits 5-10: 0-59
    std::uint8_t Hours = 0;     // bits 11-15: 0-23
};
struct TFATDate {
    std::uint8_t Day = 0;     // bits 0-4: 1-31
    std::uint8_t Month = 0;   // bits 5-8: 1-12
    std::uint16_t Year = 0;   // bits 9-15 + 1980
};

TFATTime DecodeFATTime(std::uint16_t Word);
TFATDate DecodeFATDate(std::uint16_t Word);

// ---------------------------------------------------------------------------------------------
// Names.

// The text form of the 11 short-name bytes: spaces are dropped wherever they stand, the name part
// and the extension part are joined with "." when the extension is not empty. Nothing else is
// translated: case stays, 0xE5 and 0x05 stay.
std::string CnvName(const TDirEntry& Entry);

// The name as shown and written: its first byte 0xE5 (the deleted marker) becomes "_", once.
std::string ReplaceDeletedChar(std::string Name);

}  // namespace quorvane
