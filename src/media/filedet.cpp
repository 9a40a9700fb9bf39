#include "media/filedet.h"

#include <algorithm>
#include <span>

#include "support/helpers.h"

namespace quorvane {

std::string_view FileNameExtension(std::string_view fileName) {
    const auto dot = fileName.rfind('.');
    if (dot == std::string_view::npos) return {};
    return fileName.substr(dot);
}

namespace {

// Upper-cases only a-z, as the names on FAT media are 8-bit code-page text.
bool EqualsFoldedAscii(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char folded = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (folded != upper[i]) return false;
    }
    return true;
}

}  // namespace

bool IsMediaExtension(std::string_view dottedExtension) {
    return std::any_of(MediaExtensionTexts.begin(), MediaExtensionTexts.end(),
                       [&](std::string_view known) { return EqualsFoldedAscii(dottedExtension, known); });
}

bool IsMediaFileName(std::string_view fileName) {
    const std::string_view extension = FileNameExtension(fileName);
    return !extension.empty() && IsMediaExtension(extension);
}

namespace {

// The first bytes of a candidate file, read only inside their bounds.
class Head {
public:
    explicit Head(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool ByteIs(std::size_t at, std::uint8_t value) const { return at < bytes_.size() && bytes_[at] == value; }

    bool TextAt(std::size_t at, std::string_view text) const {
        return at <= bytes_.size() && bytes_.size() - at >= text.size() && IsDataEqual(bytes_.data() + at, text);
    }

    bool BytesAt(std::size_t at, std::initializer_list<std::uint8_t> values) const {
        std::size_t i = at;
        for (std::uint8_t v : values) {
            if (!ByteIs(i++, v)) return false;
        }
        return true;
    }

    // "II" (Intel) or "MM" (Motorola): the byte-order mark of TIFF-based raw formats.
    bool HasTiffByteOrder() const { return TextAt(0, "II") || TextAt(0, "MM"); }

private:
    std::span<const std::uint8_t> bytes_;
};

// The rows are tried in this order and the first match decides; nullptr when none matches.
const char* RecognisedExtension(const Head& h) {
    if (h.BytesAt(0, {0xFF, 0xD8})) return "JPG";
    if (h.TextAt(0, "BM")) return "BMP";
    if (h.TextAt(0, "GIF8") && (h.ByteIs(4, '9') || h.ByteIs(4, '7')) && h.ByteIs(5, 'a')) return "GIF";
    if (h.HasTiffByteOrder() && h.TextAt(6, "HEAPCCDR")) return "CRW";
    // Raw files of this camera are TIFF-based and carry the model name at a fixed place.
    if (h.TextAt(250, "Canon EOS-1D")) return "CRW";
    if (h.HasTiffByteOrder() && h.TextAt(352, "NIKON")) return "NEF";
    if (h.HasTiffByteOrder() && h.TextAt(484, "NIKON")) return "NEF";
    if (h.TextAt(1, "MRM")) return "MRW";
    if (h.BytesAt(0, {0x49, 0x49, 0x2A, 0x00}) || h.BytesAt(0, {0x4D, 0x4D, 0x00, 0x2A})) return "TIF";
    if (h.BytesAt(0, {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A})) return "PNG";
    if (h.TextAt(0, "RIFF")) {
        if (h.TextAt(8, "CDR")) return "CDR";
        if (h.TextAt(8, "WAVE")) return "WAV";
        if (h.TextAt(8, "AVI ")) return "AVI";
        return "RIFF";
    }
    if (h.TextAt(0, "MThd")) return "MID";
    if (h.TextAt(4, "moov")) return "MOV";
    return nullptr;
}

}  // namespace

bool IsFile(const std::uint8_t* data, std::uint32_t size, std::string& ext, std::uint8_t& type) {
    type = IsFileTypeValue;
    if (data == nullptr) return false;
    try {
        const char* found = RecognisedExtension(Head(std::span<const std::uint8_t>(data, size)));
        if (found == nullptr) return false;
        ext = found;
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace quorvane
