#include "platform/partition_table.h"

#include "platform/drive_naming.h"

#include <algorithm>
#include <cctype>

namespace quorvane {
namespace {

struct TypeName {
    const char* type;
    const char* name;
};

// The types that cards, sticks and the disks they are imaged from carry.
constexpr TypeName TYPE_NAMES[] = {
    {"0x01", "FAT12"},
    {"0x04", "FAT16 <32M"},
    {"0x06", "FAT16"},
    {"0x07", "HPFS/NTFS/exFAT"},
    {"0x0b", "W95 FAT32"},
    {"0x0c", "W95 FAT32 (LBA)"},
    {"0x0e", "W95 FAT16 (LBA)"},
    {"0x82", "Linux swap"},
    {"0x83", "Linux"},
    {"0xee", "GPT protective"},
    {"0xef", "EFI (FAT-12/16/32)"},
    {"ebd0a0a2-b9e5-4433-87c0-68b6b72699c7", "Microsoft basic data"},
    {"c12a7328-f81f-11d2-ba4b-00a0c93ec93b", "EFI System"},
    {"0fc63daf-8483-4772-8e79-3d69d8477de4", "Linux filesystem"},
    {"0657fd6d-a4ab-43c4-84e5-0933c84b4f4f", "Linux swap"},
    {"e3c9e316-0b5c-4db8-817d-f92df00215ae", "Microsoft reserved"},
};

}  // namespace

std::string PartitionTableKindName(const std::string& blkidType) {
    if (blkidType == "dos") return "MBR";
    std::string kind = blkidType;
    std::transform(kind.begin(), kind.end(), kind.begin(), [](unsigned char c) { return std::toupper(c); });
    return kind;
}

std::string PartitionTypeName(const std::string& type) {
    for (const TypeName& t : TYPE_NAMES) {
        if (type == t.type) return t.name;
    }
    return {};
}

bool IsFatFileSystemName(const std::string& fileSystem) {
    return fileSystem == "FAT" || fileSystem == "FAT12" || fileSystem == "FAT16" || fileSystem == "FAT32";
}

bool IsFolderMethodFileSystemName(const std::string& fileSystem) {
    return IsFatFileSystemName(fileSystem) || fileSystem == "exFAT";
}

const PartitionRow* PreferredPartition(const PartitionTable& table) {
    const PartitionRow* anyFileSystem = nullptr;
    for (const PartitionRow& p : table.partitions) {
        if (p.drive == 0) continue;
        if (IsFolderMethodFileSystemName(p.fileSystem)) return &p;
        if (anyFileSystem == nullptr && !p.fileSystem.empty()) anyFileSystem = &p;
    }
    return anyFileSystem;
}

std::string PartitionSummary(const PartitionTable& table) {
    std::string text;
    for (const PartitionRow& p : table.partitions) {
        if (!text.empty()) text += ", ";
        text += std::to_string(p.number) + " (" + (p.fileSystem.empty() ? "no file system" : p.fileSystem) + ", " +
                FormatSize(p.sizeBytes) + ")";
    }
    return text;
}

}  // namespace quorvane
