#pragma once
// Whether the folder based method can read a drive's volume, told before any mount: the run
// refuses a volume it cannot read, and the analysis proposes the scan method for it.
#include <cstdint>
#include <string>

namespace quorvane {

// Why the folder based method cannot read the volume of drive (1 = A:), worded for the user with
// driveName; empty for a FAT volume of 512-byte sectors (its mount may still fail, and then says
// why itself) and for a drive that is not ready or has no sectors.
std::string FolderMethodRefusal(std::uint8_t drive, const std::string& driveName);

}  // namespace quorvane
