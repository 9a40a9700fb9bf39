#pragma once
// The platform side of the logical sector unit, for the front ends' start-up and for tests.
// The unit starts itself on its first call with the in-process stand-ins and the family that
// QUORVANE_FAMILY selects; tests restart it over fakes that record the calls.
#include "disk/ldiskio.h"
#include "platform/os_version.h"
#include "platform/win32_volume_api.h"
#include "platform/win9x_driver_api.h"

namespace quorvane::ldiskio {

struct PlatformServices {
    OsVersionInfo version;                  // what GetVersionExA answers
    NtVolumeServices* volumes = nullptr;    // the NT family's volume calls
    Win9xDriverServices* drivers = nullptr; // the 9x family's VWIN32, INT2F.VXD and INT13EXT.VXD
};

// Forgets the previous start-up without its program-end calls (its services may be gone) and
// runs the start-up over these services. The services must outlive the unit's use of them.
void Restart(const PlatformServices& services);
// Runs the program-end steps (close the drivers and the kept volume handle, free the transfer
// buffer). The next call of the unit starts it again with the stand-ins.
void Shutdown();

// The unit's state, for tests that check what a sequence of calls left behind.
struct StateView {
    bool started = false;
    bool isNT = false;
    bool hasFat32Calls = false;
    DriverHandle hVWin32 = INVALID_DRIVER_HANDLE;
    DriverHandle hInt2F = INVALID_DRIVER_HANDLE;
    DriverHandle hInt13Ext = INVALID_DRIVER_HANDLE;
    VolumeHandle hNTDrive = INVALID_HANDLE_VALUE;
    std::uint8_t ntDrive = 0;
    bool ntDriveForRead = false;
    TLogDriveParams ntDriveParams;
    std::int32_t lastCDDrive = -1;
    bool lastCDResult = false;
    bool hasTransferBuffer = false;
};
StateView Inspect();

inline constexpr std::uint32_t TRANSFER_BUFFER_SIZE = 2048000;  // 1000 sectors of 2048 bytes
inline constexpr std::size_t TransferBufferAlignment = 4096;     // one page
inline constexpr std::uint32_t NT_CHUNK_SECTORS = 1000;

}  // namespace quorvane::ldiskio
