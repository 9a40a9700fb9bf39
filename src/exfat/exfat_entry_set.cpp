#include "exfat/exfat_entry_set.h"

#include "exfat/exfat_bytes.h"

namespace quorvane {

namespace {

constexpr std::uint32_t MinSecondaries = 2;   // the stream extension and one name entry
constexpr std::uint32_t MaxSecondaries = 18;  // the stream extension and 17 name entries (255 characters)

void AppendUtf8(std::string& Out, char32_t C) {
    if (C < 0x80) {
        Out += static_cast<char>(C);
    } else if (C < 0x800) {
        Out += static_cast<char>(0xC0 | C >> 6);
        Out += static_cast<char>(0x80 | (C & 0x3F));
    } else if (C < 0x10000) {
        Out += static_cast<char>(0xE0 | C >> 12);
        Out += static_cast<char>(0x80 | (C >> 6 & 0x3F));
        Out += static_cast<char>(0x80 | (C & 0x3F));
    } else {
        Out += static_cast<char>(0xF0 | C >> 18);
        Out += static_cast<char>(0x80 | (C >> 12 & 0x3F));
        Out += static_cast<char>(0x80 | (C >> 6 & 0x3F));
        Out += static_cast<char>(0x80 | (C & 0x3F));
    }
}

// The name's UTF-16 units, taken from the name entries' 15-character fields, as UTF-8.
std::string NameFromEntries(const std::uint8_t* FirstNameEntry, std::uint32_t Length) {
    std::string name;
    auto unit = [FirstNameEntry](std::uint32_t i) {
        const std::uint8_t* entry = FirstNameEntry + (i / ExFATNameCharsPerEntry) * ExFATEntryBytes;
        return ExFATU16(entry + 2 + (i % ExFATNameCharsPerEntry) * 2);
    };
    for (std::uint32_t i = 0; i < Length; ++i) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < Length) {
            const char32_t low = unit(i + 1);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(name, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(name, u >= 0xD800 && u < 0xE000 ? char32_t{0xFFFD} : u);
    }
    return name;
}

}  // namespace

const char* EntrySetVerdictName(EntrySetVerdict Verdict) {
    switch (Verdict) {
        case EntrySetVerdict::Valid: return "Valid";
        case EntrySetVerdict::NotAFileEntry: return "NotAFileEntry";
        case EntrySetVerdict::BadSecondaryCount: return "BadSecondaryCount";
        case EntrySetVerdict::Truncated: return "Truncated";
        case EntrySetVerdict::MixedInUse: return "MixedInUse";
        case EntrySetVerdict::NoStream: return "NoStream";
        case EntrySetVerdict::BadNameLength: return "BadNameLength";
        case EntrySetVerdict::NoNameEntry: return "NoNameEntry";
        case EntrySetVerdict::BadChecksum: return "BadChecksum";
    }
    return "?";
}

std::uint16_t ExFATSetChecksum(std::span<const std::uint8_t> Bytes, bool AsInUse) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < Bytes.size(); ++i) {
        if (i == 2 || i == 3) continue;
        std::uint8_t b = Bytes[i];
        if (AsInUse && i % ExFATEntryBytes == 0) b |= ExFATInUse;
        sum = static_cast<std::uint16_t>(((sum & 1) != 0 ? 0x8000u : 0u) + (sum >> 1) + b);
    }
    return sum;
}

EntrySetVerdict DecodeEntrySet(std::span<const std::uint8_t> Bytes, TExFATEntrySet& Set) {
    if (Bytes.size() < ExFATEntryBytes || (Bytes[0] | ExFATInUse) != ExFATFileEntry)
        return EntrySetVerdict::NotAFileEntry;
    const std::uint8_t* e = Bytes.data();
    const bool deleted = (e[0] & ExFATInUse) == 0;
    const std::uint32_t secondaries = e[1];
    if (secondaries < MinSecondaries || secondaries > MaxSecondaries) return EntrySetVerdict::BadSecondaryCount;
    const std::size_t setBytes = std::size_t{secondaries + 1} * ExFATEntryBytes;
    if (Bytes.size() < setBytes) return EntrySetVerdict::Truncated;
    for (std::uint32_t i = 1; i <= secondaries; ++i) {
        if (((e[i * ExFATEntryBytes] & ExFATInUse) == 0) != deleted) return EntrySetVerdict::MixedInUse;
    }
    const std::uint8_t* stream = e + ExFATEntryBytes;
    if ((stream[0] | ExFATInUse) != ExFATStreamEntry) return EntrySetVerdict::NoStream;
    const std::uint32_t nameLength = stream[3];
    const std::uint32_t nameEntries = (nameLength + ExFATNameCharsPerEntry - 1) / ExFATNameCharsPerEntry;
    if (nameLength == 0 || nameEntries > secondaries - 1) return EntrySetVerdict::BadNameLength;
    for (std::uint32_t i = 0; i < nameEntries; ++i) {
        if ((e[(2 + i) * ExFATEntryBytes] | ExFATInUse) != ExFATNameEntry) return EntrySetVerdict::NoNameEntry;
    }
    if (ExFATSetChecksum(Bytes.first(setBytes), deleted) != ExFATU16(e + 2)) return EntrySetVerdict::BadChecksum;

    Set = TExFATEntrySet{};
    Set.Deleted = deleted;
    Set.Entries = secondaries + 1;
    Set.Attributes = ExFATU16(e + 4);
    Set.Modified = ExFATU32(e + 12);
    Set.ModifiedUtcOffset = e[23];
    Set.StreamFlags = stream[1];
    Set.ValidDataLength = ExFATU64(stream + 8);
    Set.FirstCluster = ExFATU32(stream + 20);
    Set.DataLength = ExFATU64(stream + 24);
    Set.Name = NameFromEntries(e + 2 * ExFATEntryBytes, nameLength);
    return EntrySetVerdict::Valid;
}

std::int64_t ExFATTimestampSeconds(std::uint32_t Timestamp, std::uint8_t UtcOffset) {
    const int seconds = static_cast<int>(Timestamp & 0x1F) * 2;
    const int minute = static_cast<int>(Timestamp >> 5 & 0x3F);
    const int hour = static_cast<int>(Timestamp >> 11 & 0x1F);
    const int day = static_cast<int>(Timestamp >> 16 & 0x1F);
    const int month = static_cast<int>(Timestamp >> 21 & 0x0F);
    const int year = 1980 + static_cast<int>(Timestamp >> 25);
    if (day < 1 || month < 1 || month > 12 || hour > 23 || minute > 59 || seconds > 59) return 0;
    // Days since 1970 from the civil date (proleptic Gregorian).
    const int y = month <= 2 ? year - 1 : year;
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int mp = (month + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = std::int64_t{era} * 146097 + doe - 719468;
    std::int64_t result = days * 86400 + hour * 3600 + minute * 60 + seconds;
    if ((UtcOffset & 0x80) != 0) {
        // Seven-bit signed count of 15-minute steps east of UTC.
        const int steps = (UtcOffset & 0x40) != 0 ? static_cast<int>(UtcOffset & 0x7F) - 128 : UtcOffset & 0x7F;
        result -= std::int64_t{steps} * 15 * 60;
    }
    return result;
}

}  // namespace quorvane
