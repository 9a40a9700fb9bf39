#pragma once
// What a recovery run did, for the window's labels and the command line's report.
#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

// Why a run ended early, when it did.
enum class TRunFailure {
    None,
    // Refusals: the run did not start.
    NotReady,       // the drive's size and sector size cannot be read
    NoSectors,      // a scan over a drive without sectors
    NoWorkFolder,   // the private working folder cannot be made
    NotReadable,    // folder based method: the volume holds no file system it reads
    NotMounted,     // folder based method: the FAT volume cannot be mounted (the engine says why)
    // The run started and had to stop; what it staged so far is kept.
    Stopped,        // a staged file cannot be written, the working folder is full, no free name
    Error,          // something inside the run failed unexpectedly (an exception)
};

// True for the failures that keep a run from starting at all.
inline bool IsRefusal(TRunFailure failure) {
    return failure == TRunFailure::NotReady || failure == TRunFailure::NoSectors || failure == TRunFailure::NoWorkFolder ||
           failure == TRunFailure::NotReadable || failure == TRunFailure::NotMounted;
}

struct TRunReport {
    std::uint64_t SectorsRead = 0;   // scan method: where the run stopped; TotalSectors when it finished
    std::uint64_t TotalSectors = 0;  // scan method: the drive's sectors
    std::int32_t ReadErrors = 0;     // failed read attempts
    bool Cancelled = false;          // stopped by Cancel or by closing the window
    std::string Failure;             // why the run had to stop, when it had to
    TRunFailure FailureKind = TRunFailure::None;
    // The combined run: why its folder based phase did not run (the volume is not one it reads),
    // and how many sectors the files of that phase hold, which the scan passed over.
    std::string FolderPhaseSkipped;
    std::uint64_t SectorsPassedOver = 0;
    // The staged files checked whole and damaged (the rest: unknown, or not checked).
    std::int32_t Whole = 0;
    std::int32_t Damaged = 0;
    // Damaged photos rebuilt from their pieces (counted in Whole since).
    std::int32_t Rebuilt = 0;
    // Folder based method: files listed on the card whose data could not be found, so that they
    // were not copied (rather than saved with another file's bytes).
    std::vector<std::string> NotRecoverable;
    // Folder based method: files whose entries point at data already copied for another file
    // (cross-linked entries), so that the bytes are copied once.
    std::vector<std::string> SameDataAs;
};

}  // namespace quorvane
