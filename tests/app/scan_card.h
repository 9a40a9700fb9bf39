#pragma once
// Builds in-memory cards for scan method tests and runs the scan method over them.
#include "app/frm_main.h"
#include "app/frm_preview.h"
#include "platform/drive_table.h"
#include "platform/memory_volume.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvane::testing {

using Bytes = std::vector<std::uint8_t>;

// A card whose every sector carries its own recognisable filler, which no start test matches.
class ScanCard {
public:
    explicit ScanCard(std::uint32_t sectors);
    void PutJpegStart(std::uint32_t sector);
    void PutPngStart(std::uint32_t sector);
    // The bytes of sectors [first, last] in order, leaving out the listed ones.
    Bytes Sectors(std::uint32_t first, std::uint32_t last, const std::vector<std::uint32_t>& without = {}) const;

    std::shared_ptr<MemoryVolumeOpener> opener;
};

struct ScanOutcome {
    std::vector<std::string> names;  // file names in the working folder, in the order found
    std::vector<Bytes> files;        // their contents
    TRunReport report;
    std::uint8_t drive = 0;
};

struct ScanSettings {
    int sectorsAtOnce = 0;  // 0: the window's default for the drive
    int retries = 1;
    std::string prefix = "image";
    // Runs inside the preview's change notification, e.g. to press Cancel.
    std::function<void(TFrmMain&, TFrmPreview&)> onFileStaged = nullptr;
};

// Registers the card as a removable drive and runs the scan method on it through the main
// window, the way Start does.
ScanOutcome RunScan(const ScanCard& card, const ScanSettings& settings = {});

Bytes ReadFile(const std::string& path);

}  // namespace quorvane::testing
