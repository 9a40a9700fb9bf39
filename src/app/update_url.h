#pragma once
// Where the live update finds its control file: "Quorvane.ini" in the program's folder,
// section "LiveUpdate", key "URL", else the address built into the program (always https).
#include <string>

namespace quorvane {

const std::string& DefaultUpdateURL();

// The address of the control file for a program installed in programFolder. A missing or
// unreadable file, or a missing or empty key, gives DefaultUpdateURL().
std::string ReadUpdateURL(const std::string& programFolder);

}  // namespace quorvane
