#pragma once
// Which FAT copy a chain walk follows. The drive's ActiveFAT and the FATNo that the readers are
// given count the copies from 1 and use 0 for "follow none: every chain is a run of consecutive
// clusters"; GetFAT counts the copies from 0. These two are the only place where the one count
// turns into the other.
#include <cstdint>

namespace quorvane {

// True when FATNo names a FAT copy to follow; 0 follows none.
constexpr bool FollowsFAT(std::uint8_t FATNo) { return FATNo != 0; }

// GetFAT's index of the copy that FATNo names: FATNo 1 is the first FAT, index 0. Only for a
// FATNo that FollowsFAT; 0 names no copy.
constexpr std::uint8_t FATIndex(std::uint8_t FATNo) { return static_cast<std::uint8_t>(FATNo - 1); }

}  // namespace quorvane
