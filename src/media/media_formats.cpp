#include "media/media_formats.h"

#include <algorithm>

namespace quorvane {
namespace {

constexpr bool IsUpperExtension(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

constexpr bool RowsAreWellFormed() {
    for (std::size_t i = 0; i < MediaFormats.size(); ++i) {
        const MediaFormat& format = MediaFormats[i];
        // The tests hand out the extension as it stands, and lookups fold only a-z.
        if (!IsUpperExtension(format.extension)) return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (MediaFormats[j].extension == format.extension) return false;
        }
        // The listed rows lead, so their order is the order users see.
        if (format.listed && i > 0 && !MediaFormats[i - 1].listed) return false;
        // Only a picture decoder can be picked by content.
        if (format.thumbnailSignature != nullptr && format.thumbnail == ThumbnailKind::TypeLabel) return false;
    }
    return true;
}
static_assert(RowsAreWellFormed(), "a media format row has a bad or repeated extension, or is out of place");

char FoldedAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsFolded(std::string_view text, std::string_view upper) {
    return text.size() == upper.size() &&
           std::equal(text.begin(), text.end(), upper.begin(), [](char a, char b) { return FoldedAscii(a) == b; });
}

}  // namespace

const MediaFormat* FindMediaFormat(std::string_view extension) {
    const auto* row = std::find_if(MediaFormats.begin(), MediaFormats.end(),
                                   [&](const MediaFormat& format) { return EqualsFolded(extension, format.extension); });
    return row == MediaFormats.end() ? nullptr : row;
}

const MediaFormat* ThumbnailFormatOfContent(std::span<const std::uint8_t> bytes) {
    const LeadingBytes head(bytes);
    for (const MediaFormat& format : MediaFormats) {
        if (format.thumbnailSignature != nullptr && format.thumbnailSignature(head)) return &format;
    }
    return nullptr;
}

}  // namespace quorvane
