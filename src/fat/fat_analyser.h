#pragma once
// Tests that decide whether a cluster or a run of sectors of a mounted FAT drive looks like a
// FAT structure: the start of a directory, a sector of valid directory entries, a root directory,
// an empty directory, or the start of a media file. They let the engine accept a deleted entry as
// a real directory and find lost directories and files in the data area, where every byte is
// untrusted: the tests keep no state and never read beyond the buffers and the volume.
//
// Tests whose names end in C take a drive and a directory cursor position (a cluster, or
// cluster 0 and a sector); those ending in B work on a buffer already in memory.
#include <cstdint>
#include <string>

#include "fat/fat_formats.h"

namespace quorvane {

class TFATdrive;

// Why one directory entry is or is not plausible, tested in this order (the first failure wins).
enum class DirEntryVerdict : std::uint8_t {
    Valid,
    LongNamePiece,     // a long-name piece, counted as plausible without being examined
    BadNameByte,       // a control byte (the end marker 0 included) or a character FAT forbids
    BadFirstCluster,   // a label with a cluster, or a file or directory outside 2 .. MaxCluster + 1
    ReservedAttrBits,  // attribute bits 0xC0 set
    SizeBeyondData,    // the size is larger than the data area
    BadTime,           // a non-zero time word with seconds, minutes or hours out of range
    BadDate,           // a non-zero date word with day 0 or month 0 or above 12
};

const char* DirEntryVerdictName(DirEntryVerdict verdict);

// The plausibility test of one 32-byte directory entry. afterPassedPiece says whether the entry
// before it was passed over as a long-name piece: the later pieces of a name lack the 0x40 bit.
// MaxCluster is the drive's cluster count, MaxSectors its data-area sector count.
DirEntryVerdict CheckDirEntry(const TDirEntry& Entry, bool afterPassedPiece, std::uint32_t MaxCluster,
                              std::uint32_t MaxSectors);

class TFATAnalyser {
public:
    // True when the position starts with the "." and ".." entries of a directory.
    bool IsDirC(TFATdrive& Drive, std::uint32_t Cluster, std::uint32_t Sector);

    // True when the first sector at the position holds 16 plausible directory entries.
    bool DirEntriesValidC(TFATdrive& Drive, std::uint32_t Cluster, std::uint32_t Sector);

    // True when the first 16 entries of Buffer pass CheckDirEntry; false when Buffer holds fewer.
    bool DirEntriesValidB(const std::uint8_t* Buffer, std::uint16_t Size, std::uint32_t MaxCluster,
                          std::uint32_t MaxSectors);

    // True when Buffer holds at least one directory entry before its first end marker and every
    // entry up to there passes CheckDirEntry; an empty file (no cluster, size 0) passes too. The
    // test of a cluster that may carry on a directory whose chain was released.
    bool DirEntriesContinueB(const std::uint8_t* Buffer, std::uint32_t Size, std::uint32_t MaxCluster,
                             std::uint32_t MaxSectors);

    // DirEntriesContinueB over the whole of Cluster.
    bool DirEntriesContinueC(TFATdrive& Drive, std::uint32_t Cluster);

    // Entry number Index of Buffer: false when it does not fit in Size bytes; otherwise decodes it
    // into Entry and advances Index.
    bool GetNextRecordB(const std::uint8_t* Buffer, std::uint32_t Size, std::uint16_t& Index, TDirEntry& Entry);

    // True when one cluster's worth of entries at the position holds exactly one volume label.
    bool IsRootC(TFATdrive& Drive, std::uint32_t Cluster, std::uint32_t Sector);

    // True when no live entry follows the "." and ".." entries of the directory at the position.
    bool IsDirEmptyC(TFATdrive& Drive, std::uint32_t Cluster, std::uint32_t Sector);

    // True when Cluster starts with a known media file; Ext then names its type.
    bool IsFileC(TFATdrive& Drive, std::uint32_t Cluster, std::string& Ext, std::uint8_t& FileType);

    // The kind of a FAT entry value (ctUsed, ctFree, ctBad, ctEOF).
    static TClusterKind ClusterType(TFATType FATType, std::uint32_t Value) {
        return quorvane::ClusterType(FATType, Value);
    }

    // The text form of an entry's 11 short-name bytes.
    static std::string CnvName(const TDirEntry& Entry) { return quorvane::CnvName(Entry); }
};

}  // namespace quorvane
