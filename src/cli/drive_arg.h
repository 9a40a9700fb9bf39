#pragma once
// Turns the DRIVE argument into a drive number, with messages a user can act on.
#include <cstdint>
#include <optional>
#include <string>

namespace quorvane::cli {

struct DriveChoice {
    std::uint8_t number = 0;
    int exitCode = 0;  // set when number is 0
};

// Resolves arg and checks that the volume can be read; prints the reason when not. A whole disk
// or image that starts with a partition table, named without @N, gives its preferred partition,
// and which one is said on standard error.
DriveChoice ChooseDrive(const std::string& arg);

}  // namespace quorvane::cli
