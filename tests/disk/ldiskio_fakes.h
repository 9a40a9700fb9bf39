#pragma once
// Fakes of the platform services under the logical sector unit. They serve volumes held in
// memory and record every call, so tests can check what the unit asked of the platform.
#include "disk/ldiskio_platform.h"
#include "platform/drive_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace quorvane::testing {

struct FakeNtDrive {
    std::uint64_t sizeBytes = 0;  // reads stop short here
    DiskGeometry geometry{};
    bool geometryOk = true;
    std::uint32_t driveType = DRIVE_FIXED;
    bool openable = true;

    // Sector contents: byte i of the volume is (i / 512 + i) & 0xFF, easy to check anywhere.
    static std::uint8_t byteAt(std::uint64_t i) { return static_cast<std::uint8_t>((i / 512 + i) & 0xFF); }
};

class FakeNtVolumes : public NtVolumeServices {
public:
    struct Open {
        std::uint8_t drive;
        std::uint32_t access;
        std::uint64_t position = 0;
    };

    std::map<std::uint8_t, FakeNtDrive> drives;
    std::vector<std::string> calls;                    // "open \\.\E: r", "close", "seek", "read N", ...
    std::vector<std::pair<std::uint32_t, std::int32_t>> seeks;  // (low, high) as passed
    std::vector<std::uint32_t> reads;                   // sizes asked of ReadFile
    std::vector<std::uint32_t> writes;                  // sizes given to WriteFile
    std::set<VolumeHandle> ioHandles;                   // handles that carried a read or a write
    std::set<VolumeHandle> closed;
    std::map<VolumeHandle, Open> open;
    std::vector<std::uint8_t> lastWrite;

    static FakeNtDrive Disk(std::uint64_t sectors, std::uint32_t bytesPerSector = 512, std::uint32_t mediaType = 11) {
        FakeNtDrive d;
        d.sizeBytes = sectors * bytesPerSector;
        d.geometry.cylinders = static_cast<std::int64_t>(sectors);
        d.geometry.tracksPerCylinder = 1;
        d.geometry.sectorsPerTrack = 1;
        d.geometry.bytesPerSector = bytesPerSector;
        d.geometry.mediaType = mediaType;
        return d;
    }

    int createCount(char mode) const {
        return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
            return c.rfind("open ", 0) == 0 && c.back() == mode;
        }));
    }
    int createCount() const { return createCount('r') + createCount('w'); }

    VolumeHandle CreateFileA(const std::string& name, std::uint32_t access) override {
        const char mode = access == GENERIC_READ ? 'r' : access == GENERIC_WRITE ? 'w' : '?';
        calls.push_back("open " + name + " " + mode);
        if (name.size() != 6) return fail(ERROR_FILE_NOT_FOUND);
        const auto drive = static_cast<std::uint8_t>(name[4] - 64);
        auto it = drives.find(drive);
        if (it == drives.end() || !it->second.openable) return fail(ERROR_FILE_NOT_FOUND);
        const VolumeHandle h = next_++;
        open[h] = Open{drive, access};
        lastError_ = 0;
        return h;
    }

    std::uint32_t SetFilePointer(VolumeHandle h, std::int32_t low, std::int32_t* high, std::uint32_t) override {
        calls.push_back("seek");
        seeks.emplace_back(static_cast<std::uint32_t>(low), high ? *high : 0);
        auto it = open.find(h);
        if (it == open.end()) {
            lastError_ = ERROR_INVALID_HANDLE;
            return 0xFFFFFFFFu;
        }
        it->second.position = (std::uint64_t{static_cast<std::uint32_t>(high ? *high : 0)} << 32) |
                              static_cast<std::uint32_t>(low);
        lastError_ = 0;
        return static_cast<std::uint32_t>(low);
    }

    bool ReadFile(VolumeHandle h, void* buffer, std::uint32_t n, std::uint32_t* read) override {
        calls.push_back("read " + std::to_string(n));
        reads.push_back(n);
        ioHandles.insert(h);
        auto it = open.find(h);
        if (it == open.end()) return false;
        const FakeNtDrive& d = drives[it->second.drive];
        const std::uint64_t pos = it->second.position;
        const std::uint64_t got = pos >= d.sizeBytes ? 0 : std::min<std::uint64_t>(n, d.sizeBytes - pos);
        auto* out = static_cast<std::uint8_t*>(buffer);
        for (std::uint64_t i = 0; i < got; ++i) out[i] = FakeNtDrive::byteAt(pos + i);
        it->second.position += got;
        *read = static_cast<std::uint32_t>(got);
        return true;
    }

    bool WriteFile(VolumeHandle h, const void* buffer, std::uint32_t n, std::uint32_t* written) override {
        calls.push_back("write " + std::to_string(n));
        writes.push_back(n);
        ioHandles.insert(h);
        const auto* in = static_cast<const std::uint8_t*>(buffer);
        lastWrite.assign(in, in + n);
        *written = n;
        return open.count(h) != 0;
    }

    bool DeviceIoControl(VolumeHandle h, std::uint32_t code, const void*, std::uint32_t, void* out, std::uint32_t,
                         std::uint32_t* returned) override {
        calls.push_back(code == IOCTL_CDROM_GET_DRIVE_GEOMETRY ? "cd-geometry" : "disk-geometry");
        auto it = open.find(h);
        if (it == open.end()) return false;
        const FakeNtDrive& d = drives[it->second.drive];
        if (!d.geometryOk) return false;
        std::memcpy(out, &d.geometry, sizeof d.geometry);
        *returned = sizeof d.geometry;
        return true;
    }

    bool CloseHandle(VolumeHandle h) override {
        calls.push_back("close");
        closed.insert(h);
        return open.erase(h) != 0;
    }

    std::uint32_t GetLastError() override { return lastError_; }

    std::uint32_t GetDriveTypeA(const std::string& root) override {
        auto it = drives.find(static_cast<std::uint8_t>(root[0] - 64));
        return it == drives.end() ? DRIVE_NO_ROOT_DIR : it->second.driveType;
    }

private:
    VolumeHandle fail(std::uint32_t error) {
        lastError_ = error;
        return INVALID_HANDLE_VALUE;
    }

    VolumeHandle next_ = 1;
    std::uint32_t lastError_ = 0;
};

// One request to a 9x driver, decoded.
struct DriverRequest {
    std::string driver;  // "vwin32" or "int2f"
    std::uint32_t code = 0;
    DIOC_REGISTERS regs;  // as sent (VWIN32)
    DISKIO packet;        // the packet EBX points at (INT 25h/26h, 7305h)
    std::uint8_t drive = 0;      // INT2F: the drive index sent
    std::uint32_t sector = 0;    // INT2F code 2
    std::uint32_t buffer = 0;    // INT2F code 2
    std::uint8_t specialFunctions = 0;  // device parameter requests
};

class FakeDrivers : public Win9xDriverServices {
public:
    std::set<std::string> missing;          // driver names that fail to load
    std::set<std::uint8_t> cdDrives;        // 1-based drive numbers that are CD-ROM drives
    int cdFailAtRequest = -1;               // the n-th (0-based) INT2F sector read fails
    bool cdSizeOk = true;
    std::uint32_t cdSectors = 1000;
    bool lockFails = false;
    bool ioFails = false;
    std::map<std::uint8_t, DEVICEPARAMS> deviceParams;  // answer by special-functions byte
    std::set<std::uint8_t> deviceParamsFail;           // special-functions values that fail

    std::vector<DriverRequest> requests;
    std::vector<std::string> lifecycle;  // "load NAME", "close H", "delete NAME"

    int count(const std::string& driver, std::uint32_t code) const {
        return static_cast<int>(std::count_if(requests.begin(), requests.end(), [&](const DriverRequest& r) {
            return r.driver == driver && r.code == code;
        }));
    }

    DriverHandle CreateFileA(const std::string& name) override {
        lifecycle.push_back("load " + name);
        if (missing.count(name)) return INVALID_DRIVER_HANDLE;
        if (name == VWIN32_NAME) return 1;
        if (name == INT2F_NAME) return 2;
        return 3;
    }

    bool CloseHandle(DriverHandle h) override {
        lifecycle.push_back("close " + std::to_string(h));
        return true;
    }

    bool DeleteFileA(const std::string& name) override {
        lifecycle.push_back("delete " + name);
        return true;
    }

    bool DeviceIoControl(DriverHandle h, std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                         std::uint32_t outSize, std::uint32_t* returned) override {
        DriverRequest r;
        r.code = code;
        *returned = 0;
        if (h == 2) {
            r.driver = "int2f";
            r.drive = static_cast<std::uint8_t*>(in)[0];
            if (code == INT2F_READ_SECTOR) {
                CDREAD_REQUEST q;
                std::memcpy(&q, in, sizeof q);
                r.sector = q.sector;
                r.buffer = q.buffer;
            }
            requests.push_back(r);
            return serveInt2F(code, in, out, outSize);
        }
        r.driver = "vwin32";
        EXPECT_EQ(inSize, 28u);
        std::memcpy(&r.regs, in, sizeof r.regs);
        DIOC_REGISTERS regs = r.regs;
        if (code == VWIN32_DIOC_DOS_INT25 || code == VWIN32_DIOC_DOS_INT26 || code == VWIN32_DIOC_DOS_DRIVEINFO) {
            if (auto* p = DosAddressSpace::instance().resolve(regs.reg_EBX, sizeof(DISKIO))) {
                std::memcpy(&r.packet, p, sizeof r.packet);
            }
        }
        const bool ok = serveVWin32(code, regs, r);
        requests.push_back(r);
        regs.reg_Flags = ok ? (regs.reg_Flags & ~CARRY_FLAG) : (regs.reg_Flags | CARRY_FLAG);
        std::memcpy(out, &regs, sizeof regs);
        *returned = sizeof regs;
        return true;
    }

private:
    bool serveInt2F(std::uint32_t code, void* in, void* out, std::uint32_t outSize) {
        const std::uint8_t drive = static_cast<std::uint8_t>(static_cast<std::uint8_t*>(in)[0] + 1);
        switch (code) {
            case INT2F_IS_CDROM:
                static_cast<std::uint8_t*>(out)[0] = cdDrives.count(drive) ? 1 : 0;
                return true;
            case INT2F_READ_SECTOR: {
                if (cdFailAtRequest >= 0 && count("int2f", INT2F_READ_SECTOR) - 1 == cdFailAtRequest) return false;
                CDREAD_REQUEST q;
                std::memcpy(&q, in, sizeof q);
                auto* buffer = static_cast<std::uint8_t*>(DosAddressSpace::instance().resolve(q.buffer, CD_SECTOR_SIZE));
                if (buffer == nullptr) return false;
                std::memset(buffer, static_cast<int>(q.sector & 0xFF), CD_SECTOR_SIZE);
                return true;
            }
            case INT2F_VOLUME_SIZE: {
                if (!cdSizeOk || outSize < sizeof(CDVOLUME_SIZE)) return false;
                CDVOLUME_SIZE answer;
                answer.sectors = cdSectors;
                std::memcpy(out, &answer, sizeof answer);
                return true;
            }
            default:
                return false;
        }
    }

    bool serveVWin32(std::uint32_t code, const DIOC_REGISTERS& regs, DriverRequest& r) {
        if (code == VWIN32_DIOC_DOS_IOCTL) {
            const std::uint32_t minor = regs.reg_ECX & 0xFF;
            if (minor == 0x4A) return !lockFails;
            if (minor == 0x6A) return true;
            if (minor == 0x60) {
                auto* record = static_cast<DEVICEPARAMS*>(DosAddressSpace::instance().resolve(regs.reg_EDX, sizeof(DEVICEPARAMS)));
                if (record == nullptr) return false;
                r.specialFunctions = record->specialFunctions;
                if (deviceParamsFail.count(record->specialFunctions)) return false;
                const std::uint8_t special = record->specialFunctions;
                *record = deviceParams[special];
                record->specialFunctions = special;
                return true;
            }
            return false;
        }
        if (ioFails) return false;
        const bool write = code == VWIN32_DIOC_DOS_INT26 || (code == VWIN32_DIOC_DOS_DRIVEINFO && (regs.reg_ESI & 1));
        auto* buffer = static_cast<std::uint8_t*>(
            DosAddressSpace::instance().resolve(r.packet.dwBuffer, std::size_t{r.packet.wSectors} * 512));
        if (buffer == nullptr) return false;
        if (!write) {
            for (std::size_t i = 0; i < std::size_t{r.packet.wSectors} * 512; ++i) {
                buffer[i] = FakeNtDrive::byteAt(std::uint64_t{r.packet.dwStartSector} * 512 + i);
            }
        }
        return true;
    }
};

}  // namespace quorvane::testing
