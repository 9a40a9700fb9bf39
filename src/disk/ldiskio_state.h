#pragma once
// The logical sector unit's global state, shared by its family paths. Not for other units.
#include "disk/ldiskio_platform.h"

#include <cstdint>

namespace quorvane::ldiskio {

struct UnitState {
    bool started = false;
    PlatformServices services;

    bool IsNT = false;
    bool HasFat32Calls = false;
    DriverHandle hVWin32 = INVALID_DRIVER_HANDLE;
    DriverHandle hInt2F = INVALID_DRIVER_HANDLE;
    DriverHandle hInt13Ext = INVALID_DRIVER_HANDLE;

    VolumeHandle hNTDrive = INVALID_HANDLE_VALUE;
    std::uint8_t NTDrive = 0;
    bool NTDriveForRead = false;
    TLogDriveParams NTDriveParams;

    std::uint8_t* TransferBuffer = nullptr;  // page-aligned, TRANSFER_BUFFER_SIZE bytes

    std::int32_t LastCDDrive = -1;
    bool LastCDResult = false;
};

// The state after start-up; the first use starts the unit with the stand-ins.
UnitState& Unit();

// NT family.
bool NT_OpenDrive(std::uint8_t Drive, bool ForRead);
bool NT_ReadLogicalSectors(std::uint8_t Drive, std::uint64_t LBA, std::uint16_t Count, void* Buffer);
bool NT_WriteLogicalSectors(std::uint8_t Drive, std::uint32_t LBA, std::uint16_t Count, const void* Buffer);
bool NT_GetLogDriveParams(std::uint8_t Drive, TLogDriveParams& Params);
// The sector count from the volume's geometry, in 64 bits.
bool NT_GetLogDriveSectorCount(std::uint8_t Drive, std::uint64_t& Sectors);

// 9x family.
bool W9x_ReadLogicalSectors(std::uint8_t Drive, std::uint32_t LBA, std::uint16_t Count, void* Buffer);
bool W9x_WriteLogicalSectors(std::uint8_t Drive, std::uint32_t LBA, std::uint16_t Count, const void* Buffer);
bool W9x_GetLogDriveParams(std::uint8_t Drive, TLogDriveParams& Params);

}  // namespace quorvane::ldiskio
