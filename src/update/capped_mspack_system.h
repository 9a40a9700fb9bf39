#pragma once
// The file access that libmspack's decompressors get: plain stdio, except that everything they
// write together is counted and a write beyond the cap fails, so that a small cabinet or LZ file
// cannot fill the disk however its data is made.
#include <mspack.h>

#include <cstdint>

namespace quorvane {

// What one cabinet or one LZ file may expand to, all of its files together.
inline constexpr std::uint64_t MaxExpandedBytes = std::uint64_t{512} << 20;  // 512 MiB

struct TCappedMspackSystem {
    mspack_system sys;  // first, so that libmspack's pointer is also ours
    std::uint64_t cap;
    std::uint64_t written = 0;
    bool exceeded = false;

    explicit TCappedMspackSystem(std::uint64_t maxBytes);
    mspack_system* get() { return &sys; }
};

}  // namespace quorvane
