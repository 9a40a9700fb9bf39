#include "platform/os_version.h"

#include <cstdlib>

namespace quorvane {

OsVersionInfo VersionForFamily(const std::string& family) {
    OsVersionInfo v;
    if (family == "9x" || family == "98") {
        v.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
        v.dwMajorVersion = 4;
        v.dwMinorVersion = 10;
        v.dwBuildNumber = 2222;
    } else if (family == "95") {
        v.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
        v.dwMajorVersion = 4;
        v.dwMinorVersion = 0;
        v.dwBuildNumber = 950;
    } else {
        v.dwPlatformId = VER_PLATFORM_WIN32_NT;
        v.dwMajorVersion = 5;
        v.dwMinorVersion = 1;
        v.dwBuildNumber = 2600;
    }
    return v;
}

OsVersionInfo GetVersionExA() {
    const char* family = std::getenv("QUORVANE_FAMILY");
    return VersionForFamily(family ? family : "");
}

}  // namespace quorvane
