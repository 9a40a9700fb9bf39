#pragma once
// The two sector tests of the scan method: does a known picture, sound or film start in this
// sector, and has the file being written grown past its size limit.
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

// A carved file that no later start cuts short ends once it passes this many bytes.
inline constexpr std::int64_t CarvedFileSizeLimit = 5'120'000;

// The tests read fixed offsets up to byte 488, so a sector must hold at least this many bytes.
inline constexpr std::int32_t MinTestedSectorBytes = 489;

// Tries the start rules of the media format table in rank order. On the first match sets
// extension to its row's extension ("JPG", "CRW", ...; upper case, no dot) and answers true;
// otherwise leaves extension as it was.
bool IsFileStart(const std::uint8_t* sector, std::int32_t size, std::string& extension);

// Adds size to count and answers whether the count now exceeds the size limit: the end rule
// (EndRule::SizeLimit) that every format of the table has.
bool IsFileEnd(const std::uint8_t* sector, std::int32_t size, std::int64_t& count, const std::string& extension);

// Looks for text in windows at offsets 0, n, 2n, ... (n = text length) below size - n.
bool ContainsText(const std::uint8_t* buffer, std::int32_t size, std::string_view text);

// Sets the first n bytes of buffer to value; nothing when n <= 0.
void FillBuffer(std::uint8_t* buffer, std::int64_t n, std::uint8_t value);

}  // namespace quorvane
