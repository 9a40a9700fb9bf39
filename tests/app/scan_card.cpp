#include "scan_card.h"

#include "app/recovery_run.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace quorvane::testing {
namespace {

class FaultyVolumeFile : public VolumeFile {
public:
    FaultyVolumeFile(std::unique_ptr<VolumeFile> inner, const FaultyVolumeOpener& owner, std::uint64_t at,
                     const std::function<void()>& fault)
        : inner_(std::move(inner)), owner_(owner), at_(at), fault_(fault) {}
    bool readAt(std::uint64_t offset, void* dst, std::uint32_t n, std::uint32_t& got) override {
        if (owner_.armed && n > 0 && offset / 512 <= at_ && at_ <= (offset + n - 1) / 512) fault_();
        return inner_->readAt(offset, dst, n, got);
    }
    bool writeAt(std::uint64_t offset, const void* src, std::uint32_t n, std::uint32_t& put) override {
        return inner_->writeAt(offset, src, n, put);
    }
    bool geometry(DiskGeometry& out) override { return inner_->geometry(out); }

private:
    std::unique_ptr<VolumeFile> inner_;
    const FaultyVolumeOpener& owner_;
    std::uint64_t at_;
    const std::function<void()>& fault_;
};

void collect(const std::vector<TStagedFile>& staged, ScanOutcome& outcome) {
    for (const auto& f : staged) {
        outcome.names.push_back(f.Path.substr(f.Path.find_last_of('/') + 1));
        outcome.files.push_back(ReadFile(f.Path));
    }
}

void runThroughWindow(const ScanSettings& settings, FaultyVolumeOpener* faulty, ScanOutcome& outcome) {
    TFrmMain main;
    main.FormCreate();
    if (!main.SelectDrive(outcome.drive)) return;
    if (settings.sectorsAtOnce > 0) main.TrackBarSecAtOnce.SetPosition(settings.sectorsAtOnce);
    main.TrackBarRetryCount.SetPosition(settings.retries);
    main.EditFilenamePrefix.SetText(settings.prefix);
    if (faulty != nullptr) faulty->armed = true;
    {
        TFrmPreview preview(main);
        main.FrmPreview = &preview;
        if (settings.onFileStaged) preview.onStagedChanged = [&] { settings.onFileStaged([&] { main.ButtonCancelClick(); }); };
        main.RunScanMethod();
        preview.onStagedChanged = nullptr;
        collect(preview.Staged(), outcome);
    }
    outcome.report = main.LastRun;
    outcome.windowReady = main.LabelInfoStatus.Caption() == "Ready" && main.ButtonStart.Enabled();
}

void runThroughService(const ScanSettings& settings, FaultyVolumeOpener* faulty, ScanOutcome& outcome) {
    TRecoveryPlan plan;
    plan.Drive = outcome.drive;
    plan.DriveName = "memory card (image)";
    plan.Method = TRecoveryMethod::Scan;
    plan.Prefix = settings.prefix;
    plan.SectorsAtOnce = settings.sectorsAtOnce;
    plan.RetryCount = settings.retries;
    RecoveryRun run(plan);
    if (settings.onFileStaged) {
        run.Events.OnFileStaged = [&](const std::string&) { settings.onFileStaged([&] { run.Cancel(); }); };
    }
    if (faulty != nullptr) faulty->armed = true;
    outcome.report = run.Run();
    collect(run.Staged().Files(), outcome);
    run.Staged().DeleteStagedFiles();
}

}  // namespace

std::unique_ptr<VolumeFile> FaultyVolumeOpener::open(bool forWrite, int& err) {
    auto file = inner_->open(forWrite, err);
    if (!file) return file;
    return std::make_unique<FaultyVolumeFile>(std::move(file), *this, at_, fault_);
}

std::uint8_t AddMemoryDrive(std::shared_ptr<VolumeOpener> opener, std::uint64_t bytes, const std::string& name) {
    DriveEntry entry;
    entry.path = name;
    entry.displayName = name + " (image)";
    entry.kind = DRIVE_REMOVABLE;
    entry.isImage = true;
    entry.sizeBytes = bytes;
    entry.opener = std::move(opener);
    return DriveTable::instance().addVolume(entry).value_or(0);
}

ScanCard::ScanCard(std::uint32_t sectors)
    : opener(std::make_shared<MemoryVolumeOpener>(std::make_shared<Bytes>(static_cast<std::size_t>(sectors) * 512))) {
    auto& b = *opener->bytes;
    for (std::uint32_t s = 0; s < sectors; ++s) {
        std::uint8_t* p = b.data() + static_cast<std::size_t>(s) * 512;
        // Bytes 0xA0..0xA6 and the sector number: no row of the start table can match.
        for (int i = 0; i < 512; ++i) p[i] = static_cast<std::uint8_t>(0xA0 + (s + static_cast<std::uint32_t>(i)) % 7);
        std::memcpy(p + 16, &s, sizeof s);
    }
}

void ScanCard::PutJpegStart(std::uint32_t sector) {
    std::memcpy(opener->bytes->data() + static_cast<std::size_t>(sector) * 512, "\xFF\xD8\xFF\xE0", 4);
}

void ScanCard::PutPngStart(std::uint32_t sector) {
    std::memcpy(opener->bytes->data() + static_cast<std::size_t>(sector) * 512, "\x89PNG\r\n\x1A\n", 8);
}

Bytes ScanCard::Sectors(std::uint32_t first, std::uint32_t last, const std::vector<std::uint32_t>& without) const {
    Bytes out;
    for (std::uint32_t s = first; s <= last; ++s) {
        if (std::find(without.begin(), without.end(), s) != without.end()) continue;
        const auto* p = opener->bytes->data() + static_cast<std::size_t>(s) * 512;
        out.insert(out.end(), p, p + 512);
    }
    return out;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ScanOutcome RunScan(const ScanCard& card, const ScanSettings& settings) {
    std::shared_ptr<VolumeOpener> opener = card.opener;
    std::shared_ptr<FaultyVolumeOpener> faulty;
    if (settings.fault) opener = faulty = std::make_shared<FaultyVolumeOpener>(card.opener, settings.faultAtSector, settings.fault);
    ScanOutcome outcome;
    outcome.drive = AddMemoryDrive(opener, card.opener->bytes->size(), "memory card");
    RecordingUI ui;
    SetUI(&ui);
    if (settings.through == FrontEnd::Window) {
        runThroughWindow(settings, faulty.get(), outcome);
    } else {
        runThroughService(settings, faulty.get(), outcome);
    }
    SetUI(nullptr);
    outcome.boxes = ui.boxes;
    return outcome;
}

}  // namespace quorvane::testing
