#include "app/drive_properties.h"
#include "cli/commands.h"
#include "cli/drive_arg.h"
#include "cli/exit_codes.h"
#include "platform/drive_naming.h"
#include "platform/drive_table.h"
#include "platform/logical_drive.h"
#include "support/terminal_text.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace quorvane::cli {
namespace {

// The whole disk or image whose partition table belongs with a drive: the drive itself, or the
// disk its partition lies on. 0 when there is none.
std::uint8_t DiskOf(const DriveEntry* entry) {
    if (entry == nullptr) return 0;
    if (entry->partitionNumber == 0) return entry->number;
    const DriveEntry* disk = DriveTable::instance().findByPath(entry->diskPath);
    return disk != nullptr ? disk->number : 0;
}

// "0x0c W95 FAT32 (LBA)", "Microsoft basic data", or the bare code when it has no common name.
std::string TypeText(const PartitionRow& p) {
    const std::string name = PartitionTypeName(p.type);
    if (name.empty()) return p.type;
    return p.type.rfind("0x", 0) == 0 ? p.type + " " + name : name;
}

nlohmann::json TableJson(const PartitionTable& table) {
    if (table.partitions.empty()) return nullptr;
    auto rows = nlohmann::json::array();
    for (const PartitionRow& p : table.partitions) {
        rows.push_back({{"number", p.number},
                        {"start_sector", p.startBytes / table.sectorSize},
                        {"sectors", p.sizeBytes / table.sectorSize},
                        {"size", p.sizeBytes},
                        {"type", p.type},
                        {"type_name", PartitionTypeName(p.type)},
                        {"file_system", p.fileSystem},
                        {"label", p.label},
                        {"drive", p.drive != 0 ? LogicalDrive(p.drive).name() : ""}});
    }
    return {{"kind", table.kind}, {"sector_size", table.sectorSize}, {"partitions", std::move(rows)}};
}

// The table with the partition this drive reads marked by '*'.
void PrintTable(const PartitionTable& table, std::uint8_t drive) {
    std::printf("Partition table: %s, %zu partition%s\n", table.kind.c_str(), table.partitions.size(),
                table.partitions.size() == 1 ? "" : "s");
    std::printf("     #  %12s %12s %10s  %-26s %s\n", "START SECTOR", "SECTORS", "SIZE", "TYPE", "FILE SYSTEM");
    for (const PartitionRow& p : table.partitions) {
        std::string fs = p.fileSystem.empty() ? "-" : p.fileSystem;
        if (!p.label.empty()) fs += " \"" + EscapeForTerminal(p.label) + "\"";
        std::printf("  %c %2d  %12llu %12llu %10s  %-26s %s\n", p.drive != 0 && p.drive == drive ? '*' : ' ', p.number,
                    static_cast<unsigned long long>(p.startBytes / table.sectorSize),
                    static_cast<unsigned long long>(p.sizeBytes / table.sectorSize), FormatSize(p.sizeBytes).c_str(),
                    TypeText(p).c_str(), fs.c_str());
    }
}

}  // namespace

int ShowInfo(const std::string& drive, bool json) {
    const auto choice = ChooseDrive(drive);
    if (choice.number == 0) return choice.exitCode;
    const TDriveProperties properties = ReadDriveProperties(choice.number);
    const auto* entry = DriveTable::instance().find(choice.number);
    const bool ready = properties.Ready;
    const std::uint8_t disk = DiskOf(entry);
    const PartitionTable table = disk != 0 ? DriveTable::instance().partitionTableOf(disk) : PartitionTable{};
    if (json) {
        nlohmann::json j = {{"drive", LogicalDrive(choice.number).name()},
                            {"path", entry ? entry->path : drive},
                            {"partition", entry ? entry->partitionNumber : 0},
                            {"status", properties.Status},
                            {"media", properties.Media},
                            {"capacity", properties.Capacity},
                            {"bytes_per_sector", properties.Params.BytesPerSector},
                            {"total_sectors", properties.TotalSectors},
                            {"file_system", entry ? entry->fileSystem : ""},
                            {"label", entry ? entry->volumeLabel : ""},
                            {"partition_table", TableJson(table)}};
        std::puts(j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else {
        std::printf("Drive:        %s %s\n", LogicalDrive(choice.number).name().c_str(),
                    EscapeForTerminal(entry ? entry->displayName : drive).c_str());
        std::printf("Status:       %s\n", properties.Status.c_str());
        if (ready) {
            std::printf("Media:        %s\n", properties.Media.c_str());
            std::printf("Capacity:     %s\n", properties.Capacity.c_str());
            std::printf("Sector Size:  %s\n", properties.BytesPerSector.c_str());
            std::printf("Sectors:      %llu\n", static_cast<unsigned long long>(properties.TotalSectors));
        }
        if (entry != nullptr && !entry->fileSystem.empty()) {
            std::printf("File system:  %s%s%s\n", EscapeForTerminal(entry->fileSystem).c_str(),
                        entry->volumeLabel.empty() ? "" : ", label ", EscapeForTerminal(entry->volumeLabel).c_str());
        }
        if (!table.partitions.empty()) PrintTable(table, choice.number);
    }
    return ready ? ExitOk : ExitDriveUnavailable;
}

}  // namespace quorvane::cli
