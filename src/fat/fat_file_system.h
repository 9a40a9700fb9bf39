#pragma once
// FAT12/16/32 as one of the file systems a drive list can open.
#include "disk/drives.h"

namespace quorvane {

// Recognises a FAT boot sector; its drives are TFATdrive. As the first file system of a list it
// also takes volumes that nothing recognises, and its mounting says what is wrong with them.
const TFileSystem& FatFileSystem();

}  // namespace quorvane
