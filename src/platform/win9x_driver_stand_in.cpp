#include "platform/win9x_driver_stand_in.h"

#include "platform/drive_table.h"
#include "platform/logical_drive.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <strings.h>

namespace quorvane {
namespace {

constexpr DriverHandle VWIN32_HANDLE = 0x9001;
constexpr DriverHandle INT2F_HANDLE = 0x9002;
constexpr DriverHandle INT13EXT_HANDLE = 0x9003;

bool SameName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

void Succeed(DIOC_REGISTERS& r) { r.reg_Flags &= ~CARRY_FLAG; }

void FailWith(DIOC_REGISTERS& r, std::uint16_t dosError) {
    r.reg_Flags |= CARRY_FLAG;
    r.reg_EAX = (r.reg_EAX & 0xFFFF0000u) | dosError;
}

std::uint16_t Clamp16(std::uint64_t v) { return static_cast<std::uint16_t>(std::min<std::uint64_t>(v, 0xFFFF)); }

bool IsFloppyMedia(std::uint32_t mediaType) {
    return (mediaType >= 1 && mediaType <= 10) || (mediaType >= 13 && mediaType <= 22);
}

class DriveTableDrivers : public Win9xDriverServices {
public:
    DriverHandle CreateFileA(const std::string& name) override {
        if (SameName(name, VWIN32_NAME)) return VWIN32_HANDLE;
        if (SameName(name, INT2F_NAME)) return INT2F_HANDLE;
        if (SameName(name, INT13EXT_NAME)) return INT13EXT_HANDLE;
        return INVALID_DRIVER_HANDLE;
    }

    bool DeviceIoControl(DriverHandle h, std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                         std::uint32_t outSize, std::uint32_t* returned) override {
        if (returned) *returned = 0;
        if (h == VWIN32_HANDLE) {
            if (in == nullptr || out == nullptr || inSize < sizeof(DIOC_REGISTERS) ||
                outSize < sizeof(DIOC_REGISTERS)) {
                return false;
            }
            DIOC_REGISTERS regs;
            std::memcpy(&regs, in, sizeof regs);
            serveVWin32(code, regs);
            std::memcpy(out, &regs, sizeof regs);
            if (returned) *returned = sizeof regs;
            return true;
        }
        if (h == INT2F_HANDLE) return serveInt2F(code, in, inSize, out, outSize, returned);
        return false;
    }

    bool CloseHandle(DriverHandle h) override {
        return h == VWIN32_HANDLE || h == INT2F_HANDLE || h == INT13EXT_HANDLE;
    }

    bool DeleteFileA(const std::string& name) override { return SameName(name, INT13EXT_UNLOAD_NAME); }

private:
    void serveVWin32(std::uint32_t code, DIOC_REGISTERS& r) {
        switch (code) {
            case VWIN32_DIOC_DOS_IOCTL:
                return genericIoctl(r);
            case VWIN32_DIOC_DOS_INT25:
            case VWIN32_DIOC_DOS_INT26:
                // Only the packet form (CX = 0xFFFF) exists for volumes over 32 MB; it is all we serve.
                if ((r.reg_ECX & 0xFFFF) != 0xFFFF) return FailWith(r, DOS_ERROR_INVALID_FUNCTION);
                // AL counts drives from 0.
                return sectorIo(r, LogicalDrive::fromZeroBasedIndex(r.reg_EAX & 0xFF).value(), r.reg_EBX,
                                code == VWIN32_DIOC_DOS_INT26);
            case VWIN32_DIOC_DOS_DRIVEINFO:
                if ((r.reg_EAX & 0xFFFF) != 0x7305 || r.reg_ECX != 0xFFFFFFFFu) {
                    return FailWith(r, DOS_ERROR_INVALID_FUNCTION);
                }
                return sectorIo(r, r.reg_EDX & 0xFF, r.reg_EBX, (r.reg_ESI & 1) != 0);
            default:
                return FailWith(r, DOS_ERROR_INVALID_FUNCTION);
        }
    }

    // INT 21h 440Dh: CH is the category (08h, or 48h for the FAT32-aware calls), CL the minor code.
    void genericIoctl(DIOC_REGISTERS& r) {
        const std::uint32_t category = (r.reg_ECX >> 8) & 0xFF;
        if ((r.reg_EAX & 0xFFFF) != 0x440D || (category != 0x08 && category != 0x48)) {
            return FailWith(r, DOS_ERROR_INVALID_FUNCTION);
        }
        const std::uint8_t drive = r.reg_EBX & 0xFF;
        const DriveEntry* entry = drive != 0 ? DriveTable::instance().find(drive) : nullptr;
        if (entry == nullptr) return FailWith(r, DOS_ERROR_INVALID_DRIVE);
        switch (r.reg_ECX & 0xFF) {
            case 0x4A:  // lock logical volume
                ++locks_[drive];
                return Succeed(r);
            case 0x6A:  // unlock logical volume
                if (locks_[drive] == 0) return FailWith(r, DOS_ERROR_ACCESS_DENIED);
                --locks_[drive];
                return Succeed(r);
            case 0x60:  // get device parameters
                return deviceParameters(r, *entry);
            default:
                return FailWith(r, DOS_ERROR_INVALID_FUNCTION);
        }
    }

    void deviceParameters(DIOC_REGISTERS& r, const DriveEntry& entry) {
        auto* record = static_cast<DEVICEPARAMS*>(DosAddressSpace::instance().resolve(r.reg_EDX, sizeof(DEVICEPARAMS)));
        if (record == nullptr) return FailWith(r, DOS_ERROR_GENERAL_FAILURE);
        int err = 0;
        auto file = entry.opener ? entry.opener->open(false, err) : nullptr;
        DiskGeometry g;
        if (!file || !file->geometry(g) || g.bytesPerSector == 0) return FailWith(r, DOS_ERROR_NOT_READY);

        const std::uint64_t total = static_cast<std::uint64_t>(g.cylinders) * g.tracksPerCylinder * g.sectorsPerTrack;
        const bool fixed = entry.kind == DRIVE_FIXED || entry.kind == DRIVE_RAMDISK || entry.kind == DRIVE_REMOTE;
        record->deviceType = IsFloppyMedia(g.mediaType) ? 7 : 5;
        record->deviceAttributes = fixed ? 1 : 0;
        record->cylinders = Clamp16(static_cast<std::uint64_t>(g.cylinders));
        record->mediaType = 0;
        DOS_BPB& bpb = record->bpb;
        bpb.bytesPerSector = Clamp16(g.bytesPerSector);
        bpb.mediaDescriptor = fixed ? 0xF8 : 0xF0;
        bpb.sectorsPerTrack = Clamp16(g.sectorsPerTrack);
        bpb.heads = Clamp16(g.tracksPerCylinder);
        bpb.hiddenSectors = static_cast<std::uint32_t>(entry.offsetBytes / g.bytesPerSector);
        bpb.totalSectors16 = total <= 0xFFFF ? static_cast<std::uint16_t>(total) : 0;
        bpb.totalSectors32 = static_cast<std::uint32_t>(std::min<std::uint64_t>(total, 0xFFFFFFFFu));
        Succeed(r);
    }

    // Reads or writes the sectors a DISKIO packet names, in the volume's own sector size.
    void sectorIo(DIOC_REGISTERS& r, std::uint32_t drive, std::uint32_t packetAddress, bool write) {
        const auto* packet =
            static_cast<const DISKIO*>(DosAddressSpace::instance().resolve(packetAddress, sizeof(DISKIO)));
        if (packet == nullptr) return FailWith(r, DOS_ERROR_GENERAL_FAILURE);
        const DriveEntry* entry = drive >= 1 && drive <= 255 ? DriveTable::instance().find(drive) : nullptr;
        if (entry == nullptr || !entry->opener) return FailWith(r, DOS_ERROR_INVALID_DRIVE);
        // Direct writes need the volume lock, as they did on the real system.
        if (write && locks_[static_cast<std::uint8_t>(drive)] == 0) return FailWith(r, DOS_ERROR_ACCESS_DENIED);

        int err = 0;
        auto file = entry->opener->open(write, err);
        DiskGeometry g;
        if (!file || !file->geometry(g) || g.bytesPerSector == 0) return FailWith(r, DOS_ERROR_NOT_READY);
        const std::uint64_t size = std::uint64_t{packet->wSectors} * g.bytesPerSector;
        // The caller's buffer must hold the whole transfer.
        void* buffer = DosAddressSpace::instance().resolve(packet->dwBuffer, size);
        if (buffer == nullptr) return FailWith(r, DOS_ERROR_GENERAL_FAILURE);
        const std::uint64_t offset = std::uint64_t{packet->dwStartSector} * g.bytesPerSector;
        std::uint32_t moved = 0;
        const bool ok = write ? file->writeAt(offset, buffer, static_cast<std::uint32_t>(size), moved)
                              : file->readAt(offset, buffer, static_cast<std::uint32_t>(size), moved);
        if (!ok) return FailWith(r, DOS_ERROR_GENERAL_FAILURE);
        if (moved != size) return FailWith(r, DOS_ERROR_SECTOR_NOT_FOUND);
        Succeed(r);
    }

    bool serveInt2F(std::uint32_t code, void* in, std::uint32_t inSize, void* out, std::uint32_t outSize,
                    std::uint32_t* returned) {
        if (in == nullptr || inSize < 1) return false;
        const auto drive = LogicalDrive::fromZeroBasedIndex(static_cast<const std::uint8_t*>(in)[0]);
        const DriveEntry* entry = drive.isValid() ? DriveTable::instance().find(drive.value()) : nullptr;
        if (entry == nullptr) return false;
        switch (code) {
            case INT2F_IS_CDROM:
                if (out == nullptr || outSize < 1) return false;
                static_cast<std::uint8_t*>(out)[0] = entry->kind == DRIVE_CDROM ? 1 : 0;
                if (returned) *returned = 1;
                return true;
            case INT2F_READ_SECTOR:
                return entry->kind == DRIVE_CDROM && inSize >= sizeof(CDREAD_REQUEST) && readCdSectors(*entry, in);
            case INT2F_VOLUME_SIZE: {
                if (entry->kind != DRIVE_CDROM || out == nullptr || outSize < sizeof(CDVOLUME_SIZE)) return false;
                int err = 0;
                auto file = entry->opener ? entry->opener->open(false, err) : nullptr;
                DiskGeometry g;
                if (!file || !file->geometry(g)) return false;
                CDVOLUME_SIZE answer;
                const std::uint64_t bytes = static_cast<std::uint64_t>(g.cylinders) * g.tracksPerCylinder *
                                            g.sectorsPerTrack * g.bytesPerSector;
                answer.sectors = static_cast<std::uint32_t>(bytes / CD_SECTOR_SIZE);
                std::memcpy(out, &answer, sizeof answer);
                if (returned) *returned = sizeof answer;
                return true;
            }
            default:
                return false;
        }
    }

    bool readCdSectors(const DriveEntry& entry, const void* in) {
        CDREAD_REQUEST request;
        std::memcpy(&request, in, sizeof request);
        const std::uint32_t size = std::uint32_t{request.count} * CD_SECTOR_SIZE;
        void* buffer = DosAddressSpace::instance().resolve(request.buffer, size);
        if (buffer == nullptr || !entry.opener) return false;
        int err = 0;
        auto file = entry.opener->open(false, err);
        std::uint32_t got = 0;
        return file && file->readAt(std::uint64_t{request.sector} * CD_SECTOR_SIZE, buffer, size, got) && got == size;
    }

    std::map<std::uint8_t, int> locks_;
};

}  // namespace

Win9xDriverServices& StandInDriverServices() {
    static DriveTableDrivers drivers;
    return drivers;
}

}  // namespace quorvane
