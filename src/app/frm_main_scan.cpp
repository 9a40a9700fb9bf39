// The scan method: every sector of the drive is read in turn and tested for the start of a
// known file; the sectors from one start to the next (or to the size limit) become a file.
#include "app/file_naming.h"
#include "app/frm_main.h"
#include "app/frm_preview.h"
#include "app/messages.h"
#include "app/staged_file.h"
#include "app/ui.h"
#include "media/recoverutils.h"

namespace quorvane {

// The local state of one scan run.
struct TFrmMain::ScanRun {
    std::uint32_t BytesPerSector = 0;
    std::string Extension;
    std::int64_t FileByteCount = 0;
    std::int32_t NameOffset = 0;
    std::int32_t ReadErrors = 0;
    StagedFileWriter File;
};

void TFrmMain::progressStep(std::uint32_t current) {
    const std::uint32_t tick = GetTickCount();
    if (LastProgressTick == 0 || tick > LastProgressTick + 500u) {
        LastProgressTick = tick;
        LabelInfoCurrentSector.SetCaption(std::to_string(current));
        GProgress.SetPosition(current);
    }
}

void TFrmMain::RunScanMethod() {
    LastProgressTick = 0;
    const std::uint32_t totalSectors = DriveParams->TotalSectors;
    if (totalSectors == 0) return;
    if (!PrepareRun()) return;

    ScanRun run;
    run.BytesPerSector = DriveParams->BytesPerSector;
    const auto drive = static_cast<std::uint8_t>(DriveNumber);

    LabelCurrSec.SetCaption(ListBoxStrings(msgCurrentSector));
    Animate1.SetActive(true);
    Animate1.SetVisible(true);
    PumpMessages();

    const std::int32_t retryLimit = TrackBarRetryCount.Position();
    std::uint32_t blockSize = static_cast<std::uint32_t>(TrackBarSecAtOnce.Position());
    std::uint32_t current = 0;
    GProgress.SetMax(totalSectors);
    PumpMessages();

    // Closes the open file and hands it on; a file that could not be written is reported,
    // deleted and not handed on, and the run stops.
    auto finishFile = [&] {
        const std::string name = run.File.Path();
        if (!run.File.Close()) {
            const std::string why = run.File.Error();
            run.File.Discard();
            stopRun(why);
            return;
        }
        if (FrmPreview != nullptr) FrmPreview->AddFile(name);
    };

    auto sectorStep = [&](const std::uint8_t* sector) {
        // Both only act every so many milliseconds; asking the clock once per 16 sectors (a few
        // microseconds of scanning) instead of twice per sector keeps them as prompt and takes
        // a fifteenth off the scan.
        if (current % 16 == 0) {
            progressStep(current);
            PumpMessages();
        }
        const auto bps = static_cast<std::int32_t>(run.BytesPerSector);
        const bool start = IsFileStart(sector, bps, run.Extension);
        bool end = IsFileEnd(sector, bps, run.FileByteCount, run.Extension);
        if (run.File.IsOpen() && start) finishFile();
        if (start && LastRun.Failure.empty()) {
            run.FileByteCount = bps;
            ++ImagesFound;
            LabelInfoImagesFound.SetCaption(std::to_string(ImagesFound));
            std::string name;
            if (!NextFreeRunName(WorkFolder, Prefix, ImagesFound, run.Extension, run.NameOffset, name)) {
                stopRun("Every name from " + Prefix + std::to_string(ImagesFound) + "." + run.Extension + " on is taken in " +
                        WorkFolder + "; the run stops here.");
            } else if (!run.File.Create(name)) {
                stopRun(run.File.Error());
                run.File.Discard();
            }
            end = false;  // the size limit applies to the new file, whose count restarts here
        }
        if (run.File.IsOpen()) {
            // A failed append closes the file, which reports it and stops the run.
            if (!run.File.Append(sector, run.BytesPerSector) || end) finishFile();
        }
        ++current;
    };

    try {
        while (current < totalSectors && !StopFlag) {
            std::int32_t attempts = 0;
            if (current + blockSize > totalSectors) blockSize = totalSectors - current;
            // No clearing before the read: a read that succeeds fills the whole block and a block
            // that cannot be read is skipped, so stale bytes are never looked at.
            bool ok = ReadLogicalSectors(drive, current, static_cast<std::uint16_t>(blockSize), SectorBuffer.data());
            while (!ok) {
                // After the first failure the rest of the run reads one sector at a time.
                blockSize = 1;
                ++attempts;
                ++run.ReadErrors;
                PumpMessages();
                LabelInfoReadErrors.SetCaption(std::to_string(run.ReadErrors));
                if (attempts >= retryLimit) break;
                ok = ReadLogicalSectors(drive, current, 1, SectorBuffer.data());
            }
            if (!ok) {
                current += blockSize;  // the unreadable sector is skipped; an open file stays open
                progressStep(current);
                if (StopFlag) break;
                continue;
            }
            for (std::uint32_t k = 0; k < blockSize; ++k) {
                sectorStep(SectorBuffer.data() + static_cast<std::size_t>(k) * run.BytesPerSector);
                if (StopFlag) break;
            }
            // The next read reuses the buffer: what the open file queued from it goes out now.
            if (run.File.IsOpen() && !run.File.Flush()) finishFile();
        }
    } catch (...) {
        // A failure inside the loop ends it; the clean-up below still runs.
    }

    LabelInfoCurrentSector.SetCaption(std::to_string(current));
    GProgress.SetPosition(current);
    if (run.File.IsOpen()) finishFile();
    LastRun.SectorsRead = current;
    LastRun.ReadErrors = run.ReadErrors;
    LabelInfoStatus.SetCaption(ListBoxStrings(msgReady));
    Animate1.SetActive(false);
    Animate1.SetVisible(false);
    GProgress.SetPosition(0);
    LabelInfoCurrentSector.SetCaption("");
    EnableControls(true);
    NT_CloseDrive();
    StopFlag = true;
}

}  // namespace quorvane
