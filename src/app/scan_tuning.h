#pragma once
// The scan method's tuning: the buffer a block of sectors is read into, how many sectors one
// read takes and how often a failed read is tried. The window's track bars and the command
// line's options are held to the same ranges and defaults.
#include "support/page_aligned_allocator.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvane {

struct TLogDriveParams;

// The bytes one block read may fill.
inline constexpr std::size_t SectorBufferBytes = 2'048'000;

using TSectorBuffer = std::vector<std::uint8_t, PageAlignedAllocator<std::uint8_t>>;
// A buffer of SectorBufferBytes with slack after it: the start test reads 489 bytes of the last
// sector of a block whatever the sector size is.
TSectorBuffer MakeSectorBuffer();

// The most sectors one read may take: as many as the buffer holds. Without a sector size the
// window's track bar keeps its first range, up to 1000.
int SectorsAtOnceLimit(std::uint32_t bytesPerSector);
// A hundredth of the volume, kept between 1 and the limit.
int DefaultSectorsAtOnce(const TLogDriveParams& params);
// requested kept between 1 and the limit; 0 or less: the default.
int ChosenSectorsAtOnce(int requested, const TLogDriveParams& params);

// Read attempts per block before a sector is skipped.
inline constexpr int RetryCountMin = 1;
inline constexpr int RetryCountMax = 20;
inline constexpr int DefaultRetryCount = 1;
// requested kept between RetryCountMin and RetryCountMax; 0 or less: the default.
int ChosenRetryCount(int requested);

}  // namespace quorvane
