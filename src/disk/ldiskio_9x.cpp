// The 9x family's path: requests to the system driver VWIN32 (DOS absolute disk I/O, the
// extended absolute disk call, the generic IOCTL) and to the CD-ROM access driver INT2F.VXD.
#include "disk/ldiskio_state.h"
#include "platform/logical_drive.h"

#include <algorithm>

namespace quorvane::ldiskio {
namespace {

// The DOS absolute disk calls move 512-byte sectors.
constexpr std::uint32_t DOS_SECTOR_SIZE = 512;

// One VWIN32 request; it succeeded when the call did and the carry flag came back clear.
bool VWin32Call(std::uint32_t code, DIOC_REGISTERS& regs) {
    UnitState& s = Unit();
    if (s.services.drivers == nullptr || s.hVWin32 == INVALID_DRIVER_HANDLE) return false;
    std::uint32_t returned = 0;
    const bool called = s.services.drivers->DeviceIoControl(s.hVWin32, code, &regs, sizeof regs, &regs,
                                                            sizeof regs, &returned);
    return called && (regs.reg_Flags & CARRY_FLAG) == 0;
}

bool Int2FCall(std::uint32_t code, void* in, std::uint32_t inSize, void* out, std::uint32_t outSize) {
    UnitState& s = Unit();
    if (s.services.drivers == nullptr || s.hInt2F == INVALID_DRIVER_HANDLE) return false;
    std::uint32_t returned = 0;
    return s.services.drivers->DeviceIoControl(s.hInt2F, code, in, inSize, out, outSize, &returned);
}

bool IsCDROMDrive(std::uint8_t Drive) {
    std::uint8_t index = LogicalDrive(Drive).zeroBasedIndex();
    std::uint8_t answer = 0;
    return Int2FCall(INT2F_IS_CDROM, &index, 1, &answer, 1) && answer == 1;
}

bool GetCDVolumeSize(std::uint8_t Drive, std::uint32_t& sectors) {
    std::uint8_t index = LogicalDrive(Drive).zeroBasedIndex();
    CDVOLUME_SIZE answer;
    if (!Int2FCall(INT2F_VOLUME_SIZE, &index, 1, &answer, sizeof answer)) return false;
    sectors = answer.sectors;
    return true;
}

// One request per 2048-byte sector; the first failure ends the call.
bool CDReadSectors(std::uint8_t Drive, std::uint32_t LBA, std::uint16_t Count, void* Buffer) {
    LentBuffer buffer(Buffer, std::size_t{Count} * CD_SECTOR_SIZE);
    if (buffer.address() == 0) return false;
    CDREAD_REQUEST request;
    request.drive = LogicalDrive(Drive).zeroBasedIndex();
    request.sector = LBA;
    request.count = 1;
    request.buffer = buffer.address();
    for (std::uint32_t i = 0; i < Count; ++i) {
        if (!Int2FCall(INT2F_READ_SECTOR, &request, sizeof request, nullptr, 0)) return false;
        request.buffer += CD_SECTOR_SIZE;
        request.sector += 1;
    }
    return true;
}

// The DISKIO packet of Count sectors at LBA, with the packet and the caller's buffer lent into
// the DOS address space for as long as the request lives.
class DiskIoRequest {
public:
    DiskIoRequest(std::uint32_t LBA, std::uint16_t Count, const void* Buffer)
        : buffer_(Buffer, std::size_t{Count} * DOS_SECTOR_SIZE), packet_(makePacket(LBA, Count, buffer_.address())),
          packetAddress_(&packet_, sizeof packet_) {}
    // The packet's address for EBX; 0 when the buffer or the packet could not be lent.
    std::uint32_t address() const { return buffer_.address() != 0 ? packetAddress_.address() : 0; }

private:
    static DISKIO makePacket(std::uint32_t LBA, std::uint16_t Count, std::uint32_t bufferAddress) {
        DISKIO packet;
        packet.dwStartSector = LBA;
        packet.wSectors = Count;
        packet.dwBuffer = bufferAddress;
        return packet;
    }

    LentBuffer buffer_;
    DISKIO packet_;
    LentBuffer packetAddress_;
};

// INT 25h (read) or INT 26h (write) with the packet form (CX = 0xFFFF).
bool AbsoluteDiskIo(std::uint32_t code, std::uint8_t Drive, std::uint32_t LBA, std::uint16_t Count,
                    const void* Buffer) {
    const DiskIoRequest request(LBA, Count, Buffer);
    if (request.address() == 0) return false;
    DIOC_REGISTERS regs;
    regs.reg_EAX = LogicalDrive(Drive).zeroBasedIndex();
    regs.reg_EBX = request.address();
    regs.reg_ECX = 0xFFFF;
    return VWin32Call(code, regs);
}

// INT 21h function 7305h; ESI bit 0 says write.
bool Fat32SectorIo(bool write, std::uint8_t Drive, std::uint32_t LBA, std::uint16_t Count, const void* Buffer) {
    const DiskIoRequest request(LBA, Count, Buffer);
    if (request.address() == 0) return false;
    DIOC_REGISTERS regs;
    regs.reg_EAX = 0x7305;
    regs.reg_EBX = request.address();
    regs.reg_ECX = 0xFFFFFFFFu;
    regs.reg_EDX = Drive;
    regs.reg_ESI = write ? 1 : 0;
    return VWin32Call(VWIN32_DIOC_DOS_DRIVEINFO, regs);
}

bool Fat32ReadSectors(std::uint8_t Drive, std::uint32_t LBA, std::uint16_t Count, void* Buffer) {
    return Fat32SectorIo(false, Drive, LBA, Count, Buffer);
}

bool Fat32WriteSectors(std::uint8_t Drive, std::uint32_t LBA, std::uint16_t Count, const void* Buffer) {
    return Fat32SectorIo(true, Drive, LBA, Count, Buffer);
}

// DOS generic IOCTL (INT 21h 440Dh) with the FAT32-aware category 48h first, then the old 08h.
bool GenericIoctlTwice(std::uint32_t bx, std::uint32_t minorCode, std::uint32_t dx) {
    for (const std::uint32_t category : {0x4800u, 0x0800u}) {
        DIOC_REGISTERS regs;
        regs.reg_EAX = 0x440D;
        regs.reg_EBX = bx;
        regs.reg_ECX = category | minorCode;
        regs.reg_EDX = dx;
        if (VWin32Call(VWIN32_DIOC_DOS_IOCTL, regs)) return true;
    }
    return false;
}

bool LockLogicalVolume(std::uint8_t Drive, std::uint8_t Level, std::uint32_t Permissions) {
    return GenericIoctlTwice(Drive + Level * 256u, 0x4A, Permissions);
}

bool UnlockLogicalVolume(std::uint8_t Drive) { return GenericIoctlTwice(Drive, 0x6A, 0); }

}  // namespace

bool W9x_ReadLogicalSectors(std::uint8_t Drive, std::uint32_t LBA, std::uint16_t Count, void* Buffer) {
    UnitState& s = Unit();
    // The CD-ROM test is asked once for a run of reads of the same drive.
    if (s.LastCDDrive == -1 || s.LastCDDrive != Drive) {
        s.LastCDResult = IsCDROMDrive(Drive);
        s.LastCDDrive = Drive;
    }
    if (s.LastCDResult) return CDReadSectors(Drive, LBA, Count, Buffer);
    if (!optUseINT25) return false;
    if (s.HasFat32Calls) return Fat32ReadSectors(Drive, LBA, Count, Buffer);
    return AbsoluteDiskIo(VWIN32_DIOC_DOS_INT25, Drive, LBA, Count, Buffer);
}

bool W9x_WriteLogicalSectors(std::uint8_t Drive, std::uint32_t LBA, std::uint16_t Count, const void* Buffer) {
    UnitState& s = Unit();
    if (!optUseINT25) return false;
    if (!LockLogicalVolume(Drive, 0, 0)) return false;
    const bool written = s.HasFat32Calls ? Fat32WriteSectors(Drive, LBA, Count, Buffer)
                                         : AbsoluteDiskIo(VWIN32_DIOC_DOS_INT26, Drive, LBA, Count, Buffer);
    UnlockLogicalVolume(Drive);
    return written;
}

bool W9x_GetLogDriveParams(std::uint8_t Drive, TLogDriveParams& Params) {
    if (IsCDROMDrive(Drive)) {
        Params = TLogDriveParams{};
        Params.DriveType = 4;
        Params.Removable = 1;
        std::uint32_t sectors = 0;
        Params.TotalSectors = GetCDVolumeSize(Drive, sectors) ? sectors : 358400;
        Params.BytesPerSector = CD_SECTOR_SIZE;
        return true;
    }
    if (!optUseINT25) return false;

    Params.TotalSectors = 0;
    Params.BytesPerSector = 0;
    DEVICEPARAMS record;
    bool ok = false;
    // First the device's default parameters, then those of the medium in it.
    for (const std::uint8_t specialFunctions : {std::uint8_t{1}, std::uint8_t{0}}) {
        record = DEVICEPARAMS{};
        record.specialFunctions = specialFunctions;
        LentBuffer address(&record, sizeof record);
        DIOC_REGISTERS regs;
        regs.reg_EAX = 0x440D;
        regs.reg_EBX = Drive;
        regs.reg_ECX = 0x0860;
        regs.reg_EDX = address.address();
        regs.reg_Flags = CARRY_FLAG;
        ok = address.address() != 0 && VWin32Call(VWIN32_DIOC_DOS_IOCTL, regs);
        if (ok) {
            const DOS_BPB& bpb = record.bpb;
            const std::uint32_t bySize = std::uint32_t{record.cylinders} * bpb.heads * bpb.sectorsPerTrack;
            Params.TotalSectors = std::max({static_cast<std::uint32_t>(Params.TotalSectors), bySize,
                                            std::uint32_t{bpb.totalSectors16}, bpb.totalSectors32});
            Params.BytesPerSector =
                std::max(static_cast<std::uint32_t>(Params.BytesPerSector), std::uint32_t{bpb.bytesPerSector});
        }
    }
    if (!ok) return false;

    Params.Removable = 0;
    Params.Cylinders = record.cylinders;
    Params.Heads = record.bpb.heads;
    Params.SectorsPerTrack = record.bpb.sectorsPerTrack;
    const bool fixedMedium = (record.deviceAttributes & 1) != 0;
    switch (record.deviceType) {
        case 0: case 1: case 2: case 3: case 4: case 7: case 8:
            Params.DriveType = 1;
            break;
        case 5:
            Params.DriveType = 3;
            break;
        case 6: case 9:
            Params.DriveType = fixedMedium ? 0 : 2;
            break;
        default:
            break;
    }
    if (!fixedMedium) Params.Removable = 1;
    return true;
}

}  // namespace quorvane::ldiskio
