// The decoding of exFAT's on-disk structures from bytes: entry sets (order, lengths, checksum,
// names) and boot regions (fields, checksum).
#include "exfat/exfat_boot.h"
#include "exfat/exfat_entry_set.h"
#include "exfat_image_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <span>

namespace quorvane::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ExFATEntrySets, DecodeOnlyWholeSetsWhoseChecksumHolds) {
    struct Case {
        const char* name;
        std::function<void(Bytes&)> change;  // applied to a live set for "IMG_0001.JPG"
        EntrySetVerdict verdict;
    };
    const Case cases[] = {
        {"as written", [](Bytes&) {}, EntrySetVerdict::Valid},
        {"deleted: in-use bits cleared, checksum of the live set",
         [](Bytes& b) {
             for (std::size_t at = 0; at < b.size(); at += 32) b[at] &= 0x7F;
         },
         EntrySetVerdict::Valid},
        {"a name byte changed", [](Bytes& b) { b[66] ^= 1; }, EntrySetVerdict::BadChecksum},
        {"the length changed", [](Bytes& b) { b[32 + 24] ^= 1; }, EntrySetVerdict::BadChecksum},
        {"not a file entry", [](Bytes& b) { b[0] = 0x83; }, EntrySetVerdict::NotAFileEntry},
        {"one secondary", [](Bytes& b) { b[1] = 1; }, EntrySetVerdict::BadSecondaryCount},
        {"19 secondaries", [](Bytes& b) { b[1] = 19; }, EntrySetVerdict::BadSecondaryCount},
        {"more secondaries than bytes", [](Bytes& b) { b[1] = 3; }, EntrySetVerdict::Truncated},
        {"only the file entry deleted", [](Bytes& b) { b[0] = 0x05; }, EntrySetVerdict::MixedInUse},
        {"a name entry where the stream belongs", [](Bytes& b) { b[32] = 0xC1; }, EntrySetVerdict::NoStream},
        {"a name of 0 characters", [](Bytes& b) { b[32 + 3] = 0; }, EntrySetVerdict::BadNameLength},
        {"a name longer than its entries", [](Bytes& b) { b[32 + 3] = 16; }, EntrySetVerdict::BadNameLength},
        {"a stream where the name belongs", [](Bytes& b) { b[64] = 0xC0; }, EntrySetVerdict::NoNameEntry},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes set = EntrySetBytes("IMG_0001.JPG", 0x20, 7, 123456, true);
        c.change(set);
        TExFATEntrySet decoded;
        EXPECT_STREQ(EntrySetVerdictName(DecodeEntrySet(set, decoded)), EntrySetVerdictName(c.verdict));
    }
}

TEST(ExFATEntrySets, FieldsAndUtf16Names) {
    // A name over two name entries, with a surrogate pair and an unpaired surrogate.
    Bytes set = EntrySetBytes("ABCDEFGHIJKLMNOPQ", 0x10, 9, 8192, false, true);
    set[64 + 2] = 0x3D;  // 'A' becomes U+D83D U+DCF7 (a camera)
    set[64 + 3] = 0xD8;
    set[64 + 4] = 0xF7;
    set[64 + 5] = 0xDC;
    set[96 + 2] = 0x00;  // 'P' becomes a lone low surrogate
    set[96 + 3] = 0xDC;
    set[2] = set[3] = 0;
    for (std::size_t at = 0; at < set.size(); at += 32) set[at] |= 0x80;
    const std::uint16_t sum = ExFATSetChecksum(set, false);
    set[2] = static_cast<std::uint8_t>(sum);
    set[3] = static_cast<std::uint8_t>(sum >> 8);
    for (std::size_t at = 0; at < set.size(); at += 32) set[at] &= 0x7F;

    TExFATEntrySet decoded;
    ASSERT_EQ(DecodeEntrySet(set, decoded), EntrySetVerdict::Valid);
    EXPECT_TRUE(decoded.Deleted);
    EXPECT_TRUE(decoded.IsDirectory());
    EXPECT_FALSE(decoded.NoFatChain());
    EXPECT_EQ(decoded.Entries, 4u);
    EXPECT_EQ(decoded.FirstCluster, 9u);
    EXPECT_EQ(decoded.DataLength, 8192u);
    EXPECT_EQ(decoded.Name,
              "\xF0\x9F\x93\xB7"
              "CDEFGHIJKLMNO\xEF\xBF\xBDQ");
    EXPECT_EQ(ExFATTimestampSeconds(decoded.Modified, 0), 1749988800);                    // 2025-06-15 12:00:00
    EXPECT_EQ(ExFATTimestampSeconds(decoded.Modified, 0x80 | 8), 1749988800 - 2 * 3600);  // written at UTC+2
    EXPECT_EQ(ExFATTimestampSeconds(0, 0), 0);
}

TEST(ExFATBootRegions, TheChecksumGuardsAllButTheFieldsThatChangeInUse) {
    struct Case {
        const char* name;
        std::size_t offset;
        std::uint8_t value;
        bool valid;
    };
    const Case cases[] = {
        {"as written", 0, 0xEB, true},
        {"volume flags", 106, 0x02, true},
        {"percent in use", 112, 50, true},
        {"boot code", 300, 0x42, false},
        {"an extended boot sector", 3 * 512 + 7, 1, false},
        {"the checksum sector", 11 * 512 + 5, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExFATImage image;
        image.Bytes[c.offset] = c.value;
        const std::span<const std::uint8_t> main(image.Bytes.data(), 12 * 512);
        EXPECT_EQ(CheckedExFATBootRegion(main).has_value(), c.valid);
    }
}

TEST(ExFATBootRegions, FieldsOutsideExFATsRangesAreRefused) {
    struct Case {
        const char* name;
        std::size_t offset;
        std::uint8_t value;
    };
    const Case cases[] = {
        {"sectors of 256 bytes", 108, 8},
        {"sectors of 8 KiB", 108, 13},
        {"clusters of 64 MiB", 109, 17},
        {"three FATs", 110, 3},
        {"no FAT", 110, 0},
        {"the FAT inside the boot regions", 80, 4},
        {"the cluster heap inside the FAT", 88, 30},
        {"no signature", 511, 0},
        {"the root at cluster 1", 96, 1},
        {"another name", 3, 'N'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExFATImage image;
        if (c.offset == 96 || c.offset == 80 || c.offset == 88) {
            // Four-byte fields: the rest of the field cleared.
            std::fill_n(image.Bytes.begin() + static_cast<std::ptrdiff_t>(c.offset), 4, 0);
        }
        image.Bytes[c.offset] = c.value;
        EXPECT_FALSE(DecodeExFATBoot(image.Bytes).has_value());
    }
}

}  // namespace
}  // namespace quorvane::testing
