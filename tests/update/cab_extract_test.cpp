// Unpacking cabinets made with gcab.
#include "update/cab_extract.h"

#include "update/update_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace quorvane {
namespace {

using ::testing::ElementsAre;
using testing::ScratchFolder;

class CabExtractTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::HaveTool("gcab")) GTEST_SKIP() << "gcab is not installed";
        // A zone away from UTC shows whether stored local times are read as local times.
        oldTz_ = std::getenv("TZ") != nullptr ? std::getenv("TZ") : "";
        ::setenv("TZ", "EST5", 1);
        ::tzset();
        source = dir / "source";
        target = dir / "target/";
        testing::WriteText(source + "/top.txt", "top level file\n");
        testing::WriteText(source + "/docs/guide.txt", "a guide in a subfolder\n");
        testing::WriteText(source + "/docs/deep/more.txt", std::string(20'000, 'm'));
        const timespec when[2] = {{1074166200, 0}, {1074166200, 0}};  // 15 Jan 2004 11:30:00 UTC
        for (const char* f : {"/top.txt", "/docs/guide.txt", "/docs/deep/more.txt"})
            ::utimensat(AT_FDCWD, (source + f).c_str(), when, 0);
    }
    void TearDown() override {
        if (oldTz_.empty())
            ::unsetenv("TZ");
        else
            ::setenv("TZ", oldTz_.c_str(), 1);
        ::tzset();
    }

    std::string makeCab(const std::string& name) {
        const std::string cab = dir / name;
        // gcab writes the stored times in UTC: the stored fields are then 15 Jan 2004 11:30:00.
        const std::string cmd = "cd '" + source + "' && TZ=UTC gcab -c -z '" + cab + "' top.txt docs/guide.txt docs/deep/more.txt";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        return cab;
    }

    // Replaces the first occurrence of from (same length) in a file.
    static void patch(const std::string& path, const std::string& from, const std::string& to) {
        std::string bytes = testing::ReadText(path);
        const std::size_t at = bytes.find(from);
        ASSERT_NE(at, std::string::npos);
        bytes.replace(at, from.size(), to);
        testing::WriteText(path, bytes);
    }

    ScratchFolder dir;
    std::string source, target;

private:
    std::string oldTz_;
};

// Cabinets store the wall-clock time of the machine that made them, as FAT does: the stored
// 11:30:00 is 11:30 local time (EST5 here), that is 16:30 UTC.
TEST_F(CabExtractTest, UnpacksSubfoldersWithTheStoredDates) {
    const std::string cab = makeCab("pack.cab");
    testing::WriteText(target + "top.txt", "replaced by the cabinet");
    ASSERT_TRUE(CabExtract(cab, target));
    EXPECT_THAT(testing::FilesBelow(target), ElementsAre("docs/deep/more.txt", "docs/guide.txt", "top.txt"));
    for (const char* f : {"top.txt", "docs/guide.txt", "docs/deep/more.txt"}) {
        SCOPED_TRACE(f);
        EXPECT_EQ(testing::ReadText(target + f), testing::ReadText(source + "/" + f));
        struct stat st{};
        ASSERT_EQ(::stat((target + f).c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, 1074166200 + 5 * 3600);
    }
}

TEST_F(CabExtractTest, NamesThatLeaveTheFolderAreNotExtracted) {
    const std::string cab = makeCab("evil.cab");
    patch(cab, "docs\\guide.txt", "..\\.\\guide.txt");  // same length
    EXPECT_FALSE(CabExtract(cab, target)) << "not every file could be extracted";
    EXPECT_FALSE(testing::Exists(dir / "guide.txt"));
    EXPECT_THAT(testing::FilesBelow(target), ElementsAre("docs/deep/more.txt", "top.txt"));
}

TEST_F(CabExtractTest, DamagedDataLeavesExistingFilesAlone) {
    const std::string cab = makeCab("damaged.cab");
    std::string bytes = testing::ReadText(cab);
    bytes[bytes.size() - 20] = static_cast<char>(bytes[bytes.size() - 20] ^ 0x5A);  // inside the data
    testing::WriteText(cab, bytes);
    testing::WriteText(target + "docs/deep/more.txt", "the old more.txt");
    EXPECT_FALSE(CabExtract(cab, target));
    EXPECT_EQ(testing::ReadText(target + "docs/deep/more.txt"), "the old more.txt");
    for (const std::string& f : testing::FilesBelow(target)) EXPECT_EQ(f.find("WUPD"), std::string::npos) << f;
}

TEST_F(CabExtractTest, NotACabinet) {
    testing::WriteText(dir / "fake.cab", "MSCF but nothing else");
    EXPECT_FALSE(CabExtract(dir / "fake.cab", target));
    EXPECT_FALSE(CabExtract(dir / "missing.cab", target));
    EXPECT_FALSE(testing::Exists(target));
}

}  // namespace
}  // namespace quorvane
