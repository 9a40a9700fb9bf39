#include "fat/fat_analyser.h"

#include <span>
#include <vector>

#include "fat/fat_drive.h"
#include "media/filedet.h"

namespace quorvane {

const char* DirEntryVerdictName(DirEntryVerdict verdict) {
    switch (verdict) {
        case DirEntryVerdict::Valid: return "valid";
        case DirEntryVerdict::LongNamePiece: return "long-name piece";
        case DirEntryVerdict::BadNameByte: return "bad name byte";
        case DirEntryVerdict::BadFirstCluster: return "first cluster outside the volume";
        case DirEntryVerdict::ReservedAttrBits: return "reserved attribute bits set";
        case DirEntryVerdict::SizeBeyondData: return "size larger than the data area";
        case DirEntryVerdict::BadTime: return "impossible time";
        case DirEntryVerdict::BadDate: return "impossible date";
    }
    return "?";
}

namespace {

// Characters that FAT forbids in short names. The full stop is among them, so the "." and ".."
// entries of a directory do not pass: this test is for sectors in the middle of a directory.
bool IsForbiddenNameChar(std::uint8_t c) {
    switch (c) {
        case 0x22: case 0x2A: case 0x2B: case 0x2C: case 0x2E: case 0x2F:
        case 0x3A: case 0x3B: case 0x3C: case 0x3D: case 0x3E: case 0x3F:
        case 0x5B: case 0x5C: case 0x5D: case 0x7C:
            return true;
        default:
            return false;
    }
}

// Bytes 0x80 and above pass: code-page letters, and the deleted marker 0xE5.
bool NameBytesPlausible(const std::array<std::uint8_t, 11>& name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const std::uint8_t c = name[i];
        if (c < 0x20) {
            // 0x05 stands for a real first byte 0xE5.
            if (!(i == 0 && c == KanjiE5Marker)) return false;
        } else if (c < 0x80 && IsForbiddenNameChar(c)) {
            return false;
        }
    }
    return true;
}

bool TimePlausible(std::uint16_t word) {
    if (word == 0) return true;
    const TFATTime t = DecodeFATTime(word);
    return t.Seconds2 <= 29 && t.Minutes <= 59 && t.Hours <= 23;
}

// The year is not tested: every 7-bit year is a possible one.
bool DatePlausible(std::uint16_t word) {
    if (word == 0) return true;
    const TFATDate d = DecodeFATDate(word);
    return d.Day != 0 && d.Month != 0 && d.Month <= 12;
}

}  // namespace

DirEntryVerdict CheckDirEntry(const TDirEntry& Entry, bool afterPassedPiece, std::uint32_t MaxCluster,
                              std::uint32_t MaxSectors) {
    if (Entry.Attr == faLongName && Entry.FirstClusterLow == 0 &&
        ((Entry.Name[0] & LongNameLastPieceFlag) != 0 || afterPassedPiece)) {
        return DirEntryVerdict::LongNamePiece;
    }
    if (!NameBytesPlausible(Entry.Name)) return DirEntryVerdict::BadNameByte;

    // A zero-length file has first cluster 0 and fails here as well; so does a file whose
    // cluster lies beyond the volume.
    const std::uint64_t firstCluster = Entry.FirstCluster();
    if (Entry.IsVolumeLabel()) {
        if (firstCluster != 0) return DirEntryVerdict::BadFirstCluster;
    } else if (firstCluster < 2 || firstCluster > std::uint64_t{MaxCluster} + 1) {
        return DirEntryVerdict::BadFirstCluster;
    }
    if ((Entry.Attr & faReservedBits) != 0) return DirEntryVerdict::ReservedAttrBits;
    if (Entry.FileSize / FATSectorSize > MaxSectors) return DirEntryVerdict::SizeBeyondData;

    if (!TimePlausible(Entry.WriteTime)) return DirEntryVerdict::BadTime;
    if (!DatePlausible(Entry.WriteDate)) return DirEntryVerdict::BadDate;
    if (!TimePlausible(Entry.CreateTime)) return DirEntryVerdict::BadTime;
    if (!DatePlausible(Entry.CreateDate)) return DirEntryVerdict::BadDate;
    if (!DatePlausible(Entry.AccessDate)) return DirEntryVerdict::BadDate;
    return DirEntryVerdict::Valid;
}

bool TFATAnalyser::GetNextRecordB(const std::uint8_t* Buffer, std::uint32_t Size, std::uint16_t& Index,
                                  TDirEntry& Entry) {
    const std::uint64_t end = (std::uint64_t{Index} + 1) * DirEntrySize;
    if (Buffer == nullptr || Size < end) return false;
    const auto decoded = DecodeDirEntry(std::span<const std::uint8_t>(Buffer + (end - DirEntrySize), DirEntrySize));
    if (!decoded) return false;
    Entry = *decoded;
    ++Index;
    return true;
}

bool TFATAnalyser::DirEntriesValidB(const std::uint8_t* Buffer, std::uint16_t Size, std::uint32_t MaxCluster,
                                    std::uint32_t MaxSectors) {
    std::uint16_t index = 0;
    bool afterPassedPiece = false;
    for (std::uint32_t passed = 0; passed < DirEntriesPerSector; ++passed) {
        TDirEntry entry;
        if (!GetNextRecordB(Buffer, Size, index, entry)) return false;
        const DirEntryVerdict verdict = CheckDirEntry(entry, afterPassedPiece, MaxCluster, MaxSectors);
        if (verdict != DirEntryVerdict::Valid && verdict != DirEntryVerdict::LongNamePiece) return false;
        afterPassedPiece = verdict == DirEntryVerdict::LongNamePiece;
    }
    return true;
}

bool TFATAnalyser::DirEntriesContinueB(const std::uint8_t* Buffer, std::uint32_t Size, std::uint32_t MaxCluster,
                                       std::uint32_t MaxSectors) {
    std::uint16_t index = 0;
    bool afterPassedPiece = false;
    TDirEntry entry;
    while (index < Size / DirEntrySize && GetNextRecordB(Buffer, Size, index, entry)) {
        if (entry.IsEndMarker()) return index > 1;
        const DirEntryVerdict verdict = CheckDirEntry(entry, afterPassedPiece, MaxCluster, MaxSectors);
        const bool emptyFile = verdict == DirEntryVerdict::BadFirstCluster && entry.FirstCluster() == 0 &&
                               entry.FileSize == 0 && !entry.IsVolumeLabel();
        if (verdict != DirEntryVerdict::Valid && verdict != DirEntryVerdict::LongNamePiece && !emptyFile) return false;
        afterPassedPiece = verdict == DirEntryVerdict::LongNamePiece;
    }
    return index > 0;
}

bool TFATAnalyser::DirEntriesContinueC(TFATdrive& Drive, std::uint32_t Cluster) {
    try {
        if (!Drive.IsValidCluster(Cluster) || Drive.SectorsPerCluster() == 0) return false;
        std::vector<std::uint8_t> cluster(std::size_t{Drive.SectorsPerCluster()} * FATSectorSize);
        if (!Drive.ReadSec(static_cast<std::int32_t>(Drive.Cluster2Sec(Cluster)), Drive.SectorsPerCluster(),
                           cluster.data(), true))
            return false;
        return DirEntriesContinueB(cluster.data(), static_cast<std::uint32_t>(cluster.size()), Drive.ClusterCount,
                                   Drive.DataSectors);
    } catch (...) {
        return false;
    }
}

namespace {

// A volume label as a root directory carries it: not a long-name piece, no cluster, and a first
// byte with the 0x40 bit, which letters have (a label starting with a digit does not count).
bool IsRootLabel(const TDirEntry& e) {
    return !e.IsLongNamePiece() && e.IsVolumeLabel() && e.FirstClusterHigh == 0 && e.FirstClusterLow == 0 &&
           (e.Name[0] & 0x40) != 0;
}

}  // namespace

bool TFATAnalyser::IsDirC(TFATdrive& Drive, std::uint32_t Cluster, std::uint32_t Sector) {
    try {
        TDirCursor cursor(Cluster, Sector, 0);
        TDirEntry entry;
        if (!Drive.GetNextRecord(cursor, entry) || !entry.IsDirectory() || CnvName(entry) != ".") return false;
        if (!Drive.GetNextRecord(cursor, entry) || !entry.IsDirectory() || CnvName(entry) != "..") return false;
        return true;
    } catch (...) {
        return false;
    }
}

bool TFATAnalyser::DirEntriesValidC(TFATdrive& Drive, std::uint32_t Cluster, std::uint32_t Sector) {
    try {
        TDirCursor cursor(Cluster, Sector, 0);
        std::array<std::uint8_t, FATSectorSize> sector{};
        if (!Drive.ReadDataSec(cursor, sector.data())) return false;
        return DirEntriesValidB(sector.data(), FATSectorSize, Drive.ClusterCount, Drive.DataSectors);
    } catch (...) {
        return false;
    }
}

bool TFATAnalyser::IsRootC(TFATdrive& Drive, std::uint32_t Cluster, std::uint32_t Sector) {
    try {
        const std::uint32_t entriesPerCluster = std::uint32_t{Drive.SectorsPerCluster()} * DirEntriesPerSector;
        TDirCursor cursor(Cluster, Sector, 0);
        int labels = 0;
        for (std::uint32_t i = 0; i < entriesPerCluster; ++i) {
            TDirEntry entry;
            if (!Drive.GetNextRecord(cursor, entry)) break;
            if (IsRootLabel(entry) && ++labels > 1) return false;
        }
        return labels == 1;
    } catch (...) {
        return false;
    }
}

bool TFATAnalyser::IsDirEmptyC(TFATdrive& Drive, std::uint32_t Cluster, std::uint32_t Sector) {
    try {
        // Right after the "." and ".." entries.
        TDirCursor cursor(Cluster, Sector, 2);
        TDirEntry entry;
        std::string name;
        return !Drive.FindNextEntry(cursor, entry, name, false);
    } catch (...) {
        return false;
    }
}

bool TFATAnalyser::IsFileC(TFATdrive& Drive, std::uint32_t Cluster, std::string& Ext, std::uint8_t& FileType) {
    try {
        // The cluster number comes from the search or from a directory entry: read nothing
        // outside the data area.
        if (!Drive.IsValidCluster(Cluster)) return false;
        const std::uint8_t sectorsPerCluster = Drive.SectorsPerCluster();
        if (sectorsPerCluster == 0) return false;
        const std::uint32_t size = std::uint32_t{sectorsPerCluster} * FATSectorSize;
        std::vector<std::uint8_t> cluster(size);
        if (!Drive.ReadSec(static_cast<std::int32_t>(Drive.Cluster2Sec(Cluster)), sectorsPerCluster, cluster.data(),
                           true)) {
            return false;
        }
        return IsFile(cluster.data(), size, Ext, FileType);
    } catch (...) {
        return false;
    }
}

}  // namespace quorvane
