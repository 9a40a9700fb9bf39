// Deciding between "new version found" and "no new version": DoVersionCheck and its helpers,
// on control files given as text and local files made here.
#include "update/web_update.h"

#include "support/version_test_files.h"
#include "update/update_fixture.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>

namespace quorvane {
namespace {

using testing::ScratchFolder;

void setLocalTime(const std::string& path, int y, int m, int d, int h = 12, int mi = 0) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = m - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_isdst = -1;
    const std::time_t when = std::mktime(&t);
    const timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class DoVersionCheck : public ::testing::Test {
protected:
    void SetUp() override { update.Prefixes = {dir / "win", dir.Path(), dir / "tmp", dir / "pf"}; }

    int check(const std::string& updateSection) {
        update.ControlFile = TIniFile::FromText("[update]\n" + updateSection);
        return update.DoVersionCheck();
    }
    std::string local() const { return dir / "local.bin"; }
    void versionedLocal(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
        testing::WriteVersionedElf(local(), {testing::FixedVersion(a, b, c, d), {}, false});
    }

    ScratchFolder dir;
    TWebUpdate update;
};

TEST_F(DoVersionCheck, ByDateAndTime) {
    struct Case {
        const char* name;
        const char* control;
        std::function<void(const std::string&)> makeLocal;
        int result;
    };
    const auto dated = [](int y, int m, int d, int h, int mi) {
        return [=](const std::string& p) {
            testing::WriteText(p, "x");
            setLocalTime(p, y, m, d, h, mi);
        };
    };
    const auto none = [](const std::string&) {};
    const Case cases[] = {
        {"local file newer", "date=15/01/2004\nlocalversion={APP}\\local.bin\n", dated(2004, 1, 20, 12, 0), wuNoUpdate},
        {"local file older", "date=15/01/2004\nlocalversion={APP}\\local.bin\n", dated(2004, 1, 10, 12, 0), wuDateUpdate},
        {"no local file counts as 1980", "date=15/01/2004\nlocalversion={APP}\\local.bin\n", none, wuDateUpdate},
        {"same day, the time decides", "date=15/01/2004\ntime=11:30\nlocalversion={APP}\\local.bin\n",
         dated(2004, 1, 15, 10, 0), wuDateUpdate},
        {"a time that cannot be read adds nothing", "date=15/01/2004\ntime=25:99\nlocalversion={APP}\\local.bin\n",
         dated(2004, 1, 15, 10, 0), wuNoUpdate},
        {"a date that cannot be read is 1980", "date=32/01/2004\nlocalversion={APP}\\local.bin\n", none, wuNoUpdate},
        {"unconditional", "unconditional=yes\n", none, wuUnconditionalUpdate},
        {"a date update stays a date update", "date=15/01/2004\nunconditional=1\nlocalversion={APP}\\local.bin\n", none,
         wuDateUpdate},
        {"nothing to compare", "descr=whatever\n", none, wuNoUpdate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink(local().c_str());
        c.makeLocal(local());
        EXPECT_EQ(check(c.control), c.result);
    }
}

TEST_F(DoVersionCheck, DateTextsForTheVersionPage) {
    testing::WriteText(local(), "x");
    setLocalTime(local(), 2004, 1, 10, 9, 0);
    ASSERT_EQ(check("date=15/01/2004\ntime=08:15\nlocalversion={APP}\\local.bin\ndescr=Faster scans\n"), wuDateUpdate);
    EXPECT_EQ(update.NewDate, LocalDateTime(2004, 1, 15, 8, 15));
    EXPECT_EQ(update.LastDate, LocalDateTime(2004, 1, 10, 9, 0));
    EXPECT_EQ(update.Description, "Faster scans");
}

TEST_F(DoVersionCheck, ByVersionNumber) {
    struct Case {
        const char* name;
        const char* newVersion;
        std::uint32_t local[4];  // {0,0,0,0}: the local file has no version resource
        int result;
        const char* currentText;
    };
    const Case cases[] = {
        {"newer, comma separated", "2,5,0,0", {2, 4, 0, 0}, wuVersionUpdate, "2.4.0.0"},
        {"newer in the last field", "2.4.0.10", {2, 4, 0, 9}, wuVersionUpdate, "2.4.0.9"},
        {"newer in the second field beats a larger third", "2.5.0.0", {2, 4, 9, 9}, wuVersionUpdate, "2.4.9.9"},
        {"same version", "2.4.0.0", {2, 4, 0, 0}, wuNoUpdate, "2.4.0.0"},
        {"local is newer", "2.4.0.0", {3, 0, 0, 0}, wuNoUpdate, "3.0.0.0"},
        {"two numbers are not a version", "2.5", {1, 0, 0, 0}, wuNoUpdate, ""},
        {"a field above 65535 is not a version", "1.70000.0.0", {1, 0, 0, 0}, wuNoUpdate, ""},
        {"local file without a version resource", "2.5.0.0", {0, 0, 0, 0}, wuNoUpdate, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        update.CurrentVersionText.clear();
        if (c.local[0] == 0)
            testing::WriteText(local(), "no resource");
        else
            versionedLocal(c.local[0], c.local[1], c.local[2], c.local[3]);
        EXPECT_EQ(check(std::string("newversion=") + c.newVersion + "\nlocalversion={APP}\\local.bin\n"), c.result);
        EXPECT_EQ(update.CurrentVersionText, c.currentText);
    }
    versionedLocal(2, 4, 0, 0);
    ASSERT_EQ(check("newversion=2,5,0,1\nlocalversion={APP}\\local.bin\n"), wuVersionUpdate);
    EXPECT_EQ(update.NewVersionText, "2.5.0.1");
    EXPECT_EQ(check("newversion=9.9.9.9\n"), wuNoUpdate) << "no local file named";
}

TEST_F(DoVersionCheck, BySizeAndChecksum) {
    testing::WriteText(local(), std::string("\x01\x02\xFF", 3));  // byte sum 258, checksum 257
    struct Case {
        const char* name;
        const char* control;
        int result;
    };
    const Case cases[] = {
        {"same checksum", "newversion=9.0.0.0\nnewchecksum=257\n", wuNoUpdate},
        {"other checksum", "newversion=9.0.0.0\nnewchecksum=1000\n", wuChecksumUpdate},
        {"the checksum decides over size and version", "newversion=9.0.0.0\nnewsize=99\nnewchecksum=257\n", wuNoUpdate},
        {"same size", "newversion=9.0.0.0\nnewsize=3\n", wuNoUpdate},
        {"other size", "newversion=9.0.0.0\nnewsize=4\n", wuSizeUpdate},
        {"without newversion size and checksum are not looked at", "newsize=4\nnewchecksum=1000\n", wuNoUpdate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(check(std::string(c.control) + "localversion={APP}\\local.bin\n"), c.result);
    }
    ::unlink(local().c_str());
    EXPECT_EQ(check("newversion=9.0.0.0\nnewsize=4\nlocalversion={APP}\\local.bin\n"), wuNoUpdate)
        << "a missing local file has no size to differ";
}

TEST(FileCheckSum, SumsEveryBlockOfTheFile) {
    ScratchFolder dir;
    testing::WriteText(dir / "big", std::string(5000, '\x01'));  // more than one 4,096-byte block
    testing::WriteText(dir / "empty", "");
    EXPECT_EQ(FileCheckSum(dir / "big"), 4999);
    EXPECT_EQ(FileCheckSum(dir / "empty"), -1);
    EXPECT_EQ(FileCheckSum(dir / "missing"), -1);
}

}  // namespace
}  // namespace quorvane
