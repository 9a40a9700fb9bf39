#include "fat/fat_stream.h"

namespace quorvane {

TFATStream::TFATStream(TFATdrive& drive, std::uint32_t StartCluster, std::uint32_t Size, std::uint8_t fatNo)
    : Drive(drive), FATNo(fatNo) {
    Drive.ResetByCluster(StartCluster, Size, Info);
}

std::uint32_t TFATStream::Read(void* Buffer, std::uint32_t Count) {
    std::uint32_t done = 0;
    return Drive.BlockRead(Info, Count, Buffer, FATNo, done) ? done : 0;
}

std::int64_t TFATStream::Seek(std::int64_t Offset, Origin From) {
    std::int64_t base = From == Origin::Beginning ? 0 : From == Origin::Current ? Info.Position : Info.Size;
    std::int64_t target = base + Offset;
    if (target < 0 || target > Info.Size) return -1;
    if (target == Info.Position) return target;
    if (target == Info.Size) {
        // Nothing is read at the end of the file, so no cluster needs to be found for it.
        Info.Position = Info.Size;
        return target;
    }
    if (!Drive.Seek(Info, static_cast<std::uint32_t>(target), FATNo)) return -1;
    return target;
}

std::uint32_t TFATStream::Write(const void*, std::uint32_t) { return 0; }

}  // namespace quorvane
