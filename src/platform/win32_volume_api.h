#pragma once
// The NT volume services the sector unit needs, shaped like the Win32 calls they stand for:
// a volume opened by its device name "\\.\E:", a file pointer, reads and writes, the two
// geometry controls and the drive kind. The sector logic depends only on this interface, so
// tests can serve it with a fake that records every call.
#include "platform/volume.h"

#include <cstdint>
#include <string>

namespace quorvane {

using VolumeHandle = std::intptr_t;
inline constexpr VolumeHandle INVALID_HANDLE_VALUE = -1;

inline constexpr std::uint32_t GENERIC_READ = 0x80000000u;
inline constexpr std::uint32_t GENERIC_WRITE = 0x40000000u;
inline constexpr std::uint32_t FILE_BEGIN = 0;

// Both answer the 24-byte DISK_GEOMETRY record (DiskGeometry in volume.h).
inline constexpr std::uint32_t IOCTL_DISK_GET_DRIVE_GEOMETRY = 0x70000;
inline constexpr std::uint32_t IOCTL_CDROM_GET_DRIVE_GEOMETRY = 0x2404C;
static_assert(sizeof(DiskGeometry) == 24);

// GetLastError values the stand-ins report.
inline constexpr std::uint32_t ERROR_SUCCESS = 0;
inline constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr std::uint32_t ERROR_NOT_READY = 21;
inline constexpr std::uint32_t ERROR_WRITE_PROTECT = 19;
inline constexpr std::uint32_t ERROR_CRC = 23;
inline constexpr std::uint32_t ERROR_SECTOR_NOT_FOUND = 27;
inline constexpr std::uint32_t ERROR_GEN_FAILURE = 31;
inline constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;

class NtVolumeServices {
public:
    virtual ~NtVolumeServices() = default;

    // Opens "\\.\X:" with GENERIC_READ or GENERIC_WRITE (shared for reading and writing,
    // OPEN_EXISTING). INVALID_HANDLE_VALUE on failure, the reason in GetLastError.
    virtual VolumeHandle CreateFileA(const std::string& deviceName, std::uint32_t desiredAccess) = 0;
    // Moves the file pointer; the high half of the distance is passed by address. Answers the
    // low half of the new position, or 0xFFFFFFFF with GetLastError set on failure.
    virtual std::uint32_t SetFilePointer(VolumeHandle h, std::int32_t distanceLow, std::int32_t* distanceHigh,
                                         std::uint32_t moveMethod) = 0;
    virtual bool ReadFile(VolumeHandle h, void* buffer, std::uint32_t toRead, std::uint32_t* read) = 0;
    virtual bool WriteFile(VolumeHandle h, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) = 0;
    virtual bool DeviceIoControl(VolumeHandle h, std::uint32_t code, const void* in, std::uint32_t inSize,
                                 void* out, std::uint32_t outSize, std::uint32_t* returned) = 0;
    virtual bool CloseHandle(VolumeHandle h) = 0;
    virtual std::uint32_t GetLastError() = 0;
    // The drive kind of a root path such as "E:\" (DRIVE_* in drive_table.h).
    virtual std::uint32_t GetDriveTypeA(const std::string& root) = 0;
};

}  // namespace quorvane
