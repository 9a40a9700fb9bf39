#pragma once
// The NT volume services served from the drive table: "\\.\E:" opens the volume of drive E:
// through its opener, the file pointer is kept per handle, reads and writes go to the volume.
#include "platform/win32_volume_api.h"

namespace quorvane {

// The process-wide stand-in.
NtVolumeServices& StandInVolumeServices();

// The drive number in a device name "\\.\E:" (letters as LogicalDrive makes them, never
// case-folded), 0 when it is not one.
std::uint8_t DriveOfDeviceName(const std::string& deviceName);

// The GetLastError value for an errno value.
std::uint32_t Win32ErrorFromErrno(int err);

}  // namespace quorvane
