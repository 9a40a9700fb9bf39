#pragma once

namespace quorvane::cli {

enum ExitCode : int {
    ExitOk = 0,
    ExitUsage = 1,
    ExitDriveUnavailable = 2,  // no such drive, not readable, damaged image
    ExitNoPermission = 3,
    ExitNotSaved = 4,          // the run had to stop, or files could not be saved
    ExitRunFailed = 5,         // an error inside the run stopped it; the files found so far were saved
    ExitCancelled = 130,       // Ctrl-C; the files found so far were saved
};

}  // namespace quorvane::cli
