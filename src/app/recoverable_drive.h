#pragma once
// Which drives a recovery run is offered for: removable, fixed, RAM disks and CD-ROMs.
#include <cstdint>

namespace quorvane {

// kind as GetDriveTypeA answers it.
bool IsRecoverableDriveKind(std::uint32_t kind);
// The drive with this number is in the drive table and of such a kind.
bool IsRecoverableDrive(std::uint8_t drive);

}  // namespace quorvane
