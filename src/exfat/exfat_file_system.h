#pragma once
// exFAT as one of the file systems a drive list can open.
#include "disk/drives.h"

namespace quorvane {

// Recognises a boot sector that names itself exFAT; its drives are TExFATdrive.
const TFileSystem& ExFatFileSystem();

}  // namespace quorvane
