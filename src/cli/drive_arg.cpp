#include "cli/drive_arg.h"

#include "cli/exit_codes.h"
#include "platform/drive_table.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quorvane::cli {

DriveChoice ChooseDrive(const std::string& arg) {
    std::string error;
    const auto number = ResolveDrive(arg, error);
    if (!number) {
        std::fprintf(stderr, "error: %s\n", error.empty() ? ("no drive " + arg).c_str() : error.c_str());
        return {0, errno == EACCES || error.find("ermission") != std::string::npos ? ExitNoPermission : ExitDriveUnavailable};
    }
    const int err = ProbeReadAccess(*number);
    if (err == 0) return {*number, ExitOk};
    const auto* entry = DriveTable::instance().find(*number);
    const std::string path = entry != nullptr ? entry->path : arg;
    if (err == EACCES || err == EPERM) {
        std::fprintf(stderr,
                     "error: no permission to read %s.\n"
                     "Run as root, or join the disk group: sudo usermod -aG disk $USER (then log in again).\n",
                     path.c_str());
        return {0, ExitNoPermission};
    }
    std::fprintf(stderr, "error: cannot read %s: %s\n", path.c_str(), std::strerror(err));
    return {0, ExitDriveUnavailable};
}

}  // namespace quorvane::cli
