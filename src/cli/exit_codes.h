#pragma once

namespace quorvane::cli {

enum ExitCode : int {
    ExitOk = 0,
    ExitUsage = 1,
    // No such drive, not readable, damaged image; or, for the folder based method, a volume that
    // holds no FAT file system it can mount (exFAT, NTFS, ext4, a damaged boot sector, 4K sectors).
    ExitDriveUnavailable = 2,
    ExitNoPermission = 3,
    ExitNotSaved = 4,          // the run had to stop, or files could not be saved
    ExitRunFailed = 5,         // an error inside the run stopped it; the files found so far were saved
    ExitCancelled = 130,       // Ctrl-C; the files found so far were saved
};

}  // namespace quorvane::cli
