#pragma once
// Directory entry sets: a file entry (0x85) followed by its stream extension (0xC0) and the file
// name entries (0xC1) that spell its name, guarded by a checksum over the whole set. Deleting a
// file clears the in-use bit of every entry of its set (0x05, 0x40, 0x41) and leaves the rest as
// it was, so a deleted set decodes like a live one. The bytes come from the medium: a set is taken
// only when its entries are in the right order, its lengths fit and its checksum holds.
#include <cstdint>
#include <span>
#include <string>

namespace quorvane {

inline constexpr std::size_t ExFATEntryBytes = 32;

// Entry types, with the in-use bit set.
inline constexpr std::uint8_t ExFATEndOfDirectory = 0x00;
inline constexpr std::uint8_t ExFATInUse = 0x80;
inline constexpr std::uint8_t ExFATBitmapEntry = 0x81;
inline constexpr std::uint8_t ExFATLabelEntry = 0x83;
inline constexpr std::uint8_t ExFATFileEntry = 0x85;
inline constexpr std::uint8_t ExFATStreamEntry = 0xC0;
inline constexpr std::uint8_t ExFATNameEntry = 0xC1;

inline constexpr std::uint16_t ExFATAttrDirectory = 0x10;
// Stream extension flags.
inline constexpr std::uint8_t ExFATAllocationPossible = 0x01;
inline constexpr std::uint8_t ExFATNoFatChain = 0x02;

// A name entry holds 15 UTF-16 characters; a name has at most 255.
inline constexpr std::uint32_t ExFATNameCharsPerEntry = 15;
inline constexpr std::uint32_t ExFATMaxNameChars = 255;

struct TExFATEntrySet {
    bool Deleted = false;       // the file entry's in-use bit is clear
    std::uint32_t Entries = 0;  // 32-byte entries the set takes, file entry included
    std::uint16_t Attributes = 0;
    std::uint32_t Modified = 0;  // last modified timestamp (local date and time, FAT style)
    std::uint8_t ModifiedUtcOffset = 0;
    std::uint8_t StreamFlags = 0;
    std::uint32_t FirstCluster = 0;
    std::uint64_t ValidDataLength = 0;
    std::uint64_t DataLength = 0;
    std::string Name;  // UTF-8; unpaired surrogates become U+FFFD

    bool IsDirectory() const { return (Attributes & ExFATAttrDirectory) != 0; }
    bool NoFatChain() const { return (StreamFlags & ExFATNoFatChain) != 0; }
};

// Why the bytes at a position are or are not an entry set, tested in this order.
enum class EntrySetVerdict : std::uint8_t {
    Valid,
    NotAFileEntry,      // the first entry is not 0x85 or 0x05
    BadSecondaryCount,  // fewer than a stream and one name entry, or more than 18 secondaries
    Truncated,          // the set runs past the bytes given
    MixedInUse,         // secondaries whose in-use bit differs from the file entry's
    NoStream,           // the first secondary is not a stream extension
    BadNameLength,      // a name of 0 characters, or more name entries needed than the set holds
    NoNameEntry,        // a name entry missing where the name needs one
    BadChecksum,
};

const char* EntrySetVerdictName(EntrySetVerdict Verdict);

// The set checksum over Bytes (the set's entries), leaving out the checksum field itself (bytes 2
// and 3). With AsInUse the in-use bit of every entry type counts as set, as when the checksum was
// written: a deleted set is checked against the checksum of its live days.
std::uint16_t ExFATSetChecksum(std::span<const std::uint8_t> Bytes, bool AsInUse);

// Decodes the set that starts at the first entry of Bytes (a directory's entries from there on).
EntrySetVerdict DecodeEntrySet(std::span<const std::uint8_t> Bytes, TExFATEntrySet& Set);

// An exFAT timestamp as seconds since 1970 (UTC when UtcOffset holds a valid offset, else taken
// as UTC); 0 when the fields are out of range.
std::int64_t ExFATTimestampSeconds(std::uint32_t Timestamp, std::uint8_t UtcOffset);

}  // namespace quorvane
