#include "support/ini_file.h"
#include "app/update_url.h"

#include "support/version_test_files.h"
#include "update/update_fixture.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(TIniFile, ReadsLikeTheProfileFunctions) {
    const TIniFile ini = TIniFile::FromText(
        "\xEF\xBB\xBF"
        "orphan=ignored\r\n"
        "; a comment\r\n"
        "[Update]\r\n"
        "  Date = 15/01/2004  \r\n"
        "descr=\"  quoted  \"\r\n"
        "half=\"open\r\n"
        "date=second wins never\r\n"
        "empty=\r\n"
        "[files]\n"
        "count=0x10\n"
        "hex=$ff\n"
        "neg=-1\n"
        "bad=12abc\n"
        "[update]\n"
        "late=in a repeated section\n");
    EXPECT_TRUE(ini.SectionExists("UPDATE"));
    EXPECT_FALSE(ini.SectionExists("action"));
    EXPECT_EQ(ini.ReadString("update", "date", "?"), "15/01/2004");
    EXPECT_EQ(ini.ReadString("update", "descr", "?"), "  quoted  ");
    EXPECT_EQ(ini.ReadString("update", "half", "?"), "\"open");
    EXPECT_EQ(ini.ReadString("update", "empty", "?"), "");
    EXPECT_TRUE(ini.ValueExists("update", "empty"));
    EXPECT_EQ(ini.ReadString("update", "late", "?"), "in a repeated section");
    EXPECT_EQ(ini.ReadString("update", "orphan", "?"), "?");
    EXPECT_EQ(ini.ReadString("update", "missing", "?"), "?");
    EXPECT_EQ(ini.ReadInteger("files", "count", 0), 16);
    EXPECT_EQ(ini.ReadInteger("files", "hex", 0), 255);
    EXPECT_EQ(ini.ReadInteger("files", "neg", 0), -1);
    EXPECT_EQ(ini.ReadInteger("files", "bad", 7), 7);
    EXPECT_EQ(ini.ReadInteger("files", "missing", -1), -1);
}

TEST(ReadUpdateURL, TakesTheIniFileElseTheBuiltInSecureAddress) {
    testing::ScratchFolder dir;
    EXPECT_EQ(ReadUpdateURL(dir.Path()), DefaultUpdateURL()) << "no Quorvane.ini";
    EXPECT_EQ(DefaultUpdateURL().rfind("https://", 0), 0u) << DefaultUpdateURL();

    testing::WriteText(dir / "Quorvane.ini", "[LiveUpdate]\nURL=\n");
    EXPECT_EQ(ReadUpdateURL(dir.Path()), DefaultUpdateURL()) << "empty key";

    testing::WriteText(dir / "Quorvane.ini", "[liveupdate]\nurl=http://127.0.0.1:8000/quorvane.inf\n");
    EXPECT_EQ(ReadUpdateURL(dir.Path() + "/"), "http://127.0.0.1:8000/quorvane.inf");
}

}  // namespace
}  // namespace quorvane
