#include "platform/nt_volume_stand_in.h"

#include "platform/drive_table.h"
#include "platform/logical_drive.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

namespace quorvane {
namespace {

struct OpenVolume {
    std::shared_ptr<VolumeOpener> opener;  // keeps the volume's owner alive while the handle is open
    std::unique_ptr<VolumeFile> file;
    std::uint64_t position = 0;
    bool forWrite = false;
};

class DriveTableVolumeServices : public NtVolumeServices {
public:
    VolumeHandle CreateFileA(const std::string& deviceName, std::uint32_t desiredAccess) override {
        const std::uint8_t drive = DriveOfDeviceName(deviceName);
        const DriveEntry* entry = drive != 0 ? DriveTable::instance().find(drive) : nullptr;
        if (entry == nullptr || !entry->opener) return fail(ERROR_FILE_NOT_FOUND);
        OpenVolume v;
        v.opener = entry->opener;
        v.forWrite = (desiredAccess & GENERIC_WRITE) != 0;
        int err = 0;
        v.file = v.opener->open(v.forWrite, err);
        if (!v.file) return fail(Win32ErrorFromErrno(err));
        const VolumeHandle h = nextHandle_++;
        open_[h] = std::move(v);
        lastError_ = ERROR_SUCCESS;
        return h;
    }

    std::uint32_t SetFilePointer(VolumeHandle h, std::int32_t distanceLow, std::int32_t* distanceHigh,
                                 std::uint32_t moveMethod) override {
        OpenVolume* v = lookup(h);
        if (v == nullptr || moveMethod != FILE_BEGIN) {
            lastError_ = v == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER;
            return 0xFFFFFFFFu;
        }
        const std::uint64_t high = distanceHigh ? static_cast<std::uint32_t>(*distanceHigh) : 0;
        v->position = (high << 32) | static_cast<std::uint32_t>(distanceLow);
        // A position whose low half is 0xFFFFFFFF is told apart from a failure by error 0.
        lastError_ = ERROR_SUCCESS;
        return static_cast<std::uint32_t>(v->position);
    }

    bool ReadFile(VolumeHandle h, void* buffer, std::uint32_t toRead, std::uint32_t* read) override {
        if (read) *read = 0;
        OpenVolume* v = lookup(h);
        if (v == nullptr) return refuse(ERROR_INVALID_HANDLE);
        if (v->forWrite) return refuse(ERROR_ACCESS_DENIED);
        std::uint32_t got = 0;
        const bool ok = v->file->readAt(v->position, buffer, toRead, got);
        v->position += got;
        if (read) *read = got;
        lastError_ = ok ? ERROR_SUCCESS : ERROR_CRC;
        return ok;
    }

    bool WriteFile(VolumeHandle h, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) override {
        if (written) *written = 0;
        OpenVolume* v = lookup(h);
        if (v == nullptr) return refuse(ERROR_INVALID_HANDLE);
        if (!v->forWrite) return refuse(ERROR_ACCESS_DENIED);
        std::uint32_t put = 0;
        const bool ok = v->file->writeAt(v->position, buffer, toWrite, put);
        v->position += put;
        if (written) *written = put;
        lastError_ = ok ? (put == toWrite ? ERROR_SUCCESS : ERROR_SECTOR_NOT_FOUND) : ERROR_GEN_FAILURE;
        return ok;
    }

    bool DeviceIoControl(VolumeHandle h, std::uint32_t code, const void*, std::uint32_t, void* out,
                         std::uint32_t outSize, std::uint32_t* returned) override {
        if (returned) *returned = 0;
        OpenVolume* v = lookup(h);
        if (v == nullptr) return refuse(ERROR_INVALID_HANDLE);
        if (code != IOCTL_DISK_GET_DRIVE_GEOMETRY && code != IOCTL_CDROM_GET_DRIVE_GEOMETRY) {
            return refuse(ERROR_INVALID_PARAMETER);
        }
        if (out == nullptr || outSize < sizeof(DiskGeometry)) return refuse(ERROR_INVALID_PARAMETER);
        DiskGeometry g;
        if (!v->file->geometry(g)) return refuse(ERROR_NOT_READY);
        std::memcpy(out, &g, sizeof g);
        if (returned) *returned = sizeof g;
        lastError_ = ERROR_SUCCESS;
        return true;
    }

    bool CloseHandle(VolumeHandle h) override {
        if (open_.erase(h) == 0) return refuse(ERROR_INVALID_HANDLE);
        return true;
    }

    std::uint32_t GetLastError() override { return lastError_; }

    std::uint32_t GetDriveTypeA(const std::string& root) override { return quorvane::GetDriveTypeA(root); }

private:
    VolumeHandle fail(std::uint32_t error) {
        lastError_ = error;
        return INVALID_HANDLE_VALUE;
    }

    bool refuse(std::uint32_t error) {
        lastError_ = error;
        return false;
    }

    OpenVolume* lookup(VolumeHandle h) {
        auto it = open_.find(h);
        return it == open_.end() ? nullptr : &it->second;
    }

    std::map<VolumeHandle, OpenVolume> open_;
    VolumeHandle nextHandle_ = 0x100;
    std::uint32_t lastError_ = ERROR_SUCCESS;
};

}  // namespace

NtVolumeServices& StandInVolumeServices() {
    static DriveTableVolumeServices services;
    return services;
}

std::uint8_t DriveOfDeviceName(const std::string& deviceName) {
    return LogicalDrive::fromDeviceName(deviceName).value();
}

std::uint32_t Win32ErrorFromErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case EROFS:
            return ERROR_WRITE_PROTECT;
        case ENOMEDIUM:
            return ERROR_NOT_READY;
        default:
            return ERROR_GEN_FAILURE;
    }
}

}  // namespace quorvane
