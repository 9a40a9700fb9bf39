#include "media/recoverutils.h"

#include <cstring>

#include "media/format_rules.h"

namespace quorvane {

// Flattened: every rule's test is inlined into the chain whatever the compiler's size limits say,
// so that a sector that matches nothing is turned away by byte compares alone, without a call.
[[gnu::flatten]] bool IsFileStart(const std::uint8_t* sector, std::int32_t size, std::string& extension) {
    return SetFirstMatchingExtension<StartRulesInOrder>(extension, sector, size);
}

bool IsFileEnd(const std::uint8_t* /*sector*/, std::int32_t size, std::int64_t& count, const std::string& /*extension*/) {
    count += static_cast<std::int64_t>(size);
    return count > CarvedFileSizeLimit;
}

bool ContainsText(const std::uint8_t* buffer, std::int32_t size, std::string_view text) {
    const auto n = static_cast<std::int32_t>(text.size());
    if (n == 0) return size > 0;  // an empty window matches wherever one can start
    if (size - n <= 0) return false;
    // Steps by the text's length: only occurrences at multiples of n are seen.
    const std::uint8_t* const end = buffer + (size - n);
    for (const std::uint8_t* at = buffer; at < end; at += n) {
        if (std::memcmp(at, text.data(), static_cast<std::size_t>(n)) == 0) return true;
    }
    return false;
}

void FillBuffer(std::uint8_t* buffer, std::int64_t n, std::uint8_t value) {
    if (n <= 0) return;
    std::memset(buffer, value, static_cast<std::size_t>(n));
}

}  // namespace quorvane
