#pragma once
// The requests of the Windows 9x system drivers that raw sector access goes through: VWIN32
// (DOS generic IOCTL, absolute disk read and write INT 25h/26h, the extended absolute disk call
// INT 21h function 7305h) and the CD-ROM access driver INT2F.VXD. The records keep their
// published 32-bit layouts; both the sector logic and the in-process drivers use them.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvane {

static_assert(std::endian::native == std::endian::little, "the driver records are little-endian");

using DriverHandle = std::intptr_t;
inline constexpr DriverHandle INVALID_DRIVER_HANDLE = -1;

// Driver names as opened with CreateFileA.
inline constexpr const char* VWIN32_NAME = "\\\\.\\vwin32";
inline constexpr const char* INT2F_NAME = "\\\\.\\INT2F.VXD";
inline constexpr const char* INT13EXT_NAME = "\\\\.\\INT13EXT.VXD";
inline constexpr const char* INT13EXT_UNLOAD_NAME = "\\\\.\\INT13EXT";

// VWIN32 control codes.
inline constexpr std::uint32_t VWIN32_DIOC_DOS_IOCTL = 1;
inline constexpr std::uint32_t VWIN32_DIOC_DOS_INT25 = 2;
inline constexpr std::uint32_t VWIN32_DIOC_DOS_INT26 = 3;
inline constexpr std::uint32_t VWIN32_DIOC_DOS_DRIVEINFO = 6;

// INT2F.VXD control codes.
inline constexpr std::uint32_t INT2F_IS_CDROM = 1;
inline constexpr std::uint32_t INT2F_READ_SECTOR = 2;
inline constexpr std::uint32_t INT2F_VOLUME_SIZE = 3;
inline constexpr std::uint32_t CD_SECTOR_SIZE = 2048;

inline constexpr std::uint32_t CARRY_FLAG = 1;

#pragma pack(push, 1)
struct DIOC_REGISTERS {
    std::uint32_t reg_EBX = 0;
    std::uint32_t reg_EDX = 0;
    std::uint32_t reg_ECX = 0;
    std::uint32_t reg_EAX = 0;
    std::uint32_t reg_EDI = 0;
    std::uint32_t reg_ESI = 0;
    std::uint32_t reg_Flags = 0;
};
static_assert(sizeof(DIOC_REGISTERS) == 28);

// The packet of INT 25h/26h with CX = 0xFFFF and of INT 21h 7305h.
struct DISKIO {
    std::uint32_t dwStartSector = 0;
    std::uint16_t wSectors = 0;
    std::uint32_t dwBuffer = 0;  // a DosAddressSpace address
};
static_assert(sizeof(DISKIO) == 10);

// The BIOS parameter block inside DEVICEPARAMS (DOS 4+ layout).
struct DOS_BPB {
    std::uint16_t bytesPerSector = 0;
    std::uint8_t sectorsPerCluster = 0;
    std::uint16_t reservedSectors = 0;
    std::uint8_t fatCount = 0;
    std::uint16_t rootEntries = 0;
    std::uint16_t totalSectors16 = 0;  // 0 when the count needs 32 bits
    std::uint8_t mediaDescriptor = 0;
    std::uint16_t sectorsPerFat = 0;
    std::uint16_t sectorsPerTrack = 0;
    std::uint16_t heads = 0;
    std::uint32_t hiddenSectors = 0;
    std::uint32_t totalSectors32 = 0;
};
static_assert(sizeof(DOS_BPB) == 25);

// DOS generic IOCTL 0Dh minor 60h, "get device parameters".
struct DEVICEPARAMS {
    std::uint8_t specialFunctions = 0;  // bit 0: 1 = the device's default BPB, 0 = the medium's
    std::uint8_t deviceType = 0;        // 0..4, 7, 8, 9 floppies and others, 5 fixed disk, 6 tape
    std::uint16_t deviceAttributes = 0; // bit 0: 1 = not removable
    std::uint16_t cylinders = 0;
    std::uint8_t mediaType = 0;
    DOS_BPB bpb;
    std::uint8_t reserved[6] = {};
};
static_assert(sizeof(DEVICEPARAMS) == 38);

// INT2F.VXD code 2 input.
struct CDREAD_REQUEST {
    std::uint8_t drive = 0;  // 0 = A:
    std::uint32_t sector = 0;
    std::uint8_t count = 1;
    std::uint32_t buffer = 0;  // a DosAddressSpace address
};
static_assert(sizeof(CDREAD_REQUEST) == 10);

// INT2F.VXD code 3 output.
struct CDVOLUME_SIZE {
    std::uint8_t unused = 0;
    std::uint32_t sectors = 0;  // in 2048-byte sectors
};
static_assert(sizeof(CDVOLUME_SIZE) == 5);
#pragma pack(pop)

// The drivers served callers in a 32-bit flat address space, so registers and packets carry
// buffer addresses in 32 bits. A 64-bit pointer does not fit there, so a caller lends its buffer
// to this table for the length of a request and passes the 32-bit address it gets back; the
// drivers resolve it. Every address inside a lent range resolves, because the CD-ROM loop steps
// its buffer address one sector at a time.
class DosAddressSpace {
public:
    static DosAddressSpace& instance();

    // A 32-bit address for size bytes at p; 0 when no slot is free or size exceeds a slot.
    std::uint32_t lend(void* p, std::size_t size);
    void release(std::uint32_t address);
    // The memory behind [address, address + size), or nullptr when it is not inside a lent range.
    void* resolve(std::uint32_t address, std::size_t size) const;

    static constexpr std::size_t SLOT_BITS = 28;  // 15 slots of 256 MiB each

private:
    struct Slot {
        std::uint8_t* base = nullptr;
        std::size_t size = 0;
    };
    Slot slots_[16];  // slot 0 stays unused, so no valid address is 0
};

// Lends a buffer for one scope.
class LentBuffer {
public:
    LentBuffer(void* p, std::size_t size) : address_(DosAddressSpace::instance().lend(p, size)) {}
    LentBuffer(const void* p, std::size_t size) : LentBuffer(const_cast<void*>(p), size) {}
    ~LentBuffer() {
        if (address_ != 0) DosAddressSpace::instance().release(address_);
    }
    LentBuffer(const LentBuffer&) = delete;
    LentBuffer& operator=(const LentBuffer&) = delete;
    std::uint32_t address() const { return address_; }

private:
    std::uint32_t address_;
};

class Win9xDriverServices {
public:
    virtual ~Win9xDriverServices() = default;

    // CreateFileA of a driver name (access 0, share 0, FILE_FLAG_DELETE_ON_CLOSE).
    virtual DriverHandle CreateFileA(const std::string& driverName) = 0;
    virtual bool DeviceIoControl(DriverHandle h, std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                                 std::uint32_t outSize, std::uint32_t* returned) = 0;
    virtual bool CloseHandle(DriverHandle h) = 0;
    // Unloads a dynamically loaded driver ("\\.\INT13EXT").
    virtual bool DeleteFileA(const std::string& name) = 0;
};

}  // namespace quorvane
