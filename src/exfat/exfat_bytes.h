#pragma once
// Little-endian fields of on-disk exFAT structures, read byte by byte from a buffer the caller has
// checked to be long enough.
#include <cstdint>

namespace quorvane {

inline std::uint16_t ExFATU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

inline std::uint32_t ExFATU32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

inline std::uint64_t ExFATU64(const std::uint8_t* p) {
    return std::uint64_t{ExFATU32(p)} | std::uint64_t{ExFATU32(p + 4)} << 32;
}

}  // namespace quorvane
