// Paths of the control file, the folders it may name, and names that arrive with downloads.
#include "update/command_line.h"
#include "update/confined_path.h"
#include "update/downloaded_names.h"
#include "update/expand_path.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane {
namespace {

using ::testing::ElementsAre;

TEST(ExpandPath, ReplacesKnownPrefixesAndKeepsTheRest) {
    const TPathPrefixes prefixes{"/home/u/.config", "/opt/quorvane/", "/tmp/", "/"};
    struct Case {
        const char* path;
        const char* expanded;
    };
    const Case cases[] = {
        {"{APP}\\Quorvane.exe", "/opt/quorvane\\Quorvane.exe"},
        {"{app}\\data", "/opt/quorvane\\data"},
        {"{TMP}\\x.cab", "/tmp\\x.cab"},
        {"{WIN}\\quorvane.ini", "/home/u/.config\\quorvane.ini"},
        {"{PF}\\Quorvane", "/.\\Quorvane"},  // the root keeps a dot, as C:\ gives C:\.
        {"{SYS}\\x", "{SYS}\\x"},
        {"{APP}\\a;{TMP}\\b", "/opt/quorvane\\a;/tmp\\b"},
        {"no prefix", "no prefix"},
        {"{APP", "{APP"},
        {"http://host/{APP}", "http://host//opt/quorvane"},
    };
    for (const Case& c : cases) EXPECT_EQ(ExpandPath(c.path, prefixes), c.expanded) << c.path;
}

TEST(LocalPath, TurnsControlFilePathsIntoLocalOnes) {
    struct Case {
        const char* windows;
        const char* local;
    };
    const Case cases[] = {
        {"/opt/q\\sub\\file.txt", "/opt/q/sub/file.txt"},
        {"C:\\X", "/X"},
        {"c:\\x\\y", "/x/y"},
        {"C:", "/"},
        {"C:x", "/x"},
        {"D:\\X", ""},  // no other drive letter means anything here
        {"relative\\dir", "relative/dir"},
        {"/./a", "/./a"},
    };
    for (const Case& c : cases) EXPECT_EQ(LocalPath(c.windows), c.local) << c.windows;
}

TEST(SplitCommandLine, BlanksSeparateAndQuotesGroup) {
    EXPECT_THAT(SplitCommandLine("prog -a  -b"), ElementsAre("prog", "-a", "-b"));
    EXPECT_THAT(SplitCommandLine("\"/opt/my app/run\" -x \"two words\""),
                ElementsAre("/opt/my app/run", "-x", "two words"));
    EXPECT_THAT(SplitCommandLine("\"\" x"), ElementsAre("", "x"));
    EXPECT_THAT(SplitCommandLine("C:\\dir\\prog.exe"), ElementsAre("C:\\dir\\prog.exe"));
    EXPECT_TRUE(SplitCommandLine("   ").empty());
    const TPathPrefixes prefixes{"/win", "/opt/My App", "/tmp", "/pf"};
    EXPECT_EQ(LocalCommandLine("{x}\\run.exe /s \"a b\"", prefixes), "{x}/run.exe /s \"a b\"");
    // A folder with a blank put in for a prefix stays one argument.
    EXPECT_EQ(LocalCommandLine("{APP}\\quorvane --after-update", prefixes), "\"/opt/My App/quorvane\" --after-update");
}

TEST(URLtoFile, TakesTheLastPartOfTheAddressAsASafeName) {
    struct Case {
        const char* url;
        const char* name;
    };
    const Case cases[] = {
        {"https://host/updates/quorvane.inf", "quorvane.inf"},
        {"http://host/a\\b\\c.cab", "c.cab"},
        {"http://host/file.bin?x=../../etc/passwd", "file.bin"},
        {"http://host/file.bin#../x", "file.bin"},
        {"http://host/dir/", ""},
        {"http://host/..", ""},
        {"http://host/.", ""},
        {"http://host/a%2F..%2Fb", "a%2F..%2Fb"},  // not decoded, so no separator can appear
        {"http://host/bad\x01name\x7F.txt", "badname.txt"},
        {"plain.txt", "plain.txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(URLtoFile(c.url), c.name) << c.url;
}

TEST(SafeRelativePath, KeepsCabinetNamesInsideTheirFolder) {
    struct Case {
        const char* stored;
        const char* local;
    };
    const Case cases[] = {
        {"docs\\guide.txt", "docs/guide.txt"},
        {"a/b\\c", "a/b/c"},
        {"\\rooted\\file", "rooted/file"},
        {".\\x\\.\\y", "x/y"},
        {"..\\evil", ""},
        {"docs\\..\\..\\evil", ""},
        {"docs\\\x01\\x", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(SafeRelativePath(c.stored), c.local) << c.stored;
}

TEST(ExpandedLZName, RestoresTheKeptCharacterSafely) {
    struct Case {
        const char* compressed;
        char kept;
        const char* expanded;
    };
    const Case cases[] = {
        {"SETUP.EX_", 'E', "SETUP.EXE"},
        {"setup.ex_", 'E', "setup.exe"},  // the name's own case wins
        {"Setup.ex_", 'e', "Setup.exe"},
        {"readme.txt_", '\0', "readme.txt"},  // mscompress appends the '_' and keeps nothing
        {"upd.ex_", '/', "upd.ex"},
        {"upd.ex_", '\\', "upd.ex"},
        {"upd.ex_", '.', "upd.ex"},
        {"data.bin", 'X', "data.bin"},
        {"_", '\0', "_"},
        {".._", '\0', ".._"},
    };
    for (const Case& c : cases) EXPECT_EQ(ExpandedLZName(c.compressed, c.kept), c.expanded) << c.compressed;
}

TEST(PathBelow, ComparesWholeFolderNames) {
    struct Case {
        const char* path;
        std::optional<std::string> below;
    };
    const Case cases[] = {
        {"/opt/q", ""},
        {"/opt/q/", ""},
        {"/opt//q/./a/b", "a/b"},
        {"/opt/quorvane-evil/a", std::nullopt},  // a longer name is not the folder
        {"/opt", std::nullopt},
        {"/opt/q/a/../../q/a", std::nullopt},
        {"opt/q/a", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(PathBelow(c.path, "/opt/q/"), c.below) << c.path;
}

TEST(Windows1252ToUtf8, MapsTheHighHalf) {
    EXPECT_EQ(Windows1252ToUtf8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(Windows1252ToUtf8("\x80 5"), "\xE2\x82\xAC 5");
    EXPECT_EQ(Windows1252ToUtf8("\x81"), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace quorvane
