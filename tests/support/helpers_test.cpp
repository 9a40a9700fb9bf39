#include "support/helpers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace quorvane {
namespace {

struct WildCase {
    const char* name;
    std::string text;
    std::string pattern;
    bool caseSensitive;
    bool matches;
};

TEST(MatchWildCard, TableOfTextsAndPatterns) {
    const std::vector<WildCase> cases = {
        {"media pattern on a camera name", "dsc01.jpg", "*.jpg", false, true},
        {"media pattern on the bare extension", ".jpg", "*.jpg", false, true},
        {"text longer than the extension", "a.jpg2", "*.jpg", false, false},
        {"text shorter than the extension", "a.jp", "*.jpg", false, false},
        {"no dot before the extension", "jpg", "*.jpg", false, false},
        {"upper-case name folds", "DSC01.JPG", "*.jpg", false, true},
        {"lone star on a text", "anything", "*", false, true},
        {"lone star on the empty text", "", "*", false, true},
        {"empty pattern on the empty text", "", "", false, true},
        {"empty pattern on a text", "a", "", false, false},
        {"second star needs a character", "a", "a**", false, false},
        {"second star with a character", "ab", "a**", false, true},
        {"single wild on a letter", "abc", "a?c", false, true},
        {"star in the text is plain", "a*c", "a?c", false, true},
        {"single wild needs a character", "ac", "a?c", false, false},
        {"case-sensitive refuses other case", "a", "A", true, false},
        {"case-insensitive folds", "a", "A", false, true},
        {"accented letters are not folded", "\xE9", "\xC9", false, false},
        {"accented letters equal themselves", "\xE9", "\xE9", false, true},
        {"star in the middle", "img_0001.jpg", "img*.jpg", false, true},
        {"star in the middle, wrong tail", "img_0001.jpe", "img*.jpg", false, false},
        {"text runs out before the pattern", "ab", "abc", false, false},
        {"star before more pattern on exhausted text", "a", "a*b", false, false},
        {"backtracking over repeated tails", "x.jpg.jpg", "*.jpg", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MatchWildCard(c.text, c.pattern, '?', '*', c.caseSensitive), c.matches);
    }
}

TEST(MatchWildCard, OtherWildcardCharactersAreHonoured) {
    EXPECT_TRUE(MatchWildCard("abc", "a%", '_', '%', false));
    EXPECT_TRUE(MatchWildCard("abc", "a_c", '_', '%', false));
    // With other wildcards the usual ones are plain characters of the pattern.
    EXPECT_FALSE(MatchWildCard("abc", "a*", '_', '%', false));
    EXPECT_FALSE(MatchWildCard("abc", "a?c", '_', '%', false));
}

TEST(Unicode2ASCII, KeepsLowBytesAndStopsAtZeroOrCount) {
    const std::uint16_t abZero[] = {'A', 'B', 0, 'C', 0xFFFF};
    EXPECT_EQ(Unicode2ASCII(abZero, 13), "AB");
    const std::uint16_t polishL[] = {0x0141};
    EXPECT_EQ(Unicode2ASCII(polishL, 1), "A");
    const std::uint16_t noTerminator[] = {'X', 'Y', 'Z', 'W'};
    EXPECT_EQ(Unicode2ASCII(noTerminator, 3), "XYZ");
    EXPECT_EQ(Unicode2ASCII(noTerminator, 0), "");
    EXPECT_EQ(Unicode2ASCII(static_cast<const std::uint16_t*>(nullptr), 5), "");
}

TEST(Unicode2ASCII, ReadsLittleEndianBytesAsStoredOnDisk) {
    // Starts at an odd address on purpose: long-name characters sit at offset 1 of an entry.
    // Characters: 'A', 0x0141, 0x0100 (not a terminator: only its low byte is 0), 0x0000, 'Q'.
    const std::uint8_t bytes[] = {0xAA, 'A', 0x00, 0x41, 0x01, 0x00, 0x01, 0x00, 0x00, 'Q', 0x00};
    EXPECT_EQ(Unicode2ASCII(bytes + 1, 13), std::string("AA\0", 3));
    EXPECT_EQ(Unicode2ASCII(bytes + 1, 1), "A");
}

TEST(Unicode2ASCII, LongestResultIs255Characters) {
    const std::vector<std::uint16_t> many(300, 'x');
    EXPECT_EQ(Unicode2ASCII(many.data(), 255).size(), 255u);
}

TEST(IsDataEqual, ComparesBytesCaseSensitively) {
    const char data[] = "RIFF\0\0\0\0WAVE";
    EXPECT_TRUE(IsDataEqual(data, ""));
    EXPECT_TRUE(IsDataEqual(nullptr, ""));
    EXPECT_TRUE(IsDataEqual(data, "RIFF"));
    EXPECT_TRUE(IsDataEqual(data + 8, "WAVE"));
    EXPECT_FALSE(IsDataEqual(data, "riff"));
    EXPECT_FALSE(IsDataEqual(data, "RIFX"));
    EXPECT_TRUE(IsDataEqual(data, std::string_view("RIFF\0\0", 6)));
}

TEST(IsWinNT, NtUnlessThe9xFamilyIsAskedFor) {
    const char* saved = std::getenv("QUORVANE_FAMILY");
    const std::string savedValue = saved ? saved : "";

    unsetenv("QUORVANE_FAMILY");
    EXPECT_TRUE(IsWinNT());
    setenv("QUORVANE_FAMILY", "9x", 1);
    EXPECT_FALSE(IsWinNT());
    setenv("QUORVANE_FAMILY", "nt", 1);
    EXPECT_TRUE(IsWinNT());

    if (saved) setenv("QUORVANE_FAMILY", savedValue.c_str(), 1);
    else unsetenv("QUORVANE_FAMILY");
}

TEST(CapShortString, CutsAt255) {
    EXPECT_EQ(CapShortString(std::string(300, 'a')).size(), 255u);
    EXPECT_EQ(CapShortString("abc"), "abc");
}

}  // namespace
}  // namespace quorvane
