#include "support/version_resource.h"

#include "support/version_block_format.h"
#include "support/version_resource_file.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace quorvane {
namespace {

// Marks a buffer laid out by MakeVersionInfoBuffer: the spare half for text follows it.
constexpr std::uint8_t bufferMarker[4] = {'Q', 'V', 'A', '8'};

// One node of the tree, with every offset already checked against the end of its parent.
struct Node {
    std::size_t start = 0;
    std::size_t end = 0;  // start + wLength
    std::uint16_t type = 0;
    std::size_t keyStart = 0;
    std::size_t keyUnits = 0;  // without the zero
    std::size_t valueOffset = 0;
    std::size_t valueBytes = 0;
    std::size_t childrenOffset = 0;
};

std::optional<Node> parseNode(std::span<const std::uint8_t> b, std::size_t start, std::size_t limit) {
    if (start > limit || limit - start < VersionNodeHeaderSize) return std::nullopt;
    const std::uint16_t length = VersionLe16(b, start);
    if (length < VersionNodeHeaderSize || length > limit - start) return std::nullopt;
    Node n;
    n.start = start;
    n.end = start + length;
    const std::uint16_t valueLength = VersionLe16(b, start + 2);
    n.type = VersionLe16(b, start + 4);
    n.keyStart = start + VersionNodeHeaderSize;
    std::size_t at = n.keyStart;
    while (at + 2 <= n.end && VersionLe16(b, at) != 0) at += 2;
    if (at + 2 > n.end) return std::nullopt;  // a key without its zero
    n.keyUnits = (at - n.keyStart) / 2;
    n.valueOffset = std::min(AlignVersion4(at + 2), n.end);
    const std::size_t declared = n.type == VersionValueText ? std::size_t{valueLength} * 2 : valueLength;
    n.valueBytes = std::min(declared, n.end - n.valueOffset);
    n.childrenOffset = std::min(AlignVersion4(n.valueOffset + n.valueBytes), n.end);
    return n;
}

bool keyEquals(std::span<const std::uint8_t> b, const Node& n, std::string_view name) {
    if (n.keyUnits != name.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const std::uint16_t u = VersionLe16(b, n.keyStart + 2 * i);
        if (u > 0x7F) return false;
        if (std::tolower(static_cast<unsigned char>(u)) != std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    }
    return true;
}

std::optional<Node> findChild(std::span<const std::uint8_t> b, const Node& parent, std::string_view name) {
    std::size_t at = parent.childrenOffset;
    while (at < parent.end) {
        const std::optional<Node> child = parseNode(b, at, parent.end);
        if (!child) return std::nullopt;
        if (keyEquals(b, *child, name)) return child;
        at = AlignVersion4(child->end);  // wLength >= 6, so every step moves forward
    }
    return std::nullopt;
}

void appendUtf8(std::uint32_t cp, char* out, std::size_t& used) {
    if (cp < 0x80) {
        out[used++] = static_cast<char>(cp);
    } else if (cp < 0x800) {
        out[used++] = static_cast<char>(0xC0 | (cp >> 6));
        out[used++] = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out[used++] = static_cast<char>(0xE0 | (cp >> 12));
        out[used++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[used++] = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out[used++] = static_cast<char>(0xF0 | (cp >> 18));
        out[used++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out[used++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[used++] = static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::size_t utf8Length(std::uint32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

// Converts the UTF-16 text of a value (up to its zero) into out, which has room for
// capacity bytes; the result always ends with a zero. Answers the bytes written with the zero.
std::size_t convertText(std::span<const std::uint8_t> b, std::size_t offset, std::size_t bytes, char* out,
                        std::size_t capacity) {
    std::size_t used = 0;
    const std::size_t units = bytes / 2;
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t cp = VersionLe16(b, offset + 2 * i);
        if (cp == 0) break;
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units) {
            const std::uint32_t low = VersionLe16(b, offset + 2 * (i + 1));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                cp = 0xFFFD;
            }
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // a lone surrogate
        }
        if (used + utf8Length(cp) + 1 > capacity) break;
        appendUtf8(cp, out, used);
    }
    out[used++] = '\0';
    return used;
}

bool isWellFormedRoot(std::span<const std::uint8_t> raw) {
    const std::optional<Node> root = parseNode(raw, 0, raw.size());
    return root && root->end == raw.size();
}

}  // namespace

std::size_t VersionInfoBufferSize(std::size_t rawLength) {
    const std::size_t aligned = AlignVersion4(rawLength);
    // Each UTF-16 unit (2 bytes) becomes at most 3 bytes of UTF-8, so a text at raw offset o
    // has the room from 3 * o / 2 onwards to itself.
    return aligned + sizeof(bufferMarker) + aligned / 2 * 3;
}

std::vector<std::uint8_t> MakeVersionInfoBuffer(std::span<const std::uint8_t> raw) {
    std::vector<std::uint8_t> buffer(VersionInfoBufferSize(raw.size()), 0);
    std::copy(raw.begin(), raw.end(), buffer.begin());
    std::copy(std::begin(bufferMarker), std::end(bufferMarker), buffer.begin() + AlignVersion4(raw.size()));
    return buffer;
}

std::optional<std::vector<std::uint8_t>> ReadVersionResource(const std::string& fileName) {
    const version_file::PositionalFile file(fileName);
    if (!file.IsOpen()) return std::nullopt;
    const auto magic = file.Read(0, 4);
    if (!magic) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> raw;
    if ((*magic)[0] == 0x7F && (*magic)[1] == 'E' && (*magic)[2] == 'L' && (*magic)[3] == 'F')
        raw = version_file::ReadElfVersionSection(file);
    else if ((*magic)[0] == 'M' && (*magic)[1] == 'Z')
        raw = version_file::ReadPeVersionResource(file);
    if (!raw || raw->size() < VersionNodeHeaderSize) return std::nullopt;
    // A resource is often padded behind its block; the block's own length is what counts.
    const std::size_t length = VersionLe16(*raw, 0);
    if (length > raw->size()) return std::nullopt;
    raw->resize(length);
    if (!isWellFormedRoot(*raw)) return std::nullopt;
    return raw;
}

std::uint32_t GetFileVersionInfoSizeA(const char* lptstrFilename, std::uint32_t* lpdwHandle) {
    if (lpdwHandle != nullptr) *lpdwHandle = 0;
    if (lptstrFilename == nullptr) return 0;
    const auto raw = ReadVersionResource(lptstrFilename);
    return raw ? static_cast<std::uint32_t>(VersionInfoBufferSize(raw->size())) : 0;
}

bool GetFileVersionInfoA(const char* lptstrFilename, std::uint32_t /*dwHandle*/, std::uint32_t dwLen, void* lpData) {
    if (lptstrFilename == nullptr || lpData == nullptr) return false;
    const auto raw = ReadVersionResource(lptstrFilename);
    if (!raw) return false;
    const std::vector<std::uint8_t> buffer = MakeVersionInfoBuffer(*raw);
    if (dwLen < buffer.size()) return false;  // the file changed since its size was asked
    std::memcpy(lpData, buffer.data(), buffer.size());
    return true;
}

bool VerQueryValueA(void* pBlock, const char* lpSubBlock, const void** lplpBuffer, std::uint32_t* puLen) {
    if (pBlock == nullptr || lpSubBlock == nullptr || lplpBuffer == nullptr) return false;
    auto* bytes = static_cast<std::uint8_t*>(pBlock);
    const std::size_t rawLength = VersionLe16(std::span<const std::uint8_t>(bytes, 2), 0);
    const std::size_t markerAt = AlignVersion4(rawLength);
    if (std::memcmp(bytes + markerAt, bufferMarker, sizeof(bufferMarker)) != 0) return false;
    const std::span<const std::uint8_t> raw(bytes, rawLength);
    std::optional<Node> node = parseNode(raw, 0, raw.size());
    if (!node) return false;

    std::string_view path(lpSubBlock);
    while (!path.empty()) {
        const std::size_t sep = path.find('\\');
        const std::string_view part = path.substr(0, sep);
        path = sep == std::string_view::npos ? std::string_view{} : path.substr(sep + 1);
        if (part.empty()) continue;
        node = findChild(raw, *node, part);
        if (!node) return false;
    }

    if (node->type == VersionValueText && node->valueBytes > 0) {
        char* area = reinterpret_cast<char*>(bytes + markerAt + sizeof(bufferMarker));
        char* out = area + node->valueOffset / 2 * 3;
        const std::size_t written = convertText(raw, node->valueOffset, node->valueBytes, out,
                                                std::max<std::size_t>(1, node->valueBytes / 2 * 3));
        *lplpBuffer = out;
        if (puLen != nullptr) *puLen = static_cast<std::uint32_t>(written);
        return true;
    }
    *lplpBuffer = bytes + node->valueOffset;
    if (puLen != nullptr) *puLen = static_cast<std::uint32_t>(node->valueBytes);
    return true;
}

}  // namespace quorvane
