#pragma once
// The partition table at the start of a whole disk or image as a user is shown it: its kind and,
// for each partition, its number, place, type and file system, with the drive that reads it.
#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

struct PartitionRow {
    int number = 0;  // as the table numbers it: 1 to 4 primary, 5 on logical (MBR)
    std::uint64_t startBytes = 0;
    std::uint64_t sizeBytes = 0;
    std::string type;        // "0x0c" (MBR type byte) or a GPT type GUID
    std::string fileSystem;  // "FAT16", "FAT32", "ext4", ...; empty when none was recognised
    std::string label;
    std::uint8_t drive = 0;  // the drive that reads the partition; 0 when it lies past the end
};

struct PartitionTable {
    std::string kind;  // "MBR", "GPT", ...; empty when the drive starts with no partition table
    std::uint32_t sectorSize = 512;
    std::vector<PartitionRow> partitions;  // in table order
};

// "MBR" for libblkid's "dos", "GPT" for "gpt", any other table type in upper case.
std::string PartitionTableKindName(const std::string& blkidType);

// What a type code stands for: "W95 FAT32 (LBA)", "Microsoft basic data", ...; empty when the
// code is none of the common ones.
std::string PartitionTypeName(const std::string& type);

bool IsFatFileSystemName(const std::string& fileSystem);
// FAT or exFAT: the file systems the folder based method reads.
bool IsFolderMethodFileSystemName(const std::string& fileSystem);

// The partition a whole disk or image is read through when none is named: the first one that
// holds FAT or exFAT, else the first one that holds any file system; nullptr when none does.
const PartitionRow* PreferredPartition(const PartitionTable& table);

// "1 (FAT16, 8.00 MB), 2 (FAT32, 41.00 MB)": the partitions for a message.
std::string PartitionSummary(const PartitionTable& table);

}  // namespace quorvane
