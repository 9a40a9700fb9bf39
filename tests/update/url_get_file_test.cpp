// One download against a real HTTP server on 127.0.0.1: status codes, empty bodies, progress,
// cancel, untrusted names and LZ expansion.
#include "update/update_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <sys/stat.h>
#include <thread>

namespace quorvane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class URLGetFile : public testing::UpdateTest {
protected:
    void SetUp() override {
        UpdateTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_EQ(update.StartConnection(), wuOk);
        target = dir / "target";
        std::filesystem::create_directories(target);
    }
    std::string target;
};

TEST_F(URLGetFile, FailedDownloadsLeaveTheTargetFolderAsItWas) {
    testing::WriteText(target + "/kept.txt", "old content");
    Serve("empty.txt", "");
    struct Case {
        const char* name;
        std::string url;
    };
    const Case cases[] = {
        {"no server on the port", "https://127.0.0.1:" + std::to_string(testing::UnusedLoopbackPort()) + "/kept.txt"},
        {"404", URL("kept.txt")},
        {"no file name in the address", URL("")},
        {"dot-dot as the file name", URL("..")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(update.URLGetFile(c.url, false, target + "/"));
        EXPECT_THAT(testing::FilesBelow(target), ElementsAre("kept.txt"));
        EXPECT_EQ(testing::ReadText(target + "/kept.txt"), "old content");
        EXPECT_FALSE(update.Cancelled);
    }
    EXPECT_THAT(testing::FilesBelow(dir.Path()), ::testing::Not(::testing::Contains(::testing::HasSubstr("WUPD"))));
}

TEST_F(URLGetFile, AnEmptyBodyFailsAndEmptiesNoExistingFile) {
    Serve("empty.txt", "");
    EXPECT_FALSE(update.URLGetFile(URL("empty.txt"), false, target));
    ASSERT_TRUE(testing::Exists(target + "/empty.txt")) << "a new empty target is left behind";
    EXPECT_EQ(testing::ReadText(target + "/empty.txt"), "");

    testing::WriteText(target + "/empty.txt", "still here");
    EXPECT_FALSE(update.URLGetFile(URL("empty.txt"), false, target));
    EXPECT_EQ(testing::ReadText(target + "/empty.txt"), "still here");
    EXPECT_THAT(testing::FilesBelow(target), ElementsAre("empty.txt"));
}

TEST_F(URLGetFile, ReplacesTheTargetAndReportsProgressBlockByBlock) {
    std::string content(10'000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    Serve("data.bin", content);
    testing::WriteText(target + "/data.bin", "older");
    ::chmod((target + "/data.bin").c_str(), 0751);

    struct Report {
        std::string file;
        std::int64_t size;
        std::int64_t position;
    };
    std::vector<Report> reports;
    int cancelQuestions = 0;
    update.OnFileProgress = [&](const std::string& f, std::int64_t s, std::int64_t p) { reports.push_back({f, s, p}); };
    update.OnProgressCancel = [&] { return ++cancelQuestions, false; };
    std::this_thread::sleep_for(std::chrono::milliseconds(25));  // past the pump throttle

    ASSERT_TRUE(update.URLGetFile(URL("data.bin?nocache=1"), false, target));
    EXPECT_EQ(testing::ReadText(target + "/data.bin"), content);
    struct stat st{};
    ::stat((target + "/data.bin").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0751u) << "a replaced file keeps its permissions";

    ASSERT_GE(reports.size(), 3u) << "10,000 bytes come in blocks of at most 4,096";
    std::int64_t last = 0;
    for (const Report& r : reports) {
        EXPECT_EQ(r.file, target + "/data.bin");
        EXPECT_EQ(r.size, 10'000);
        EXPECT_GT(r.position, last);
        EXPECT_LE(r.position - last, 4096);
        last = r.position;
    }
    EXPECT_EQ(last, 10'000);
    EXPECT_GE(cancelQuestions, static_cast<int>(reports.size()));
    EXPECT_GE(ui.pumped, 1);
    EXPECT_THAT(testing::FilesBelow(target), ElementsAre("data.bin"));
}

TEST_F(URLGetFile, CancelInTheMiddleKeepsTheOldFile) {
    Serve("big.bin", std::string(256 * 1024, 'n'));
    testing::WriteText(target + "/big.bin", "the old file");
    int blocks = 0;
    update.OnFileProgress = [&](const std::string&, std::int64_t, std::int64_t) { ++blocks; };
    update.OnProgressCancel = [&] { return blocks >= 2; };

    EXPECT_FALSE(update.URLGetFile(URL("big.bin"), false, target));
    EXPECT_TRUE(update.Cancelled);
    EXPECT_EQ(blocks, 2);
    EXPECT_EQ(testing::ReadText(target + "/big.bin"), "the old file");
    EXPECT_THAT(testing::FilesBelow(target), ElementsAre("big.bin")) << "the partial WUPD file is gone";
}

TEST_F(URLGetFile, ExpandsAnSzddFileUnderTheNameInItsHeader) {
    if (!testing::HaveTool("mscompress")) GTEST_SKIP() << "mscompress is not installed";
    const std::string text = "Quorvane update notes\n" + std::string(3000, 'a') + "\nend\n";
    Serve("notes.txt", text);
    ASSERT_EQ(std::system(("mscompress '" + www + "/notes.txt'").c_str()), 0);  // makes notes.txt_
    testing::WriteText(target + "/notes.txt", "previous notes");

    ASSERT_TRUE(update.URLGetFile(URL("notes.txt_"), true, target));
    EXPECT_EQ(testing::ReadText(target + "/notes.txt"), text);
    EXPECT_THAT(testing::FilesBelow(target), ElementsAre("notes.txt")) << "the compressed file is deleted";

    // Without the compressed flag the file stays as it came.
    ASSERT_TRUE(update.URLGetFile(URL("notes.txt_"), false, target));
    EXPECT_THAT(testing::FilesBelow(target), ElementsAre("notes.txt", "notes.txt_"));
}

TEST_F(URLGetFile, CompressedFlagOnPlainFilesAndCabinets) {
    Serve("plain.dat", "not compressed at all");
    Serve("pack.cab", "MSCF and so on");
    ASSERT_TRUE(update.URLGetFile(URL("plain.dat"), true, target));
    ASSERT_TRUE(update.URLGetFile(URL("pack.cab"), true, target));
    EXPECT_THAT(testing::FilesBelow(target), ElementsAre("pack.cab", "plain.dat"));
    EXPECT_EQ(testing::ReadText(target + "/plain.dat"), "not compressed at all");
}

TEST_F(URLGetFile, ADamagedSzddFileReplacesNothing) {
    const std::string damaged("SZDD\x88\xF0\x27\x33" "A" "E" "\xFF\xFF\x00\x00", 14);  // header, no data
    // Served as tool.ex_ it would expand to tool.exe; served as tool, its own name is the target's.
    for (const std::string name : {"tool.ex_", "tool"}) {
        Serve(name, damaged);
        testing::WriteText(target + "/tool.exe", "working tool");
        testing::WriteText(target + "/tool", "working tool");
        EXPECT_FALSE(update.URLGetFile(URL(name), true, target)) << name;
        EXPECT_EQ(testing::ReadText(target + "/tool.exe"), "working tool") << name;
        EXPECT_EQ(testing::ReadText(target + "/tool"), "working tool") << name;
    }
}

TEST_F(URLGetFile, TextFilesAreReadAsLinesUpToOneMegabyte) {
    Serve("whatsnew.txt", "Faster scans\r\n\r\nFewer clicks\n");
    EXPECT_THAT(update.GetTextFile(URL("whatsnew.txt")), ElementsAre("Faster scans", "", "Fewer clicks"));
    // A text without a single line break is still read no further than the limit.
    Serve("endless.txt", std::string(3 * 1024 * 1024, 'x'));
    const auto lines = update.GetTextFile(URL("endless.txt"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 1024u * 1024u);
}

TEST_F(URLGetFile, NeedsAnOpenConnection) {
    Serve("a.txt", "a");
    update.StopConnection();
    EXPECT_FALSE(update.URLGetFile(URL("a.txt"), false, target));
    EXPECT_THAT(server->RequestedPaths(), IsEmpty());
}

}  // namespace
}  // namespace quorvane
