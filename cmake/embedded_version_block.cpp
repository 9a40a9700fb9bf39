// The program's own version resource, compiled into every program that links the engine
// (see version_block.cmake). The bytes live in the ELF section ".quorvane.version", where
// GetFileVersionInfoA finds them in /proc/self/exe or in any of our executables on disk.
#include "quorvane_build_info.h"
#include "support/version_block_builder.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace quorvane {
namespace {

constexpr VersionString ownStrings[] = {
    {"CompanyName", QUORVANE_COMPANY_NAME},
    {"FileDescription", "Quorvane: recovers pictures, sounds and films from FAT media"},
    {"FileVersion", QUORVANE_VERSION_TEXT},
    {"InternalName", "quorvane"},
    {"LegalCopyright", QUORVANE_LEGAL_COPYRIGHT},
    {"OriginalFilename", "quorvane"},
    {"ProductName", "Quorvane"},
    {"ProductVersion", QUORVANE_VERSION_TEXT},
};

constexpr VersionStringTable ownTables[] = {{0x0409, 0x04E4, ownStrings}};

constexpr VersionBlockSpec ownSpec() {
    VsFixedFileInfo fixed;
    fixed.dwFileVersionMS = VersionMS(QUORVANE_VERSION_MAJOR, QUORVANE_VERSION_MINOR);
    fixed.dwFileVersionLS = VersionLS(QUORVANE_VERSION_PATCH, QUORVANE_VERSION_TWEAK);
    fixed.dwProductVersionMS = fixed.dwFileVersionMS;
    fixed.dwProductVersionLS = fixed.dwFileVersionLS;
    fixed.dwFileOS = VosUnknown;  // the table of target systems has no entry for Linux
    fixed.dwFileType = VftApp;
    return VersionBlockSpec{fixed, ownTables, true};
}

constexpr std::size_t ownBlockSize = BuildVersionBlock(ownSpec()).size();

constexpr std::array<std::uint8_t, ownBlockSize> ownBlockBytes() {
    std::array<std::uint8_t, ownBlockSize> bytes{};
    const auto built = BuildVersionBlock(ownSpec());
    for (std::size_t i = 0; i < ownBlockSize; ++i) bytes[i] = built[i];
    return bytes;
}

static_assert(ownBlockSize <= 0xFFFF, "a version resource holds at most 65,535 bytes");

[[gnu::section(".quorvane.version"), gnu::used, gnu::retain]] constexpr std::array<std::uint8_t, ownBlockSize>
    ownVersionBlock = ownBlockBytes();

}  // namespace
}  // namespace quorvane
