#pragma once
// What a file-system engine needs from the scan driver above it: the stop flag, progress, status
// lines, message pumping, the counters of the file analysis and the hand-over of found files. It
// speaks of the abstract drive and file only, so any file system can report through it. The scan
// driver (app/) derives from this class; a drive list hands its services to every drive it makes.
// Until a driver is registered, the program-wide reference is an inert instance that never stops
// and shows nothing.
#include <cstdint>
#include <string>

namespace quorvane {

class TCustomDrive;
class TCustomFile;

class TScanServices {
public:
    virtual ~TScanServices() = default;

    // Set when a scan or analysis has ended or a stop was asked for; the engine's loops end then.
    bool Stopped = false;
    // The drive of the current scan or analysis; the file search fills its "Searched" directory.
    TCustomDrive* Drive = nullptr;
    // Counted by the drive's file analysis.
    std::int32_t FoundFiles = 0;
    std::int32_t FoundFolders = 0;

    virtual void ProcessMessages() {}
    virtual void ProgressStepIt() {}
    // Whether the caller should refresh what it shows now.
    virtual bool TimeForUserUpdate() { return false; }
    virtual void SetStatus(const std::string&, const std::string&, const std::string&, const std::string&,
                           const std::string&, bool, bool) {}
    virtual void UpdateStatus(const std::string&, const std::string&, const std::string&, const std::string&,
                              const std::string&) {}
    // Called after each dialog that the copy-out of a file shows.
    virtual void ProgressStopTime() {}
    virtual void UpdateCurrentClustorProgress(std::int64_t /*Clustor*/) {}
    // The lost data search begins, and begins its pass over the clusters.
    virtual void OnStartScanLostData(std::uint32_t /*TotalClustor*/, std::uint32_t /*StartClustor*/,
                                     std::uint32_t /*EndClustor*/, std::uint16_t /*BytesPerClustor*/) {}
    virtual void OnStartScanLostDataClustor(std::uint32_t /*TotalClustor*/, std::uint32_t /*StartClustor*/,
                                            std::uint32_t /*EndClustor*/, std::uint16_t /*BytesPerClustor*/) {}
    // Takes a found file over: marks it and, when it is a media file, saves and reports it.
    virtual void AddRecoverFile(TCustomFile& /*File*/) {}
};

// The registered scan driver, or the inert one.
TScanServices& FrmFATScan();
// Registers services (nullptr: back to the inert one). The caller keeps ownership.
void SetScanServices(TScanServices* services);

}  // namespace quorvane
