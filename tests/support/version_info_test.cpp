#include "support/zarq_versioninfo.h"

#include "quorvane_build_info.h"
#include "support/version_block_builder.h"
#include "support/version_test_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quorvane {
namespace {

using ::testing::ElementsAre;
using testing::ScratchFolder;

// Every key the reader asks for, in an order different from the reader's own.
constexpr VersionString allStrings[] = {
    {"Author", "A. Author"},          {"SpecialBuild", "special"},    {"ProductVersion", "2.1 beta"},
    {"ProductName", "Widget"},        {"PrivateBuild", "private"},    {"OriginalFileName", "widget.exe"},
    {"LegalTradeMarks", "Widget(tm)"}, {"LegalCopyright", "(c) Acme"}, {"InternalName", "widget"},
    {"FileDescription", "A widget"},  {"CompanyName", "Acme"},        {"Comments", "none"},
    {"FileVersion", "1.0"},
};

TEST(TZarq_VersionInfo, ListsTheFixedInformationThenTheStringsInReadingOrder) {
    ScratchFolder dir;
    const VersionStringTable tables[] = {{0x0409, 0x04E4, allStrings}};
    VsFixedFileInfo fixed = testing::FixedVersion(2, 1, 0, 5);
    fixed.dwFileOS = 0x4;
    fixed.dwFileType = 2;
    testing::WriteVersionedElf(dir / "widget", {fixed, tables, true});

    TZarq_VersionInfo info;
    info.OpenVersionFile(dir / "widget");
    EXPECT_EQ(info.FileName, dir / "widget");
    EXPECT_THAT(info.Values, ElementsAre("ProductVersion=2.1.0.5", "OperatingSystem=32-bit Windows",
                                         "FileType=Dynamic-Link Library", "Comments=none", "Company Name=Acme",
                                         "Internal Name=widget", "Legal Trademarks=Widget(tm)",
                                         "Original Filename=widget.exe", "Private Build=private",
                                         "Product Name=Widget", "Product Version=2.1 beta",
                                         "Special Build=special", "Author=A. Author"));
    EXPECT_EQ(info.LegalNotice, "(c) Acme");
    EXPECT_EQ(info.Value("product version"), "2.1 beta");
    EXPECT_EQ(info.Value("Product"), "");
}

TEST(TZarq_VersionInfo, TargetSystemAndFileTypeTexts) {
    struct Case {
        std::uint32_t os;
        std::uint32_t type;
        const char* osText;
        const char* typeText;
    };
    const Case cases[] = {
        {0x40004, 1, "Windows NT with 32 bit Windows", "Application"},
        {0x50000, 7, "Unknown", "Static-Link Library"},
        {0x10001, 6, "Windows 3.xx with MS-DOS", "Unknown"},
        {0x30003, 0, "32-bit OS/2 with Presentation Manager", "Unknown"},
        {0, 5, "Unknown", "Virtual Device Driver"},
    };
    ScratchFolder dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.osText);
        VsFixedFileInfo fixed = testing::FixedVersion(1, 0, 0, 0);
        fixed.dwFileOS = c.os;
        fixed.dwFileType = c.type;
        testing::WriteVersionedElf(dir / "f", {fixed, {}, false});
        TZarq_VersionInfo info;
        info.OpenVersionFile(dir / "f");
        EXPECT_THAT(info.Values, ElementsAre("ProductVersion=1.0.0.0", std::string("OperatingSystem=") + c.osText,
                                             std::string("FileType=") + c.typeText));
    }
}

TEST(TZarq_VersionInfo, StringsUnderAnotherLanguageOrCodePageAreNotFound) {
    ScratchFolder dir;
    const VersionStringTable german[] = {{0x0407, 0x04E4, allStrings}};
    const VersionStringTable unicode[] = {{0x0409, 0x04B0, allStrings}};
    for (const auto& tables : {std::span<const VersionStringTable>(german), std::span<const VersionStringTable>(unicode)}) {
        testing::WriteVersionedElf(dir / "f", {testing::FixedVersion(3, 0, 0, 0), tables, true});
        TZarq_VersionInfo info;
        info.OpenVersionFile(dir / "f");
        EXPECT_EQ(info.Values.size(), 3u);
        EXPECT_EQ(info.LegalNotice, "");
    }
}

TEST(TZarq_VersionInfo, NothingWithoutResourceOrFixedInformation) {
    ScratchFolder dir;
    const VersionStringTable tables[] = {{0x0409, 0x04E4, allStrings}};
    testing::WriteVersionedElf(dir / "nofixed", {std::nullopt, tables, true});
    testing::WriteBytes(dir / "plain", {'n', 'o', 'n', 'e'});
    for (const std::string name : {"nofixed", "plain", "missing"}) {
        SCOPED_TRACE(name);
        TZarq_VersionInfo info;
        info.OpenVersionFile(dir / name);
        EXPECT_TRUE(info.Values.empty());
        EXPECT_EQ(info.LegalNotice, "");
        EXPECT_EQ(info.Value("Product Version"), "");
    }
    TZarq_VersionInfo unnamed;
    unnamed.OpenVersionFile("");
    EXPECT_TRUE(unnamed.Values.empty());
}

TEST(TZarq_VersionInfo, ASecondFileAppendsAndTheFirstValueStillWins) {
    ScratchFolder dir;
    constexpr VersionString first[] = {{"CompanyName", "First"}, {"LegalCopyright", "(c) First"}};
    constexpr VersionString second[] = {{"CompanyName", "Second"}, {"LegalCopyright", "(c) Second"}};
    const VersionStringTable firstTables[] = {{0x0409, 0x04E4, first}};
    const VersionStringTable secondTables[] = {{0x0409, 0x04E4, second}};
    testing::WriteVersionedElf(dir / "a", {testing::FixedVersion(1, 0, 0, 0), firstTables, true});
    testing::WriteVersionedElf(dir / "b", {testing::FixedVersion(2, 0, 0, 0), secondTables, true});

    TZarq_VersionInfo info;
    info.OpenVersionFile(dir / "a");
    info.OpenVersionFile(dir / "b");
    EXPECT_EQ(info.Values.size(), 8u);
    EXPECT_EQ(info.Value("Company Name"), "First");
    EXPECT_EQ(info.Value("ProductVersion"), "1.0.0.0");
    EXPECT_EQ(info.Values.back(), "Company Name=Second");
    EXPECT_EQ(info.LegalNotice, "(c) Second") << "the legal notice is a single field";
    EXPECT_EQ(info.FileName, dir / "b");
}

// The About box and `quorvane-cli version` read the running program's own file.
TEST(TZarq_VersionInfo, OurProgramsCarryTheProjectVersion) {
    std::vector<std::string> programs = {OwnExecutablePath()};
    const std::string updater = std::string(QUORVANE_BINARY_DIR) + "/quorvane-updater";
    if (std::filesystem::exists(updater)) programs.push_back(updater);
    for (const std::string& program : programs) {
        SCOPED_TRACE(program);
        TZarq_VersionInfo info;
        info.OpenVersionFile(program);
        EXPECT_EQ(info.Value("Product Version"), QUORVANE_VERSION_TEXT);
        EXPECT_EQ(info.Value("Product Name"), "Quorvane");
        EXPECT_EQ(info.Value("FileType"), "Application");
        EXPECT_EQ(info.LegalNotice, QUORVANE_LEGAL_COPYRIGHT);
        const std::string numbers = std::to_string(QUORVANE_VERSION_MAJOR) + "." +
                                    std::to_string(QUORVANE_VERSION_MINOR) + "." +
                                    std::to_string(QUORVANE_VERSION_PATCH) + "." + std::to_string(QUORVANE_VERSION_TWEAK);
        EXPECT_EQ(info.Value("ProductVersion"), numbers);
    }
}

}  // namespace
}  // namespace quorvane
