#pragma once

namespace quorvane::cli {

enum ExitCode : int {
    ExitOk = 0,
    ExitUsage = 1,
    // No such drive, not readable, damaged image; or, for the folder based method, a volume that
    // holds no FAT file system it can mount (exFAT, NTFS, ext4, a damaged boot sector, 4K sectors).
    ExitDriveUnavailable = 2,
    ExitNoPermission = 3,
    // The run had to stop, or files could not be saved; or the destination cannot take them (a
    // file, a folder that cannot be made or written), which is found before the drive is read.
    ExitNotSaved = 4,
    ExitRunFailed = 5,         // an error inside the run stopped it; the files found so far were saved
    // update: the control file or a download was refused (not signed, changed, not https, a
    // folder outside the program's); nothing was installed.
    ExitUpdateRefused = 6,
    // Ctrl-C; the files found so far were saved. A second Ctrl-C ends the program at once, also
    // with 130, after saying where the files found so far are.
    ExitCancelled = 130,
};

}  // namespace quorvane::cli
