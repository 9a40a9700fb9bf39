#include "disk/devices.h"

#include "disk/ldiskio.h"
#include "disk/volume_content.h"
#include "platform/drive_table.h"
#include "platform/image_source.h"
#include "platform/logical_drive.h"

namespace quorvane {

bool TDevice::ReadSec(std::int32_t Sector, std::uint16_t Count, void* Buffer, bool /*Prompt*/) {
    return ReadLogicalSectors(Drive, static_cast<std::uint32_t>(Sector), Count, Buffer);
}

std::shared_ptr<const ImageSource> TDevice::ImageFile() const { return OpenImageSource(Drive); }

TDeviceList::~TDeviceList() { clear(); }

void TDeviceList::clear() { Items.clear(); }

TDevice* TDeviceList::GetWindowsDrive(std::uint8_t Drive) {
    TLogDriveParams params;
    if (!GetLogDriveParams(Drive, params)) return nullptr;
    if (ProcessMessagesHook) ProcessMessagesHook();

    if (!ProbeVolumeContent(Drive).IsReadByFolderMethod()) return nullptr;

    auto device = std::make_unique<TDevice>();
    device->Partitioned = 0;
    device->Kind = 1;
    device->Drive = Drive;
    std::uint32_t type = GetDriveTypeA(LogicalDrive(Drive).root());
    if (type >= DRIVE_REMOVABLE && type <= DRIVE_RAMDISK) device->DriveType = static_cast<std::uint8_t>(type);
    device->TotalSectors = params.TotalSectors;
    device->BytesPerSector = static_cast<std::uint16_t>(params.BytesPerSector);
    if (params.Removable & 1) device->Flags |= 1;
    Items.push_back(std::move(device));
    return Items.back().get();
}

}  // namespace quorvane
