#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "platform/drive_table.h"
#include "support/terminal_text.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace quorvane::cli {
namespace {

const char* kindName(std::uint32_t kind) {
    switch (kind) {
    case DRIVE_REMOVABLE: return "removable";
    case DRIVE_FIXED: return "fixed";
    case DRIVE_REMOTE: return "remote";
    case DRIVE_CDROM: return "cd-rom";
    case DRIVE_RAMDISK: return "ramdisk";
    default: return "unknown";
    }
}

int ListAllDrives(bool json) {
    const auto drives = DriveTable::instance().entries();
    if (json) {
        auto list = nlohmann::json::array();
        for (const auto& d : drives) {
            list.push_back({{"letter", std::string(1, d.letter()) + ":"}, {"path", d.path}, {"kind", kindName(d.kind)},
                            {"size", d.sizeBytes}, {"file_system", d.fileSystem}, {"name", d.displayName}});
        }
        std::puts(list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return ExitOk;
    }
    if (drives.empty()) {
        std::puts("No drives found. Name an image file or a block device instead.");
        return ExitOk;
    }
    std::printf("%-3s %-24s %-10s %12s  %-6s %s\n", "", "PATH", "KIND", "SIZE", "FS", "NAME");
    for (const auto& d : drives) {
        std::printf("%c:  %-24s %-10s %12llu  %-6s %s\n", d.letter(), EscapeForTerminal(d.path).c_str(),
                    kindName(d.kind), static_cast<unsigned long long>(d.sizeBytes),
                    d.fileSystem.empty() ? "-" : EscapeForTerminal(d.fileSystem).c_str(),
                    EscapeForTerminal(d.displayName).c_str());
    }
    return ExitOk;
}

// One line of a named path's listing: the whole drive (with the kind of its partition table, if
// it has one) or one of its partitions, placed by its start on the disk.
struct PathRow {
    const DriveEntry* drive = nullptr;
    std::string table;  // "MBR", "GPT" on a whole drive's row
    std::uint64_t startBytes = 0;
};

std::vector<PathRow> RowsOf(std::uint8_t number) {
    DriveTable& drives = DriveTable::instance();
    const DriveEntry* entry = drives.find(number);
    if (entry->partitionNumber != 0) {
        // A named partition: its start comes from its disk's table.
        PathRow row{entry, "", entry->offsetBytes};
        if (const DriveEntry* disk = drives.findByPath(entry->diskPath)) {
            for (const PartitionRow& p : drives.partitionTableOf(disk->number).partitions) {
                if (p.drive == number) row.startBytes = p.startBytes;
            }
        }
        return {row};
    }
    const PartitionTable table = drives.partitionTableOf(number);
    std::vector<PathRow> rows{{entry, table.kind, 0}};
    for (const PartitionRow& p : table.partitions) {
        if (p.drive != 0) rows.push_back({drives.find(p.drive), "", p.startBytes});
    }
    return rows;
}

int ListPaths(const std::vector<std::string>& paths, bool json) {
    std::vector<PathRow> rows;
    int code = ExitOk;
    for (const std::string& path : paths) {
        std::string error;
        const auto number = ResolveDrive(path, error);
        if (!number) {
            std::fprintf(stderr, "error: %s\n", EscapeForTerminal(error, true).c_str());
            code = ExitDriveUnavailable;
            continue;
        }
        for (PathRow& row : RowsOf(*number)) rows.push_back(std::move(row));
    }
    if (json) {
        auto list = nlohmann::json::array();
        for (const PathRow& r : rows) {
            const DriveEntry& d = *r.drive;
            list.push_back({{"letter", std::string(1, d.letter()) + ":"}, {"path", d.path}, {"kind", kindName(d.kind)},
                            {"partition", d.partitionNumber},
                            {"partition_table", r.table.empty() ? nlohmann::json() : nlohmann::json(r.table)},
                            {"start", r.startBytes}, {"size", d.sizeBytes}, {"file_system", d.fileSystem},
                            {"label", d.volumeLabel}, {"name", d.displayName}});
        }
        std::puts(list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return code;
    }
    if (rows.empty()) return code;
    std::printf("%-3s %-24s %-5s %12s %12s  %-6s %s\n", "", "PATH", "PART", "START", "SIZE", "FS", "NAME");
    for (const PathRow& r : rows) {
        const DriveEntry& d = *r.drive;
        const std::string part = d.partitionNumber != 0 ? std::to_string(d.partitionNumber)
                                 : r.table.empty()      ? "-"
                                                        : r.table;
        std::printf("%c:  %-24s %-5s %12llu %12llu  %-6s %s\n", d.letter(), EscapeForTerminal(d.path).c_str(),
                    part.c_str(), static_cast<unsigned long long>(r.startBytes),
                    static_cast<unsigned long long>(d.sizeBytes),
                    d.fileSystem.empty() ? "-" : EscapeForTerminal(d.fileSystem).c_str(),
                    EscapeForTerminal(d.displayName).c_str());
    }
    return code;
}

}  // namespace

int ListDrives(const std::vector<std::string>& paths, bool json) {
    return paths.empty() ? ListAllDrives(json) : ListPaths(paths, json);
}

}  // namespace quorvane::cli
