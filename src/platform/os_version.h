#pragma once
// The stand-in for GetVersionExA. Linux runs the NT family's sector path by default;
// QUORVANE_FAMILY=9x (Windows 98: INT 21h 7305h available) or QUORVANE_FAMILY=95 (Windows 95
// without it: INT 25h/26h) selects the 9x family's path, so both decision chains run end to end.
#include <cstdint>
#include <string>

namespace quorvane {

inline constexpr std::uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr std::uint32_t VER_PLATFORM_WIN32_NT = 2;

struct OsVersionInfo {
    bool ok = true;  // whether GetVersionExA succeeded
    std::uint32_t dwMajorVersion = 0;
    std::uint32_t dwMinorVersion = 0;
    std::uint32_t dwBuildNumber = 0;
    std::uint32_t dwPlatformId = 0;
    std::string szCSDVersion;
};

OsVersionInfo GetVersionExA();
// The answer for one value of QUORVANE_FAMILY (empty or unknown: NT).
OsVersionInfo VersionForFamily(const std::string& family);

}  // namespace quorvane
