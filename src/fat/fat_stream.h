#pragma once
// A read-only stream over one file of a FAT drive.
#include "fat/fat_drive.h"

#include <cstdint>

namespace quorvane {

class TFATStream {
public:
    enum class Origin { Beginning, Current, End };

    TFATStream(TFATdrive& Drive, std::uint32_t StartCluster, std::uint32_t Size, std::uint8_t FATNo);

    // Reads up to Count bytes at the position; the bytes delivered (0 at the end of the file).
    std::uint32_t Read(void* Buffer, std::uint32_t Count);
    // Moves the position; the new position, or -1 when the file cannot be positioned there
    // (outside the file, or beyond where its chain ends). The end of the file itself is allowed.
    std::int64_t Seek(std::int64_t Offset, Origin From);
    // Writing is not supported: nothing is written.
    std::uint32_t Write(const void* Buffer, std::uint32_t Count);

    std::uint32_t Position() const { return Info.Position; }
    std::uint32_t Size() const { return Info.Size; }

private:
    TFATdrive& Drive;
    std::uint8_t FATNo;
    TFATFileInfo Info;
};

}  // namespace quorvane
