#pragma once
// The scan driver: the object behind the folder based method. It owns the devices and FAT drives
// it makes, is the FAT engine's progress and status sink, saves the media files handed to it into
// the run's working folder and reports each one through its events.
#include "disk/devices.h"
#include "disk/drives.h"
#include "disk/scan_services.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace quorvane {

// The file systems a drive is opened with, in the order they are tried.
TFileSystems DriveFileSystems();

using TOnStartScanDataEvent =
    std::function<void(std::int64_t TotalClustor, std::int64_t StartClustor, std::int64_t EndClustor, std::int32_t BytesPerClustor)>;
using TOnStartScanClustorEvent = TOnStartScanDataEvent;
using TOnScanProgressEvent = std::function<void(std::int64_t CurrentProgressPos)>;
using TOnScanClustorProgressEvent = std::function<void(std::int64_t CurrentClustor)>;
using TOnFoundImageEvent = std::function<void(const std::string& FileName)>;
// A file was staged at FileName from File (its entry's name, folder, first sector and time).
using TOnRecoveredFileEvent = std::function<void(const std::string& FileName, const TCustomFile& File)>;

class TFrmFATScan : public TScanServices {
public:
    // Registers itself as the engine's scan driver for its lifetime.
    TFrmFATScan();
    ~TFrmFATScan() override;
    TFrmFATScan(const TFrmFATScan&) = delete;
    TFrmFATScan& operator=(const TFrmFATScan&) = delete;

    TOnStartScanDataEvent OnStartScanData;
    TOnStartScanClustorEvent OnStartScanClustor;
    TOnScanProgressEvent OnScanProgress;
    TOnScanClustorProgressEvent OnScanClustorProgress;
    TOnFoundImageEvent OnFoundImage;
    // Told instead of OnFoundImage when set.
    TOnRecoveredFileEvent OnRecoveredFile;
    TDeviceList DeviceList;
    // The drives it opens report to it; FAT is the file system tried first (and the fallback).
    TDriveList DriveList{DriveFileSystems(), this};
    bool LostSearchOption = true;
    std::uint32_t LastUpdateTick = 0;
    bool ForceUpdate = false;
    std::uint32_t ProgressPos = 0;
    std::uint32_t ProgressTotal = 0;
    std::int32_t ProgressStep = 0;
    std::uint32_t UpdateInterval = 0;
    std::string DestPath;
    // While set, the drive of the run adds every sector it copies a file's data from here.
    TSectorRanges* FileSectorsRead = nullptr;
    // Whether the lost data search lists lone lost files (see TCustomDrive::LoneLostFiles).
    bool LoneLostFiles = true;
    // Names of files passed over in the last run because a file of the same data (DataKey) had
    // been recovered already.
    std::vector<std::string> SameDataNames;
    // Files of the run not copied because their data could not be found on the card.
    std::vector<std::string> NotRecoverableNames;
    // Why the last run had to stop (the working folder's disk is full), empty otherwise.
    std::string Failure;
    // The last drive opened by a run or an analysis pass: whether it mounted, and the error the
    // engine showed when it did not (empty when it showed none).
    bool DriveMounted = false;
    std::string MountError;

    void StopScan() { Stopped = true; }
    void ProcessOptions();
    void FindLostData();

    // The folder based method: the media files among the deleted and, on request, the lost
    // entries of the drive, each saved into DestPath and reported.
    void ScanDrive(std::uint8_t DriveNo, bool SearchRoot, bool SearchDeleted, bool SearchLost);
    // One counting pass of the drive analysis. Virtual so the dialog can be tried on given counts.
    virtual bool AnalyzeTotalFile(std::uint8_t DriveNo, bool Root, bool Deleted, bool Lost, std::int32_t& Files,
                          std::int32_t& Folders);

    // Services of the FAT engine.
    void ProcessMessages() override;
    void ProgressStepIt() override;
    bool TimeForUserUpdate() override;
    void SetStatus(const std::string&, const std::string&, const std::string&, const std::string&, const std::string&,
                   bool, bool) override;
    void UpdateCurrentClustorProgress(std::int64_t Clustor) override;
    void OnStartScanLostData(std::uint32_t TotalClustor, std::uint32_t StartClustor, std::uint32_t EndClustor,
                             std::uint16_t BytesPerClustor) override;
    void OnStartScanLostDataClustor(std::uint32_t TotalClustor, std::uint32_t StartClustor, std::uint32_t EndClustor,
                                    std::uint16_t BytesPerClustor) override;
    void AddRecoverFile(TCustomFile& File) override;

private:
    TCustomDrive* resolveDrive(std::uint8_t DriveNo);
    // The data recovered in this run, by drive and DataKey.
    std::set<std::pair<const TCustomDrive*, std::uint64_t>> RecoveredData;
    bool recoverSearched();
};

// 2 x the clusters of the range, plus one percent rounded half to even: the progress total of
// the lost data search.
std::uint32_t LostDataProgressTotal(std::uint32_t StartClustor, std::uint32_t EndClustor);

}  // namespace quorvane
