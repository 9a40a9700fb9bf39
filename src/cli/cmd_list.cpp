#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "platform/drive_table.h"

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

}  // namespace

int ListDrives(bool json) {
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
        std::printf("%c:  %-24s %-10s %12llu  %-6s %s\n", d.letter(), d.path.c_str(), kindName(d.kind),
                    static_cast<unsigned long long>(d.sizeBytes), d.fileSystem.empty() ? "-" : d.fileSystem.c_str(),
                    d.displayName.c_str());
    }
    return ExitOk;
}

}  // namespace quorvane::cli
