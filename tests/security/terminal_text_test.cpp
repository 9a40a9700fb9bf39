// Text from a card reaches the terminal with its control characters written out, so a volume
// label or a file name cannot send escape sequences to the user's terminal.
#include "platform/image_fixtures.h"
#include "support/terminal_text.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>

namespace quorvane {
namespace {

using testing::TempDir;

TEST(TerminalText, ControlCharactersAreWrittenOut) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"IMG_0001.JPG", "IMG_0001.JPG"},
        {"Fotos \xc3\xa9t\xc3\xa9 \xe2\x82\xac", "Fotos \xc3\xa9t\xc3\xa9 \xe2\x82\xac"},  // plain UTF-8 stays
        {"\x1b]0;owned\x07", "\\x1b]0;owned\\x07"},                                     // retitles the window
        {"a\tb\nc\rd\x7f", "a\\tb\\nc\\rd\\x7f"},
        {"csi \xc2\x9b" "2J", "csi \\u009b2J"},                    // the C1 CSI, as UTF-8
        {"raw \x9b" "2J \xff", "raw \\x9b2J \\xff"},               // bytes that are no UTF-8
        {"gpj.\xe2\x80\xae" "exe", "gpj.\\u202eexe"},             // a right-to-left override
        {"overlong \xc0\xaf", "overlong \\xc0\\xaf"},
        {"cut \xe2\x82", "cut \\xe2\\x82"},
        {"back\\slash", "back\\slash"},
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeForTerminal(c.in), c.out) << c.in;
    EXPECT_EQ(EscapeForTerminal("line one\nline two\x1b[2J", true), "line one\nline two\\x1b[2J");
}

// A FAT image whose volume label (in the boot sector and the root folder) holds escape sequences.
TEST(TerminalText, TheCommandLineShowsAHostileLabelEscaped) {
    TempDir dir;
    const std::string image = dir.file("evil.img");
    ASSERT_EQ(testing::RunTool("mkfs.fat -C -n EVILLABEL01 '" + image + "' 1440"), 0);
    auto bytes = testing::ReadFileBytes(image);
    const std::string placeholder = "EVILLABEL01", hostile = "\x1b]0;PWN\x07" "ABC";
    int replaced = 0;
    for (std::size_t i = 0; i + placeholder.size() <= bytes.size(); ++i) {
        if (std::equal(placeholder.begin(), placeholder.end(), bytes.begin() + static_cast<std::ptrdiff_t>(i))) {
            std::copy(hostile.begin(), hostile.end(), bytes.begin() + static_cast<std::ptrdiff_t>(i));
            ++replaced;
        }
    }
    ASSERT_GE(replaced, 1);
    testing::WriteFileBytes(image, bytes);

    for (const char* command : {"info", "list"}) {
        SCOPED_TRACE(command);
        const std::string line =
            std::string("'" QUORVANE_BINARY_DIR "/quorvane-cli' ") + command + " '" + image + "' 2>&1";
        FILE* p = ::popen(line.c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string output;
        std::array<char, 4096> chunk{};
        while (const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), p)) output.append(chunk.data(), n);
        ::pclose(p);
        EXPECT_EQ(output.find('\x1b'), std::string::npos) << output;
        EXPECT_EQ(output.find('\x07'), std::string::npos) << output;
        if (std::string(command) == "info") {
            EXPECT_NE(output.find("\\x1b]0;PWN\\x07ABC"), std::string::npos) << output;
        }
    }
}

}  // namespace
}  // namespace quorvane
