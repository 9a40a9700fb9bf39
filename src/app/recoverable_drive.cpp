#include "app/recoverable_drive.h"

#include "platform/drive_table.h"

namespace quorvane {

bool IsRecoverableDriveKind(std::uint32_t kind) {
    return kind == DRIVE_REMOVABLE || kind == DRIVE_FIXED || kind == DRIVE_RAMDISK || kind == DRIVE_CDROM;
}

bool IsRecoverableDrive(std::uint8_t drive) {
    const auto* entry = DriveTable::instance().find(drive);
    return entry != nullptr && IsRecoverableDriveKind(GetDriveTypeA(entry->root()));
}

}  // namespace quorvane
