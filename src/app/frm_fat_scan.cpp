#include "app/frm_fat_scan.h"

#include "app/run_failure.h"
#include "app/ui.h"
#include "disk/ldiskio.h"
#include "exfat/exfat_file_system.h"
#include "fat/fat_file_system.h"
#include "fat/fat_messages.h"
#include "fat/fat_saved_names.h"
#include "media/filedet.h"
#include "platform/work_folder.h"

#include <cmath>

namespace quorvane {

TFrmFATScan::TFrmFATScan() {
    DeviceList.ProcessMessagesHook = [this] { ProcessMessages(); };
    ProcessOptions();
    SetScanServices(this);
    // The engine's messages (mounting, a file that cannot be copied out) reach the user as boxes.
    SetFATMessageHook([this](const std::string& text, const std::string& caption, TFATMessageKind kind) {
        if (kind == TFATMessageKind::Error) MountError = text;
        const MsgIcon icon = kind == TFATMessageKind::Error     ? MsgIcon::Error
                             : kind == TFATMessageKind::Warning ? MsgIcon::Warning
                                                                : MsgIcon::Information;
        UI().MessageBox(text, caption, icon, MsgButtons::Ok, MsgResult::Ok);
    });
}

TFrmFATScan::~TFrmFATScan() {
    if (&FrmFATScan() == this) {
        SetScanServices(nullptr);
        SetFATMessageHook(nullptr);
    }
}

void TFrmFATScan::ProcessOptions() { optUseINT25 = true; }

void TFrmFATScan::ProcessMessages() { PumpMessages(); }

void TFrmFATScan::FindLostData() {
    if (Drive != nullptr) Drive->FindLostData();
}

std::uint32_t LostDataProgressTotal(std::uint32_t StartClustor, std::uint32_t EndClustor) {
    const auto total = static_cast<std::uint32_t>(2 * (static_cast<std::int64_t>(EndClustor) - StartClustor + 1));
    // nearbyint rounds halves to even in the default rounding mode.
    return total + static_cast<std::uint32_t>(std::nearbyint(total * 0.01));
}

void TFrmFATScan::OnStartScanLostData(std::uint32_t TotalClustor, std::uint32_t StartClustor, std::uint32_t EndClustor,
                                      std::uint16_t BytesPerClustor) {
    ProgressTotal = LostDataProgressTotal(StartClustor, EndClustor);
    ProgressStep = 1;
    UpdateInterval = 500;
    ProgressPos = 0;
    SetStatus("", "", "", "", "", false, false);
    if (OnStartScanData) OnStartScanData(TotalClustor, StartClustor, EndClustor, BytesPerClustor);
}

void TFrmFATScan::OnStartScanLostDataClustor(std::uint32_t TotalClustor, std::uint32_t StartClustor,
                                             std::uint32_t EndClustor, std::uint16_t BytesPerClustor) {
    ProgressPos = EndClustor - StartClustor + 1;
    if (OnStartScanClustor) OnStartScanClustor(TotalClustor, StartClustor, EndClustor, BytesPerClustor);
    if (OnScanProgress) OnScanProgress(ProgressPos);
}

void TFrmFATScan::ProgressStepIt() {
    ProgressPos += static_cast<std::uint32_t>(ProgressStep);
    const std::uint32_t tick = GetTickCount();
    if (LastUpdateTick == 0 || tick > LastUpdateTick + UpdateInterval) {
        ForceUpdate = true;
        LastUpdateTick = tick;
        if (OnScanProgress) OnScanProgress(ProgressPos);
    }
    ProcessMessages();
}

bool TFrmFATScan::TimeForUserUpdate() {
    if (ForceUpdate) {
        ForceUpdate = false;
        return true;
    }
    const std::uint32_t tick = GetTickCount();
    if (LastUpdateTick == 0 || tick > LastUpdateTick + UpdateInterval) {
        ForceUpdate = false;
        LastUpdateTick = tick;
        return true;
    }
    return false;
}

void TFrmFATScan::SetStatus(const std::string&, const std::string&, const std::string&, const std::string&,
                            const std::string&, bool, bool) {
    LastUpdateTick = 0;
    ForceUpdate = true;
}

void TFrmFATScan::UpdateCurrentClustorProgress(std::int64_t Clustor) {
    if (OnScanClustorProgress) OnScanClustorProgress(Clustor);
}

// FAT first: it also takes the volumes that nothing recognises, and its mounting says why they
// cannot be read.
TFileSystems DriveFileSystems() { return {&FatFileSystem(), &ExFatFileSystem()}; }

void TFrmFATScan::AddRecoverFile(TCustomFile& File) {
    File.MarkRecovered();
    try {
        if (!IsMediaFileName(File.Name)) return;
        if (File.DataNotFound) {
            NotRecoverableNames.push_back(SavedFileName(File.Name));
            return;
        }
        // Entries cross-linked to one chain would each stage a copy of the same bytes.
        if (const std::uint64_t key = File.DataKey(); key != 0 && !RecoveredData.insert({File.Drive, key}).second) {
            SameDataNames.push_back(SavedFileName(File.Name));
            return;
        }
        std::string saved;
        const bool complete = File.SaveCopy(DestPath, &saved);
        if (!complete && File.LastSaveWasDiskFull()) {
            // Nothing more can be staged: stop the run; what was saved so far is still kept.
            Failure = "The working folder " + DestPath + " is full; the recovery stopped.";
            Stopped = true;
        }
        if (!saved.empty() && FileExists(saved)) {
            if (OnRecoveredFile) {
                OnRecoveredFile(saved, File);
            } else if (OnFoundImage) {
                OnFoundImage(saved);
            }
        }
    } catch (...) {
        // A file that cannot be saved is skipped.
    }
}

TCustomDrive* TFrmFATScan::resolveDrive(std::uint8_t DriveNo) {
    DriveMounted = false;
    MountError.clear();
    TDevice* device = DeviceList.GetWindowsDrive(DriveNo);
    if (device == nullptr) return nullptr;
    TCustomDrive* drive = DriveList.GetFATDrive(device);
    if (drive == nullptr) return nullptr;
    // A refused volume has nothing to search.
    DriveMounted = drive->Mounted;
    if (!DriveMounted) return nullptr;
    Drive = drive;
    drive->SetLostSearchOption(LostSearchOption);
    drive->FileSectorsRead = FileSectorsRead;
    drive->LoneLostFiles = LoneLostFiles;
    return drive;
}

// Hands each file of "Searched" to AddRecoverFile. False when stopped.
bool TFrmFATScan::recoverSearched() {
    ProcessMessages();
    TCustomDirectory* searched = Drive->SearchedDir.get();
    if (searched == nullptr || !searched->Children) return true;
    const std::size_t n = searched->Children->size();
    for (std::size_t i = 0; i < n; ++i) {
        ProcessMessages();
        if (Stopped) return false;
        if (auto* file = dynamic_cast<TCustomFile*>((*searched->Children)[i].get())) AddRecoverFile(*file);
    }
    return true;
}

void TFrmFATScan::ScanDrive(std::uint8_t DriveNo, bool SearchRoot, bool SearchDeleted, bool SearchLost) {
    Stopped = false;
    Failure.clear();
    RecoveredData.clear();
    SameDataNames.clear();
    NotRecoverableNames.clear();
    // The drive outlives the run; the set it records into does not.
    struct ForgetSectorSet {
        TFrmFATScan& Scan;
        ~ForgetSectorSet() {
            if (Scan.Drive == nullptr) return;
            Scan.Drive->FileSectorsRead = nullptr;
            Scan.Drive->LoneLostFiles = true;
        }
    } forget{*this};
    try {
        TCustomDrive* drive = resolveDrive(DriveNo);
        if (drive == nullptr) return;
        drive->FindFiles(SearchRoot, SearchDeleted, false);
        if (!recoverSearched()) return;
        ProcessMessages();
        if (Stopped) return;
        if (SearchLost) {
            FindLostData();
            ProcessMessages();
            if (Stopped) return;
            // The search starts "Searched" afresh: everything in it now is new.
            drive->FindFiles(false, false, true);
            if (!recoverSearched()) return;
        }
    } catch (...) {
        // The finish step runs all the same; the run reports why it stopped.
        Failure = RunErrorText(std::current_exception());
    }
    ProgressPos = ProgressTotal;
    if (OnScanProgress) OnScanProgress(ProgressPos);
    ProcessMessages();
    Stopped = true;
}

bool TFrmFATScan::AnalyzeTotalFile(std::uint8_t DriveNo, bool Root, bool Deleted, bool Lost, std::int32_t& Files,
                                   std::int32_t& Folders) {
    Stopped = false;
    bool result = false;
    try {
        TCustomDrive* drive = resolveDrive(DriveNo);
        if (drive != nullptr) {
            std::int32_t files = 0;
            std::int32_t folders = 0;
            drive->AnalyzeTotalFile(Root, Deleted, Lost, files, folders);
            Files = files;
            Folders = folders;
            result = true;
        }
    } catch (...) {
        result = false;
    }
    ProcessMessages();
    Stopped = true;
    return result;
}

}  // namespace quorvane
