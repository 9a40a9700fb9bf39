#pragma once
// The media type vocabulary: which file extensions count as recoverable pictures, sounds and
// films, and IsFile, which names the type of a file from its first bytes (used on clusters of the
// data area that no directory entry claims).
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

// The 17 media extensions, lower case without a dot, in the order in which they are tested.
inline constexpr std::array<std::string_view, 17> MediaExtensions = {
    "jpg", "jpeg", "crw", "bmp", "gif", "png", "wav", "avi", "riff",
    "mov", "nef",  "mrw", "dcr", "raf", "tif", "tiff", "pcx"};

// The same list as wildcard patterns, matched against lower-cased file names.
inline constexpr std::array<std::string_view, 17> MediaExtensionPatterns = {
    "*.jpg", "*.jpeg", "*.crw", "*.bmp", "*.gif", "*.png", "*.wav", "*.avi", "*.riff",
    "*.mov", "*.nef",  "*.mrw", "*.dcr", "*.raf", "*.tif", "*.tiff", "*.pcx"};

// The same list as upper-case extensions with their dot, compared with a name's extension.
inline constexpr std::array<std::string_view, 17> MediaExtensionTexts = {
    ".JPG", ".JPEG", ".CRW", ".BMP", ".GIF", ".PNG", ".WAV", ".AVI", ".RIFF",
    ".MOV", ".NEF",  ".MRW", ".DCR", ".RAF", ".TIF", ".TIFF", ".PCX"};

// The extension of a file name with its dot (".jpg" of "a.b.jpg"); empty when there is no dot.
std::string_view FileNameExtension(std::string_view fileName);

// True when dottedExtension (".JPG", ".jpeg", ...), with a-z folded to upper case, is one of
// MediaExtensionTexts.
bool IsMediaExtension(std::string_view dottedExtension);

// True when the extension of fileName is a media extension.
bool IsMediaFileName(std::string_view fileName);

// The value IsFile stores in its type argument on every call.
inline constexpr std::uint8_t IsFileTypeValue = 1;

// Names the media type that starts at data. On a match sets ext to the type's extension
// ("JPG", "BMP", "GIF", "CRW", "NEF", "MRW", "TIF", "PNG", "CDR", "WAV", "AVI", "RIFF", "MID",
// "MOV"; upper case, no dot) and answers true; otherwise leaves ext as it was. type is set to
// IsFileTypeValue whatever the outcome. Only the first size bytes at data are read: a test whose
// bytes lie beyond them does not match.
bool IsFile(const std::uint8_t* data, std::uint32_t size, std::string& ext, std::uint8_t& type);

}  // namespace quorvane
