#pragma once
// Command lines of the update control file: the programs it names are started directly, never
// through a shell, so a command line is split into its arguments here.
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// Splits a command line the way the control file writes one: blanks separate arguments and
// double quotes group blanks into an argument ("C:\Program Files\x.exe" -a). Quotes are removed.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

}  // namespace quorvane
