#include "exfat/exfat_file_system.h"

#include "exfat/exfat_boot.h"
#include "exfat/exfat_drive.h"

namespace quorvane {
namespace {

class TExFatFileSystem final : public TFileSystem {
public:
    const char* Name() const override { return "exFAT"; }

    // The name alone: a main boot sector whose fields are damaged still names the volume, and
    // mounting then reads the backup boot region.
    bool Recognises(const std::uint8_t* FirstSector, std::size_t Size) const override {
        return HasExFATName(std::span<const std::uint8_t>(FirstSector, Size));
    }

    std::unique_ptr<TCustomDrive> MakeDrive() const override { return std::make_unique<TExFATdrive>(); }
};

}  // namespace

const TFileSystem& ExFatFileSystem() {
    static const TExFatFileSystem exfat;
    return exfat;
}

}  // namespace quorvane
