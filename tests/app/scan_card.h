#pragma once
// Builds in-memory cards for scan method tests and runs the scan method over them, through the
// main window the way Start does or through the recovery service the way the command line does.
#include "app/frm_main.h"
#include "app/frm_preview.h"
#include "app/ui.h"
#include "platform/drive_table.h"
#include "platform/memory_volume.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
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

// A volume whose reads, once armed, call fault (which throws) when they cover sector at: an
// engine that fails in the middle of a run.
class FaultyVolumeOpener : public VolumeOpener {
public:
    FaultyVolumeOpener(std::shared_ptr<VolumeOpener> inner, std::uint64_t at, std::function<void()> fault)
        : inner_(std::move(inner)), at_(at), fault_(std::move(fault)) {}
    std::unique_ptr<VolumeFile> open(bool forWrite, int& err) override;
    bool armed = false;

private:
    std::shared_ptr<VolumeOpener> inner_;
    std::uint64_t at_;
    std::function<void()> fault_;
};

// Adds a removable image drive served by opener; its number, 0 when it could not be added.
std::uint8_t AddMemoryDrive(std::shared_ptr<VolumeOpener> opener, std::uint64_t bytes, const std::string& name);

// The message boxes shown meanwhile.
class RecordingUI : public UserInterface {
public:
    MsgResult MessageBox(const std::string& text, const std::string&, MsgIcon icon, MsgButtons, MsgResult d) override {
        boxes.emplace_back(icon, text);
        return d;
    }
    std::vector<std::pair<MsgIcon, std::string>> boxes;
};

enum class FrontEnd { Window, Service };

struct ScanOutcome {
    std::vector<std::string> names;  // file names in the working folder, in the order found
    std::vector<Bytes> files;        // their contents
    TRunReport report;
    std::uint8_t drive = 0;
    std::vector<std::pair<MsgIcon, std::string>> boxes;
    bool windowReady = false;        // the window: status "Ready" and Start enabled again
};

struct ScanSettings {
    int sectorsAtOnce = 0;  // 0: the window's default for the drive
    int retries = 1;
    std::string prefix = "image";
    // Runs when a file is staged, with the front end's Cancel, e.g. to press it.
    std::function<void(const std::function<void()>& cancel)> onFileStaged = nullptr;
    FrontEnd through = FrontEnd::Window;
    // When set, the read of faultAtSector calls it once the drive is selected.
    std::function<void()> fault = nullptr;
    std::uint32_t faultAtSector = 0;
};

// Registers the card as a removable drive "memory card (image)" and runs the scan method on it.
ScanOutcome RunScan(const ScanCard& card, const ScanSettings& settings = {});

Bytes ReadFile(const std::string& path);

}  // namespace quorvane::testing
