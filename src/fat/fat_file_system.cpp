#include "fat/fat_file_system.h"

#include "fat/fat_drive.h"
#include "fat/fat_formats.h"

namespace quorvane {
namespace {

class TFatFileSystem final : public TFileSystem {
public:
    const char* Name() const override { return "FAT"; }

    bool Recognises(const std::uint8_t* FirstSector, std::size_t Size) const override {
        const auto boot = DecodeBootSec(std::span<const std::uint8_t>(FirstSector, Size));
        return boot.has_value() && boot->BytesPerSector != 0 && boot->SectorsPerCluster != 0 &&
               boot->NumberOfFATs != 0;
    }

    std::unique_ptr<TCustomDrive> MakeDrive() const override { return std::make_unique<TFATdrive>(); }
};

}  // namespace

const TFileSystem& FatFileSystem() {
    static const TFatFileSystem fat;
    return fat;
}

}  // namespace quorvane
