// Host file names from untrusted names on the medium.
#include "fat/fat_file_names.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(FatFileNames, NamesFromTheMediumBecomeSafeUtf8) {
    struct Case {
        const char* name;
        std::string medium;
        std::string host;
    } cases[] = {
        {"plain name unchanged", "IMG_0001.JPG", "IMG_0001.JPG"},
        {"Latin-1 letters", "Caf\xE9 \xFC.jpg", "Caf\xC3\xA9 \xC3\xBC.jpg"},
        {"Windows-1252 punctuation", "\x80 \x93x\x94", "\xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D"},
        {"separators replaced", "../..\\etc/passwd", ".._.._etc_passwd"},
        {"control bytes and holes of the code page dropped", "a\x01\x1F\x7F\x81" "b", "ab"},
        {"dot", ".", "_."},
        {"dot dot", "..", "_.."},
        {"nothing left", "\x01\x02", "_"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MediumNameToFileName(c.medium), c.host);
    }
}

}  // namespace
}  // namespace quorvane
