#pragma once
// The report of a run's saved files: written as recovery-report.json into the destination, and
// printed by the command line's --json.
#include "app/staged_list.h"

#include <nlohmann/json.hpp>
#include <string>

namespace quorvane {

inline constexpr const char* RecoveryReportName = "recovery-report.json";

// One entry per staged file: where it was staged and saved, its original path when known, the
// method that found it, its first sector, size and condition.
nlohmann::json StagedFilesJson(const TStagedList& staged);

// Writes report into destination as RecoveryReportName, replacing an earlier report of this
// program there. False with the reason in error when it cannot be written.
bool WriteRecoveryReport(const std::string& destination, const nlohmann::json& report, std::string& error);

}  // namespace quorvane
