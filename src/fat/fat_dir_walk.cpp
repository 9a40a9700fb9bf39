// Walking directories entry by entry, with long names and deleted entries. The position is a
// cursor owned by the caller; the only shared state is the drive's one-sector directory cache.
#include "fat/fat_drive.h"

#include "fat/fat_analyser.h"
#include "support/helpers.h"

#include <cstring>
#include <span>

namespace quorvane {

namespace {

// 18 pieces of 13 characters: names longer than the 255 characters FAT allows are cut off.
constexpr int MaxLongNamePieces = 18;
constexpr std::size_t LongNameArea = MaxLongNamePieces * LongNameCharsPerPiece;

bool IsLongNamePieceOf(const TDirEntry& Entry, std::uint8_t Checksum) {
    return Entry.Attr == faLongName && Entry.FirstClusterLow == 0 && Entry.Raw[13] == Checksum;
}

}  // namespace

bool TClusterSet::Insert(std::uint32_t Cluster, std::uint32_t MaxCluster) {
    if (Cluster > MaxCluster) return true;  // out of range: not a cluster a chain may revisit
    auto bit = Pages[Cluster >> PageShift][Cluster & ((std::uint32_t{1} << PageShift) - 1)];
    if (bit) return false;
    bit = true;
    return true;
}

bool TFATdrive::EnterDirCluster(std::uint32_t Cluster) {
    return SearchedDirClusters == nullptr || SearchedDirClusters->Insert(Cluster, ClusterCount + 1);
}

// The cluster that carries on a directory whose chain has been released after Cluster, 0 when none
// does. A directory that filled up before anything else was written grew into the clusters right
// after it: they are taken one after the other, passing over the clusters the FAT gives to live
// files (as a deleted file is read), as long as they hold plausible directory entries and are not
// the start of a directory of their own ("." first).
std::uint32_t TFATdrive::ReleasedDirCluster(std::uint32_t Cluster) {
    if (!IsValidCluster(Cluster + 1)) return 0;
    const std::uint32_t next = NextUnallocatedCluster(Cluster + 1, ActiveFAT);
    if (!IsValidCluster(next) || !Analyser->DirEntriesContinueC(*this, next)) return 0;
    return Analyser->IsDirC(*this, next, 0) ? 0 : next;
}

// Moves a chain cursor to the next cluster of its directory. The walk ends at an end-of-chain
// mark, and also where the next cluster is bad, outside the volume, or one already entered (a
// loop): the cursor then holds an end-of-chain value, so every later call ends at once too. Where
// the next entry is free (the chain of a deleted directory) the walk goes on over the free clusters
// that still hold the directory's entries (ReleasedDirCluster).
bool TFATdrive::StepDirCluster(TDirCursor& Cursor) {
    std::uint32_t next;
    if (FollowsFAT(ActiveFAT)) {
        Cursor.Visited.Insert(Cursor.Cluster, ClusterCount + 1);
        next = Cursor.Released ? 0 : GetFAT(Cursor.Cluster, FATIndex(ActiveFAT));
        if (ClusterType(FATType, next) == ctFree) {
            Cursor.Released = true;
            next = ReleasedDirCluster(Cursor.Cluster);
        }
        if (IsValidCluster(next) && !Cursor.Visited.Insert(next, ClusterCount + 1)) next = 0;
    } else {
        next = Cursor.Cluster + 1;  // contiguous: cannot loop, ends at the volume's end
    }
    if (IsValidCluster(next) && !EnterDirCluster(next)) next = 0;
    if (IsEOF(next) || !IsValidCluster(next)) {
        Cursor.Cluster = IsEOF(next) ? next : GetClusterMask(ctEOF);
        return false;
    }
    Cursor.Cluster = next;
    Cursor.Index = 0;
    return true;
}

bool TFATdrive::GetNextRecord(TDirCursor& Cursor, TDirEntry& Entry) {
    std::uint32_t sector;
    if (Cursor.Cluster == 0) {
        if (Cursor.Index >= DirEntriesPerSector) {
            Cursor.Index = 0;
            ++Cursor.Sector;
        }
        // A run of sectors has no end of its own; it ends at the end marker or the volume's end.
        if (Cursor.Sector >= TotalSectors) return false;
        sector = Cursor.Sector;
    } else {
        if (!IsValidCluster(Cursor.Cluster) || BytesPerCluster == 0) return false;
        if (Cursor.Index >= BytesPerCluster / DirEntrySize && !StepDirCluster(Cursor)) return false;
        sector = Cluster2Sec(Cursor.Cluster) + Cursor.Index * DirEntrySize / FATSectorSize;
    }
    ReadCachedSector(sector, DirBuf.data(), DirBufSector);
    const std::size_t at = (Cursor.Index % DirEntriesPerSector) * DirEntrySize;
    Entry = *DecodeDirEntry(std::span<const std::uint8_t>(DirBuf).subspan(at, DirEntrySize));
    ++Cursor.Index;
    return true;
}

bool TFATdrive::ReadDataSec(TDirCursor& Cursor, std::uint8_t* Buffer) {
    std::uint32_t sector;
    if (Cursor.Cluster == 0) {
        if (Cursor.Index > 0) {
            Cursor.Index = 0;
            ++Cursor.Sector;
        }
        if (Cursor.Sector >= TotalSectors) return false;
        sector = Cursor.Sector;
    } else {
        if (!IsValidCluster(Cursor.Cluster) || BytesPerCluster == 0) return false;
        if (Cursor.Index >= SectorsPerCluster() && !StepDirCluster(Cursor)) return false;
        sector = Cluster2Sec(Cursor.Cluster) + Cursor.Index;
    }
    ReadCachedSector(sector, DirBuf.data(), DirBufSector);
    std::memcpy(Buffer, DirBuf.data(), FATSectorSize);
    ++Cursor.Index;
    return true;
}

// The pieces of a long name precede its short entry, the end of the name first. Pieces belong
// together when their checksum bytes are equal; the short entry's own checksum is not compared,
// because a deleted short entry (first byte now 0xE5) no longer matches it, and the sequence
// numbers are not looked at, so deleted pieces join as well as live ones.
bool TFATdrive::GetLongName(TDirCursor& Cursor, TDirEntry& Entry, std::string& Name) {
    if (Entry.Attr != faLongName || Entry.FirstClusterLow != 0 || !(Entry.Name[0] & LongNameLastPieceFlag))
        return false;
    const std::uint8_t sum = Entry.Raw[13];
    std::array<std::uint16_t, LongNameArea> area{};
    std::size_t pos = LongNameArea;
    int left = MaxLongNamePieces;
    while (IsLongNamePieceOf(Entry, sum) && left > 0) {
        pos -= LongNameCharsPerPiece;
        const TLongNamePiece piece = DecodeLongNamePiece(Entry);
        std::copy(piece.Chars.begin(), piece.Chars.end(), area.begin() + static_cast<std::ptrdiff_t>(pos));
        if (--left > 0 && !GetNextRecord(Cursor, Entry)) return false;
    }
    // After the 18th piece Entry still holds that piece; the caller drops it by its attributes.
    Name = Unicode2ASCII(area.data() + pos, static_cast<std::uint8_t>(LongNameArea - pos));
    return true;
}

bool TFATdrive::FindNextEntry(TDirCursor& Cursor, TDirEntry& Entry, std::string& Name, bool WithDeleted) {
    bool ok;
    do {
        ok = GetNextRecord(Cursor, Entry) && !Entry.IsEndMarker();
    } while (ok && !WithDeleted && Entry.IsDeleted());
    if (!ok) return false;

    if (Entry.IsLongNamePiece()) {
        if (GetLongName(Cursor, Entry, Name)) {
            // Pieces left at the very end of a directory name nothing: the end marker after them
            // ends the walk instead of passing as an entry.
            return !Entry.IsEndMarker();
        }
        // A piece that does not start a name is returned under its short-name bytes; its attributes
        // (which include the label bit) make callers drop it.
    }
    Name = CnvName(Entry);
    return true;
}

}  // namespace quorvane
