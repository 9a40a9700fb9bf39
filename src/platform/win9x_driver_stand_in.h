#pragma once
// In-process stand-ins for the 9x drivers, served from the drive table: VWIN32 answers the DOS
// generic IOCTL (lock, unlock, device parameters), INT 25h/26h and INT 21h 7305h; INT2F.VXD
// answers the CD-ROM test, sector reads and the volume size; INT13EXT.VXD only loads.
#include "platform/win9x_driver_api.h"

namespace quorvane {

// The process-wide stand-in.
Win9xDriverServices& StandInDriverServices();

// DOS error codes that the VWIN32 stand-in leaves in AX with the carry flag set.
inline constexpr std::uint16_t DOS_ERROR_INVALID_FUNCTION = 0x01;
inline constexpr std::uint16_t DOS_ERROR_ACCESS_DENIED = 0x05;
inline constexpr std::uint16_t DOS_ERROR_INVALID_DRIVE = 0x0F;
inline constexpr std::uint16_t DOS_ERROR_NOT_READY = 0x15;
inline constexpr std::uint16_t DOS_ERROR_SECTOR_NOT_FOUND = 0x1B;
inline constexpr std::uint16_t DOS_ERROR_GENERAL_FAILURE = 0x1F;

}  // namespace quorvane
