// The NT family's path: the volume opened as a device, one handle kept between calls.
#include "disk/ldiskio_state.h"
#include "platform/drive_table.h"
#include "platform/logical_drive.h"

#include <algorithm>
#include <cstring>

namespace quorvane::ldiskio {
namespace {

// Positions the kept handle at a sector; the byte offset is a 64-bit product.
std::uint32_t PositionAt(UnitState& s, std::uint64_t LBA) {
    const std::uint64_t offset = LBA * s.NTDriveParams.BytesPerSector;
    std::int32_t high = static_cast<std::int32_t>(offset >> 32);
    return s.services.volumes->SetFilePointer(s.hNTDrive, static_cast<std::int32_t>(offset & 0xFFFFFFFFu), &high,
                                              FILE_BEGIN);
}

// Cylinders x heads x sectors per track, in 64 bits: the product passes 32 bits at 2 TiB.
std::uint64_t GeometrySectors(const DiskGeometry& g) {
    if (g.cylinders <= 0) return 0;
    return static_cast<std::uint64_t>(g.cylinders) * g.tracksPerCylinder * g.sectorsPerTrack;
}

// A count that does not fit the 32-bit field is held at its largest value, never wrapped to a
// small one (a 2 TiB card read as 0 sectors, or as 1 at 2 TiB + 512 bytes).
std::uint32_t SaturatedSectors(std::uint64_t sectors) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors, 0xFFFFFFFFu));
}

// The volume's geometry, asked the way its kind (a CD-ROM or a disk) answers; cd tells which. The
// handle is opened for the question only.
bool QueryGeometry(std::uint8_t Drive, DiskGeometry& g, bool& cd) {
    NtVolumeServices* nt = Unit().services.volumes;
    if (nt == nullptr) return false;
    const VolumeHandle h = nt->CreateFileA(LogicalDrive(Drive).deviceName(), GENERIC_READ);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::uint32_t returned = 0;
    cd = nt->GetDriveTypeA(LogicalDrive(Drive).root()) == DRIVE_CDROM;
    const bool ok = nt->DeviceIoControl(h, cd ? IOCTL_CDROM_GET_DRIVE_GEOMETRY : IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr,
                                        0, &g, sizeof g, &returned);
    nt->CloseHandle(h);
    return ok;
}

}  // namespace

bool NT_GetLogDriveSectorCount(std::uint8_t Drive, std::uint64_t& Sectors) {
    Sectors = 0;
    DiskGeometry g;
    bool cd = false;
    if (!QueryGeometry(Drive, g, cd)) return false;
    Sectors = GeometrySectors(g);
    return true;
}

bool NT_OpenDrive(std::uint8_t Drive, bool ForRead) {
    UnitState& s = Unit();
    NtVolumeServices* nt = s.services.volumes;
    if (nt == nullptr) return false;
    if (s.hNTDrive != INVALID_HANDLE_VALUE) {
        if (s.NTDrive == Drive && s.NTDriveForRead == ForRead) return true;
        nt->CloseHandle(s.hNTDrive);
        s.hNTDrive = INVALID_HANDLE_VALUE;
    }
    s.hNTDrive = nt->CreateFileA(LogicalDrive(Drive).deviceName(), ForRead ? GENERIC_READ : GENERIC_WRITE);
    s.NTDrive = Drive;
    s.NTDriveForRead = ForRead;
    // Cleared first, so a drive whose parameters cannot be had never inherits the sector size
    // of the drive read before it.
    s.NTDriveParams = TLogDriveParams{};
    NT_GetLogDriveParams(Drive, s.NTDriveParams);
    return s.hNTDrive != INVALID_HANDLE_VALUE;
}

bool NT_ReadLogicalSectors(std::uint8_t Drive, std::uint64_t LBA, std::uint16_t Count, void* Buffer) {
    if (!NT_OpenDrive(Drive, true)) return false;
    UnitState& s = Unit();
    const std::uint32_t bytesPerSector = s.NTDriveParams.BytesPerSector;
    // Without a sector size nothing sensible can be read; the transfer buffer must hold at
    // least one sector (4K-sector drives get chunks of fewer than 1000 sectors).
    if (bytesPerSector == 0 || bytesPerSector > TRANSFER_BUFFER_SIZE || s.TransferBuffer == nullptr) return false;

    if (PositionAt(s, LBA) == 0xFFFFFFFFu && s.services.volumes->GetLastError() != ERROR_SUCCESS) return false;

    const std::uint32_t chunkLimit =
        bytesPerSector * std::min<std::uint32_t>(NT_CHUNK_SECTORS, TRANSFER_BUFFER_SIZE / bytesPerSector);
    std::uint32_t remaining = std::uint32_t{Count} * bytesPerSector;
    auto* destination = static_cast<std::uint8_t*>(Buffer);
    bool stepOk = true;
    // The transfer buffer gives the volume a page-aligned target. A caller whose buffer is
    // page-aligned already (the scan method's) is read into directly, which saves a copy of
    // every byte of the card; the chunks and the outcome are the same.
    const bool direct = reinterpret_cast<std::uintptr_t>(Buffer) % TransferBufferAlignment == 0;
    do {
        const std::uint32_t chunk = std::min(remaining, chunkLimit);
        std::uint32_t read = 0;
        std::uint8_t* target = direct ? destination : s.TransferBuffer;
        const bool called = s.services.volumes->ReadFile(s.hNTDrive, target, chunk, &read);
        // The bytes that did arrive are handed over even when the chunk came back short.
        if (called && !direct) std::memcpy(destination, s.TransferBuffer, std::min(read, chunk));
        stepOk = called && read == chunk;
        destination += chunk;
        remaining -= chunk;
    } while (stepOk && remaining > 0);
    return stepOk;
}

bool NT_WriteLogicalSectors(std::uint8_t Drive, std::uint32_t LBA, std::uint16_t Count, const void* Buffer) {
    if (!NT_OpenDrive(Drive, false)) return false;
    UnitState& s = Unit();
    const std::uint32_t bytesPerSector = s.NTDriveParams.BytesPerSector;
    if (bytesPerSector == 0) return false;
    if (PositionAt(s, LBA) == 0xFFFFFFFFu) return false;
    const std::uint32_t size = std::uint32_t{Count} * bytesPerSector;
    std::uint32_t written = 0;
    return s.services.volumes->WriteFile(s.hNTDrive, Buffer, size, &written) && written == size;
}

bool NT_GetLogDriveParams(std::uint8_t Drive, TLogDriveParams& Params) {
    DiskGeometry g;
    bool cd = false;
    const bool ok = QueryGeometry(Drive, g, cd);
    if (cd) {
        Params = TLogDriveParams{};
        Params.DriveType = 4;
        Params.Removable = 1;
        if (ok) {
            Params.BytesPerSector = g.bytesPerSector;
            Params.TotalSectors = SaturatedSectors(GeometrySectors(g));
        } else {
            // No readable disc: report a full 700 MiB CD.
            Params.BytesPerSector = 2048;
            Params.TotalSectors = 358400;
        }
        return ok;
    }
    if (!ok) return false;
    Params.Removable = 0;
    Params.Cylinders = static_cast<std::uint32_t>(g.cylinders);
    Params.Heads = g.tracksPerCylinder;
    Params.SectorsPerTrack = g.sectorsPerTrack;
    Params.BytesPerSector = g.bytesPerSector;
    Params.TotalSectors = SaturatedSectors(GeometrySectors(g));
    if (g.mediaType == 0) {
        Params.DriveType = 0;
    } else if (g.mediaType == 11) {  // RemovableMedia
        Params.DriveType = 2;
        Params.Removable = 1;
    } else if (g.mediaType == 12) {  // FixedMedia
        Params.DriveType = 3;
    } else if (g.mediaType <= 22) {  // the floppy formats
        Params.DriveType = 1;
        Params.Removable = 1;
    }
    return true;
}

}  // namespace quorvane::ldiskio
