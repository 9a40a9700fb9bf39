#pragma once
// The device: the sector source of one drive's volume, which the FAT engine reads every sector
// through. The device list makes the device of a drive only when its volume holds a FAT file system.
#include "platform/image_source.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

class TDevice {
public:
    TDevice() = default;
    virtual ~TDevice() = default;

    // Count sectors from Sector of the volume into Buffer (Count x sector size bytes); true when all
    // were read. Prompt has no effect: reading a drive's volume never shows a message. Virtual so
    // that a device can serve sectors from elsewhere (tests serve them from memory).
    virtual bool ReadSec(std::int32_t Sector, std::uint16_t Count, void* Buffer, bool Prompt);
    // The image file that ReadSec reads the drive's volume from, for copies the kernel makes from
    // it; nullptr when the volume is no image file. A device that serves its sectors from
    // elsewhere has none.
    virtual std::shared_ptr<const ImageSource> ImageFile() const;
    // Kept for the drive interface; no read looks at it (devices keep no sector cache).
    void UseCache(bool On) { CacheOn = On; }

    bool CacheOn = false;
    std::string Name;                // empty for the devices of drive letters
    std::uint8_t Kind = 0;           // 1 = the volume of a drive letter; 0 is kept for a whole disk
    std::uint8_t DriveType = 0;      // GetDriveTypeA's answer when 2..6, else 0
    std::uint16_t Flags = 0;         // bit 0: removable medium
    std::uint32_t TotalSectors = 0;
    std::uint16_t BytesPerSector = 0;
    std::uint16_t Partitioned = 0;   // always 0 for a drive letter's volume
    std::uint8_t Drive = 0;          // 1 = A:
    std::uint32_t CacheLine = 0;
};

class TDeviceList {
public:
    TDeviceList() = default;
    ~TDeviceList();
    TDeviceList(const TDeviceList&) = delete;
    TDeviceList& operator=(const TDeviceList&) = delete;

    void clear();

    // Makes, adds and returns the device of drive Drive (1 = A:) when its volume holds a FAT file
    // system; nullptr, with nothing added, when the drive has no parameters, no volume information
    // or another file system. Every call makes a new device, also for a drive already in the list.
    TDevice* GetWindowsDrive(std::uint8_t Drive);

    std::size_t Count() const { return Items.size(); }
    TDevice* operator[](std::size_t i) const { return Items[i].get(); }

    // Pumps the window's messages while a device is made; set by the scan services.
    std::function<void()> ProcessMessagesHook;

private:
    std::vector<std::unique_ptr<TDevice>> Items;
};

}  // namespace quorvane
