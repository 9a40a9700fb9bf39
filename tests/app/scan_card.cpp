#include "scan_card.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace quorvane::testing {

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
    DriveEntry entry;
    entry.path = "memory card";
    entry.displayName = "memory card (image)";
    entry.kind = DRIVE_REMOVABLE;
    entry.isImage = true;
    entry.sizeBytes = card.opener->bytes->size();
    entry.opener = card.opener;
    ScanOutcome outcome;
    outcome.drive = DriveTable::instance().addVolume(entry).value_or(0);

    TFrmMain main;
    main.FormCreate();
    if (!main.SelectDrive(outcome.drive)) return outcome;
    if (settings.sectorsAtOnce > 0) main.TrackBarSecAtOnce.SetPosition(settings.sectorsAtOnce);
    main.TrackBarRetryCount.SetPosition(settings.retries);
    main.EditFilenamePrefix.SetText(settings.prefix);
    {
        TFrmPreview preview(main);
        main.FrmPreview = &preview;
        if (settings.onFileStaged) preview.onStagedChanged = [&] { settings.onFileStaged(main, preview); };
        main.RunScanMethod();
        preview.onStagedChanged = nullptr;
        for (const auto& f : preview.Staged()) {
            outcome.names.push_back(f.Path.substr(f.Path.find_last_of('/') + 1));
            outcome.files.push_back(ReadFile(f.Path));
        }
    }
    outcome.report = main.LastRun;
    return outcome;
}

}  // namespace quorvane::testing
