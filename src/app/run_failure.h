#pragma once
// The texts of a run's failures, worded once for every front end.
#include <exception>
#include <string>

namespace quorvane {

// "E: is not ready: its size and sector size cannot be read"
std::string NotReadyText(const std::string& driveName);
// "E: has no sectors"
std::string NoSectorsText(const std::string& driveName);
// "The file system of E: cannot be mounted; the scan method can still recover its pictures." (FAT
// or exFAT: the drive list has admitted only those)
std::string NotMountedText(const std::string& driveName);

// "The card in E: was taken out during the run; the files found before are kept."
std::string MediumRemovedText(const std::string& driveName);

// "The recovery stopped: " and what went wrong, for an exception that ended a run.
std::string RunErrorText(std::exception_ptr error);
// Whether text was made by RunErrorText. The scan driver keeps only the text of why its run
// stopped; this tells an error apart from a full working folder.
bool IsRunErrorText(const std::string& text);

}  // namespace quorvane
