// Logical sector I/O: start-up, program end, and the dispatch to the family chosen at start-up.
#include "disk/ldiskio.h"

#include "disk/ldiskio_state.h"
#include "platform/nt_volume_stand_in.h"
#include "platform/win9x_driver_stand_in.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <utility>

namespace quorvane {

bool optUseINT25 = true;

namespace ldiskio {
namespace {

UnitState& RawState() {
    static UnitState state;
    return state;
}

DiskMessageHook& MessageHook() {
    static DiskMessageHook hook;
    return hook;
}

void ShowStartupMessage(const std::string& text) {
    if (const auto& hook = MessageHook()) {
        hook("Error", text);
    } else {
        std::cerr << "Error: " << text << '\n';
    }
}

std::string TrimBlanks(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

DriverHandle OpenDriver(Win9xDriverServices* drivers, const char* name) {
    return drivers ? drivers->CreateFileA(name) : INVALID_DRIVER_HANDLE;
}

void Start(UnitState& s, const PlatformServices& services) {
    s = UnitState{};
    s.services = services;
    const OsVersionInfo& v = services.version;
    const std::uint32_t platformId = v.ok ? v.dwPlatformId : 0;

    // The BIOS disk driver is only loaded and unloaded; no request is ever sent to it.
    if (platformId != VER_PLATFORM_WIN32_NT) {
        s.hInt13Ext = OpenDriver(services.drivers, INT13EXT_NAME);
        if (s.hInt13Ext == INVALID_DRIVER_HANDLE) ShowStartupMessage("Error loading \"INT13EXT.VXD\"");
    }

    optUseINT25 = true;
    // INT 21h 7305h came with Windows 95 OSR2 ("4.00.950 B") and every later 9x release.
    s.HasFat32Calls = platformId == VER_PLATFORM_WIN32_WINDOWS &&
                      ((v.dwMajorVersion >= 4 && v.dwMinorVersion != 0) ||
                       (v.dwMajorVersion == 4 && v.dwMinorVersion == 0 && TrimBlanks(v.szCSDVersion) == "B"));
    s.IsNT = platformId == VER_PLATFORM_WIN32_NT;

    if (!s.IsNT) {
        s.hVWin32 = OpenDriver(services.drivers, VWIN32_NAME);
        if (s.hVWin32 == INVALID_DRIVER_HANDLE) ShowStartupMessage("Error loading \"VWIN32.VXD (INT25/26)\"");
        s.hInt2F = OpenDriver(services.drivers, INT2F_NAME);
        if (s.hInt2F == INVALID_DRIVER_HANDLE) ShowStartupMessage("Error loading \"INT2F.VXD\" (MSCDEX/CDFS)");
    }

    // Page-aligned, as direct I/O on a volume wants it.
    s.TransferBuffer = static_cast<std::uint8_t*>(std::aligned_alloc(TransferBufferAlignment, TRANSFER_BUFFER_SIZE));
    if (s.TransferBuffer == nullptr) ShowStartupMessage("Error allocating memory buffer (LDISKIO)!");
    s.started = true;
}

void ShutdownAtExit() { Shutdown(); }

}  // namespace

UnitState& Unit() {
    UnitState& s = RawState();
    if (!s.started) {
        PlatformServices services;
        services.version = GetVersionExA();
        services.volumes = &StandInVolumeServices();
        services.drivers = &StandInDriverServices();
        Start(s, services);
        // Registered after the stand-ins exist, so it runs before they are destroyed.
        static const bool registered = (std::atexit(ShutdownAtExit), true);
        (void)registered;
    }
    return s;
}

void Restart(const PlatformServices& services) {
    UnitState& s = RawState();
    std::free(s.TransferBuffer);
    Start(s, services);
}

void Shutdown() {
    UnitState& s = RawState();
    if (!s.started) return;
    if (s.IsNT) {
        if (s.hNTDrive != INVALID_HANDLE_VALUE && s.services.volumes) s.services.volumes->CloseHandle(s.hNTDrive);
    } else if (Win9xDriverServices* drivers = s.services.drivers) {
        if (s.hVWin32 != INVALID_DRIVER_HANDLE) drivers->CloseHandle(s.hVWin32);
        if (s.hInt2F != INVALID_DRIVER_HANDLE) drivers->CloseHandle(s.hInt2F);
    }
    if (s.hInt13Ext != INVALID_DRIVER_HANDLE && s.services.drivers) s.services.drivers->DeleteFileA(INT13EXT_UNLOAD_NAME);
    std::free(s.TransferBuffer);
    s = UnitState{};
}

StateView Inspect() {
    const UnitState& s = RawState();
    StateView v;
    v.started = s.started;
    v.isNT = s.IsNT;
    v.hasFat32Calls = s.HasFat32Calls;
    v.hVWin32 = s.hVWin32;
    v.hInt2F = s.hInt2F;
    v.hInt13Ext = s.hInt13Ext;
    v.hNTDrive = s.hNTDrive;
    v.ntDrive = s.NTDrive;
    v.ntDriveForRead = s.NTDriveForRead;
    v.ntDriveParams = s.NTDriveParams;
    v.lastCDDrive = s.LastCDDrive;
    v.lastCDResult = s.LastCDResult;
    v.hasTransferBuffer = s.TransferBuffer != nullptr;
    return v;
}

}  // namespace ldiskio

using namespace ldiskio;

bool ReadLogicalSectors(std::uint8_t Drive, std::uint32_t LBA, std::uint16_t Count, void* Buffer) {
    if (Unit().IsNT) return NT_ReadLogicalSectors(Drive, LBA, Count, Buffer);
    return W9x_ReadLogicalSectors(Drive, LBA, Count, Buffer);
}

bool WriteLogicalSectors(std::uint8_t Drive, std::uint32_t LBA, std::uint16_t Count, const void* Buffer) {
    if (Unit().IsNT) return NT_WriteLogicalSectors(Drive, LBA, Count, Buffer);
    return W9x_WriteLogicalSectors(Drive, LBA, Count, Buffer);
}

bool GetLogDriveParams(std::uint8_t Drive, TLogDriveParams& Params) {
    if (Unit().IsNT) return NT_GetLogDriveParams(Drive, Params);
    return W9x_GetLogDriveParams(Drive, Params);
}

bool ReadLogicalSectors64(std::uint8_t Drive, std::uint64_t LBA, std::uint16_t Count, void* Buffer) {
    if (Unit().IsNT) return NT_ReadLogicalSectors(Drive, LBA, Count, Buffer);
    // The older family's requests carry 32-bit sector numbers.
    return LBA + Count <= 0x100000000ull && W9x_ReadLogicalSectors(Drive, static_cast<std::uint32_t>(LBA), Count, Buffer);
}

bool GetLogDriveSectorCount(std::uint8_t Drive, std::uint64_t& Sectors) {
    if (Unit().IsNT) return NT_GetLogDriveSectorCount(Drive, Sectors);
    TLogDriveParams params;
    const bool ok = W9x_GetLogDriveParams(Drive, params);
    Sectors = ok ? params.TotalSectors : 0;
    return ok;
}

// Releases the medium that was last read or written by closing the kept handle. Nothing else
// is opened in its place: a handle kept open on another volume, least of all one for writing
// on the system volume, would only be a hazard.
bool NT_CloseDrive() {
    UnitState& s = Unit();
    if (s.IsNT && s.hNTDrive != INVALID_HANDLE_VALUE) {
        s.services.volumes->CloseHandle(s.hNTDrive);
        s.hNTDrive = INVALID_HANDLE_VALUE;
    }
    return true;
}

void SetDiskMessageHook(DiskMessageHook hook) { MessageHook() = std::move(hook); }

}  // namespace quorvane
