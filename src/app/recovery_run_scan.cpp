// The scan method: every sector of the drive is read in turn and tested for the start of a
// known file; a file runs from its start to where its format says it ends, or, where the format
// cannot tell, to the next start (or the size limit).
#include "app/carved_file.h"
#include "app/file_naming.h"
#include "app/recovery_run.h"
#include "app/run_events.h"
#include "app/run_failure.h"
#include "app/staged_file.h"
#include "app/ui.h"
#include "media/recoverutils.h"
#include "platform/image_source.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace quorvane {

// The local state of one scan run.
struct RecoveryRun::ScanState {
    std::uint32_t BytesPerSector = 0;
    std::string Extension;
    std::int32_t NameOffset = 0;
    std::int32_t ReadErrors = 0;
    // The files being carved: the outer one, and at most one carved inside it while its end is
    // known to lie further on (a picture written over the tail of a deleted film).
    std::vector<std::unique_ptr<CarvedFile>> Open;
    // The drive's image file, when it is one: the carved files' bytes are copied from it.
    std::shared_ptr<const ImageSource> Image;
};

void RecoveryRun::progressStep(std::uint64_t current) {
    const std::uint32_t tick = GetTickCount();
    if (lastProgressTick_ == 0 || tick > lastProgressTick_ + 500u) {
        lastProgressTick_ = tick;
        Tell(Events.OnCurrent, static_cast<std::int64_t>(current));
        Tell(Events.OnProgress, static_cast<std::int64_t>(current));
        collectChecks();
    }
}

bool RecoveryRun::readSectors(std::uint64_t lba, std::uint32_t count) {
    const auto n = static_cast<std::uint16_t>(count);
    return ReadSectors ? ReadSectors(plan_.Drive, lba, n, buffer_) : ReadLogicalSectors64(plan_.Drive, lba, n, buffer_);
}

bool RecoveryRun::readDriveSize() {
    if (!GetLogDriveParams(plan_.Drive, params_)) {
        fail(TRunFailure::NotReady, NotReadyText(driveName()));
        return false;
    }
    // The 32-bit count of the parameters stops at 2 TiB of 512-byte sectors; the scan counts in 64.
    std::uint64_t totalSectors = params_.TotalSectors;
    if (std::uint64_t wide = 0; GetLogDriveSectorCount(plan_.Drive, wide) && wide > totalSectors) totalSectors = wide;
    report_.TotalSectors = totalSectors;
    if (totalSectors == 0) {
        fail(TRunFailure::NoSectors, NoSectorsText(driveName()));
        return false;
    }
    return true;
}

void RecoveryRun::runScanMethod() {
    if (!readDriveSize()) return;
    if (!begin(TProgressUnit::Sector)) return;
    scanSectors(nullptr);
    finish(TProgressUnit::Sector);
    NT_CloseDrive();
    stopped_ = true;
}

void RecoveryRun::scanSectors(const TSectorRanges* passOver) {
    lastProgressTick_ = 0;
    const std::uint64_t totalSectors = report_.TotalSectors;
    if (given_.SectorBuffer != nullptr && given_.SectorBuffer->size() >= SectorBufferBytes + MinTestedSectorBytes) {
        buffer_ = given_.SectorBuffer->data();
    } else {
        ownSectorBuffer_ = MakeSectorBuffer();
        buffer_ = ownSectorBuffer_.data();
    }

    ScanState run;
    run.BytesPerSector = params_.BytesPerSector;
    // Sectors that a test serves from elsewhere are not the image file's.
    if (!ReadSectors) run.Image = OpenImageSource(plan_.Drive);
    const std::int32_t retryLimit = ChosenRetryCount(plan_.RetryCount);
    std::uint32_t blockSize = static_cast<std::uint32_t>(ChosenSectorsAtOnce(plan_.SectorsAtOnce, params_));
    std::uint64_t current = 0;
    // The combined run passes over the sectors of the files recovered by their entries: they are
    // neither tested for starts nor carved into another file, which ends where they begin.
    const TSectorRanges noSectors;
    TSectorRanges::Cursor claimed(passOver != nullptr ? *passOver : noSectors);
    Tell(Events.OnProgressRange, static_cast<std::int64_t>(totalSectors));
    PumpMessages();

    // Closes a file and hands it on; a file that could not be written is reported, deleted and
    // not handed on, and the run stops.
    auto finishFile = [&](CarvedFile& file) {
        StagedFileWriter& writer = file.Writer();
        const std::string name = writer.Path();
        if (!writer.Close()) {
            const std::string why = writer.Error();
            writer.Discard();
            fail(TRunFailure::Stopped, why);
            return;
        }
        TStagedOrigin origin;
        origin.Method = "scan";
        origin.FirstSector = file.FirstSector;
        staged(name, std::move(origin));
    };
    auto finishAll = [&] {
        for (auto& file : run.Open) finishFile(*file);
        run.Open.clear();
    };
    auto openFile = [&] {
        foundFile();
        std::string name;
        if (!NextFreeRunName(workFolder_, prefix_, filesFound_, run.Extension, run.NameOffset, name)) {
            fail(TRunFailure::Stopped, "Every name from " + prefix_ + std::to_string(filesFound_) + "." + run.Extension +
                                           " on is taken in " + workFolder_ + "; the run stops here.");
            return;
        }
        auto file = std::make_unique<CarvedFile>();
        file->FirstSector = current;
        if (!file->Open(name, run.Extension, run.Image)) {
            fail(TRunFailure::Stopped, file->Writer().Error());
            file->Writer().Discard();
            return;
        }
        run.Open.push_back(std::move(file));
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
        if (passOver != nullptr && claimed.Contains(current)) {
            finishAll();
            ++current;
            return;
        }
        if (IsFileStart(sector, bps, run.Extension) && report_.Failure.empty()) {
            // From the innermost file out: a file the start ends is closed, and the first file that
            // goes on past it decides.
            bool newFile = true;
            while (!run.Open.empty()) {
                CarvedFile& file = *run.Open.back();
                const auto inside = file.ClassifyStart();
                if (inside == CarvedFile::StartInside::EndsFile) {
                    finishFile(file);
                    run.Open.pop_back();
                    continue;
                }
                if (inside == CarvedFile::StartInside::PartOfFile) {
                    newFile = false;
                } else {
                    file.NoteStartInside();
                    // A file carved inside another must end by its own structure; one level deep.
                    newFile = run.Open.size() == 1 && CarvedFile::HasEndRule(run.Extension);
                }
                break;
            }
            if (newFile) openFile();
        }
        for (std::size_t i = 0; i < run.Open.size();) {
            CarvedFile& file = *run.Open[i];
            const bool complete = file.Add(sector, run.BytesPerSector, current * run.BytesPerSector);
            // A failed append shows when the file is closed, which reports it and stops the run.
            if (complete || file.Writer().Failed()) {
                finishFile(file);
                run.Open.erase(run.Open.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                ++i;
            }
        }
        ++current;
    };

    try {
        while (current < totalSectors && !stopped_) {
            std::int32_t attempts = 0;
            if (current + blockSize > totalSectors) blockSize = static_cast<std::uint32_t>(totalSectors - current);
            // The sectors the folder based method copied files from are not read a second time:
            // a stretch of them is passed over whole, and a block stops where the next begins.
            std::uint32_t count = blockSize;
            if (passOver != nullptr) {
                const std::uint64_t change = claimed.NextChange(current);
                if (claimed.Contains(current)) {
                    finishAll();
                    current = std::min(change, totalSectors);
                    progressStep(current);
                    PumpMessages();
                    continue;
                }
                if (change - current < count) count = static_cast<std::uint32_t>(change - current);
            }
            // No clearing before the read: a read that succeeds fills the whole block and a block
            // that cannot be read is skipped, so stale bytes are never looked at.
            bool ok = readSectors(current, count);
            // Every read fails once the card is out: the run ends with what it found so far rather
            // than counting each remaining sector as a read error.
            if (!ok && MediumPresent && !MediumPresent(plan_.Drive)) {
                fail(TRunFailure::Stopped, MediumRemovedText(driveName()));
                break;
            }
            while (!ok) {
                // After the first failure the rest of the run reads one sector at a time.
                blockSize = 1;
                count = 1;
                ++attempts;
                ++run.ReadErrors;
                PumpMessages();
                Tell(Events.OnReadErrors, run.ReadErrors);
                if (attempts >= retryLimit) break;
                ok = readSectors(current, 1);
            }
            if (!ok) {
                current += count;  // the unreadable sector is skipped; an open file stays open
                progressStep(current);
                if (stopped_) break;
                continue;
            }
            for (std::uint32_t k = 0; k < count; ++k) {
                sectorStep(buffer_ + static_cast<std::size_t>(k) * run.BytesPerSector);
                if (stopped_) break;
            }
            // The next read reuses the buffer: what the open files queued from it goes out now.
            for (std::size_t i = 0; i < run.Open.size();) {
                if (!run.Open[i]->Writer().Flush()) {
                    finishFile(*run.Open[i]);
                    run.Open.erase(run.Open.begin() + static_cast<std::ptrdiff_t>(i));
                } else {
                    ++i;
                }
            }
        }
    } catch (...) {
        // The loop ends here; the file found so far is still closed and handed on below.
        fail(TRunFailure::Error, RunErrorText(std::current_exception()));
    }

    Tell(Events.OnCurrent, static_cast<std::int64_t>(current));
    Tell(Events.OnProgress, static_cast<std::int64_t>(current));
    finishAll();
    report_.SectorsRead = current;
    report_.ReadErrors = run.ReadErrors;
}

}  // namespace quorvane
