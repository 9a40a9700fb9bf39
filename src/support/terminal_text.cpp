#include "support/terminal_text.h"

#include <cstdint>
#include <cstdio>

namespace quorvane {
namespace {

void appendHex(std::string& out, unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02x", value & 0xFFu);
    out += text;
}

void appendCodePoint(std::string& out, std::uint32_t cp) {
    char text[12];
    std::snprintf(text, sizeof text, "\\u%04x", static_cast<unsigned>(cp));
    out += text;
}

// The length of the UTF-8 sequence at text[i] and its code point; 0 when it is not well formed
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t decodeUtf8(std::string_view text, std::size_t i, std::uint32_t& cp) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, cp = lead & 0x1Fu, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, cp = lead & 0x0Fu, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, cp = lead & 0x07u, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0u) != 0x80u) return 0;
        cp = (cp << 6) | (c & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

bool isHiddenControl(std::uint32_t cp) {
    return (cp >= 0x80 && cp <= 0x9F) ||      // C1 controls: 0x9B is a CSI of its own
           (cp >= 0x202A && cp <= 0x202E) ||  // bidirectional embeddings and overrides
           (cp >= 0x2066 && cp <= 0x2069);    // bidirectional isolates
}

}  // namespace

std::string EscapeForTerminal(std::string_view text, bool keepNewlines) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c == '\n' && keepNewlines) {
                out += '\n';
            } else if (c == '\t') {
                out += "\\t";
            } else if (c == '\n') {
                out += "\\n";
            } else if (c == '\r') {
                out += "\\r";
            } else if (c < 0x20 || c == 0x7F) {
                appendHex(out, c);
            } else {
                out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        std::uint32_t cp = 0;
        const std::size_t length = decodeUtf8(text, i, cp);
        if (length == 0) {
            appendHex(out, c);
            ++i;
        } else if (isHiddenControl(cp)) {
            appendCodePoint(out, cp);
            i += length;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

}  // namespace quorvane
