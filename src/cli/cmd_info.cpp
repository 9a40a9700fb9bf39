#include "app/drive_properties.h"
#include "cli/commands.h"
#include "cli/drive_arg.h"
#include "cli/exit_codes.h"
#include "platform/drive_table.h"
#include "platform/logical_drive.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace quorvane::cli {

int ShowInfo(const std::string& drive, bool json) {
    const auto choice = ChooseDrive(drive);
    if (choice.number == 0) return choice.exitCode;
    const TDriveProperties properties = ReadDriveProperties(choice.number);
    const auto* entry = DriveTable::instance().find(choice.number);
    const bool ready = properties.Ready;
    if (json) {
        nlohmann::json j = {{"drive", LogicalDrive(choice.number).name()},
                            {"path", entry ? entry->path : drive},
                            {"status", properties.Status},
                            {"media", properties.Media},
                            {"capacity", properties.Capacity},
                            {"bytes_per_sector", properties.Params.BytesPerSector},
                            {"total_sectors", properties.Params.TotalSectors},
                            {"file_system", entry ? entry->fileSystem : ""},
                            {"label", entry ? entry->volumeLabel : ""}};
        std::puts(j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else {
        std::printf("Drive:        %s %s\n", LogicalDrive(choice.number).name().c_str(),
                    entry ? entry->displayName.c_str() : drive.c_str());
        std::printf("Status:       %s\n", properties.Status.c_str());
        if (ready) {
            std::printf("Media:        %s\n", properties.Media.c_str());
            std::printf("Capacity:     %s\n", properties.Capacity.c_str());
            std::printf("Sector Size:  %s\n", properties.BytesPerSector.c_str());
            std::printf("Sectors:      %u\n", properties.Params.TotalSectors);
        }
        if (entry != nullptr && !entry->fileSystem.empty()) {
            std::printf("File system:  %s%s%s\n", entry->fileSystem.c_str(), entry->volumeLabel.empty() ? "" : ", label ",
                        entry->volumeLabel.c_str());
        }
    }
    return ready ? ExitOk : ExitDriveUnavailable;
}

}  // namespace quorvane::cli
