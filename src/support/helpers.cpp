#include "support/helpers.h"

#include <cstdlib>
#include <cstring>

namespace quorvane {

std::string CapShortString(std::string_view text) {
    return std::string(text.substr(0, ShortStringMaxLength));
}

namespace {

// Only plain ASCII letters fold; accented letters of the 8-bit code page compare as they are.
char FoldAsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool CharactersMatch(char patternChar, char textChar, char singleWild, bool caseSensitive) {
    if (patternChar == singleWild) return true;
    if (caseSensitive) return patternChar == textChar;
    return FoldAsciiUpper(patternChar) == FoldAsciiUpper(textChar);
}

}  // namespace

bool MatchWildCard(std::string_view Text, std::string_view Pattern, char SingleWild, char MultiWild,
                   bool CaseSensitive) {
    std::size_t t = 0;
    for (std::size_t p = 0; p < Pattern.size(); ++p) {
        if (Pattern[p] == MultiWild) {
            const std::string_view rest = Pattern.substr(p + 1);
            if (rest.empty()) return true;
            // The empty remainder of the text is never tried, so "a**" needs a character after "a".
            for (std::size_t k = t; k < Text.size(); ++k) {
                if (MatchWildCard(Text.substr(k), rest, SingleWild, MultiWild, CaseSensitive)) return true;
            }
            return false;
        }
        if (t >= Text.size()) return false;
        if (!CharactersMatch(Pattern[p], Text[t], SingleWild, CaseSensitive)) return false;
        ++t;
    }
    return t == Text.size();
}

std::string Unicode2ASCII(const std::uint16_t* P, std::uint8_t Count) {
    std::string result;
    if (P == nullptr) return result;
    for (std::uint8_t i = 0; i < Count && P[i] != 0; ++i) {
        result.push_back(static_cast<char>(P[i] & 0xFF));
    }
    return result;
}

std::string Unicode2ASCII(const std::uint8_t* P, std::uint8_t Count) {
    std::string result;
    if (P == nullptr) return result;
    for (std::size_t i = 0; i < Count; ++i) {
        const std::uint8_t low = P[2 * i];
        const std::uint8_t high = P[2 * i + 1];
        if (low == 0 && high == 0) break;
        result.push_back(static_cast<char>(low));
    }
    return result;
}

bool IsDataEqual(const void* Data, std::string_view S) {
    if (S.empty()) return true;
    if (Data == nullptr) return false;
    return std::memcmp(Data, S.data(), S.size()) == 0;
}

bool IsWinNT() {
    const char* family = std::getenv("QUORVANE_FAMILY");
    if (family == nullptr) return true;
    const std::string_view value(family);
    return !(value.size() == 2 && value[0] == '9' && (value[1] == 'x' || value[1] == 'X'));
}

}  // namespace quorvane
