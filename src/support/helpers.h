#pragma once
// Small stateless routines shared by the FAT engine, the file search and the signature test:
// wildcard matching of file names, the 8-bit rendering of UTF-16 long-name characters, a byte
// compare against a text, and the choice of the Windows family whose disk paths are used.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

// Texts that the FAT records carry as length-prefixed strings hold at most this many bytes.
inline constexpr std::size_t ShortStringMaxLength = 255;

// Cuts text to the length a length-prefixed string can hold.
std::string CapShortString(std::string_view text);

// True when Text matches Pattern. SingleWild in Pattern stands for exactly one character,
// MultiWild for any run of characters; a MultiWild that is not the last pattern character needs at
// least one more text character. Without CaseSensitive only the letters a-z and A-Z are folded.
// The wildcard characters are plain characters in Text.
bool MatchWildCard(std::string_view Text, std::string_view Pattern, char SingleWild, char MultiWild,
                   bool CaseSensitive);

// Keeps the low byte of each 16-bit character at P and stops at the first character 0 or after
// Count characters. P holds characters in host order; a null P gives the empty text.
std::string Unicode2ASCII(const std::uint16_t* P, std::uint8_t Count);
// The same for characters stored little-endian as on disk (two bytes each, any alignment).
std::string Unicode2ASCII(const std::uint8_t* P, std::uint8_t Count);

// True when S is empty or the first S.size() bytes at Data equal S, byte by byte, case-sensitive.
// The caller guarantees that S.size() bytes are readable at Data.
bool IsDataEqual(const void* Data, std::string_view S);

// True when the NT family's disk paths are selected: always, unless the environment variable
// QUORVANE_FAMILY is "9x".
bool IsWinNT();

}  // namespace quorvane
