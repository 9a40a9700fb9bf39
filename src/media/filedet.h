#pragma once
// The media type vocabulary: which file extensions count as recoverable pictures, sounds and
// films, and IsFile, which names the type of a file from its first bytes (used on clusters of the
// data area that no directory entry claims). Both are read from the media format table.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "media/media_formats.h"

namespace quorvane {

namespace media_lists_detail {

inline constexpr std::size_t ListedCount = static_cast<std::size_t>(
    std::count_if(MediaFormats.begin(), MediaFormats.end(), [](const MediaFormat& f) { return f.listed; }));

// One written form of an extension, kept in a buffer that lives as long as the program.
struct ListedText {
    std::array<char, 16> chars{};
    std::size_t size = 0;
};

// The listed extensions in table order, each written as prefix + extension in the given case.
constexpr std::array<ListedText, ListedCount> Written(std::string_view prefix, bool lowerCase) {
    std::array<ListedText, ListedCount> texts{};
    std::size_t n = 0;
    for (const MediaFormat& format : MediaFormats) {
        if (!format.listed) continue;
        ListedText& text = texts[n++];
        for (char c : prefix) text.chars[text.size++] = c;
        for (char c : format.extension) {
            text.chars[text.size++] = lowerCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
    return texts;
}

constexpr std::array<std::string_view, ListedCount> Views(const std::array<ListedText, ListedCount>& texts) {
    std::array<std::string_view, ListedCount> views{};
    for (std::size_t i = 0; i < ListedCount; ++i) views[i] = std::string_view(texts[i].chars.data(), texts[i].size);
    return views;
}

inline constexpr auto LowerCase = Written("", true);
inline constexpr auto Patterns = Written("*.", true);
inline constexpr auto DottedUpperCase = Written(".", false);

}  // namespace media_lists_detail

// The media extensions (the rows of the format table marked listed), lower case without a dot,
// in the order in which they are tested.
inline constexpr auto MediaExtensions = media_lists_detail::Views(media_lists_detail::LowerCase);

// The same list as wildcard patterns, matched against lower-cased file names.
inline constexpr auto MediaExtensionPatterns = media_lists_detail::Views(media_lists_detail::Patterns);

// The same list as upper-case extensions with their dot, compared with a name's extension.
inline constexpr auto MediaExtensionTexts = media_lists_detail::Views(media_lists_detail::DottedUpperCase);

// The extension of a file name with its dot (".jpg" of "a.b.jpg"); empty when there is no dot.
std::string_view FileNameExtension(std::string_view fileName);

// True when dottedExtension (".JPG", ".jpeg", ...), with a-z folded to upper case, is one of
// MediaExtensionTexts: the dot and the extension of a listed row of the format table.
bool IsMediaExtension(std::string_view dottedExtension);

// True when the extension of fileName is a media extension.
bool IsMediaFileName(std::string_view fileName);

// The value IsFile stores in its type argument on every call.
inline constexpr std::uint8_t IsFileTypeValue = 1;

// Names the media type that starts at data: tries the signature rules of the format table in
// rank order, and on the first match sets ext to its row's extension ("JPG", "BMP", "CDR", ...;
// upper case, no dot) and answers true; otherwise leaves ext as it was. type is set to
// IsFileTypeValue whatever the outcome. Only the first size bytes at data are read: a test whose
// bytes lie beyond them does not match.
bool IsFile(const std::uint8_t* data, std::uint32_t size, std::string& ext, std::uint8_t& type);

// Whether data begins the way a file named with fileName's extension must: a signature rule of
// that extension's row, or of another row of the same kind (JPEG for JPG), matches. nullopt when
// no such row has a signature rule, so the bytes cannot tell.
std::optional<bool> BeginsAsNamed(std::string_view fileName, std::span<const std::uint8_t> data);

}  // namespace quorvane
