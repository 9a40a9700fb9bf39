#include "app/file_naming.h"
#include "app/frm_main.h"
#include "app/frm_preview.h"
#include "app/ui.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

class RecordingUI : public UserInterface {
public:
    MsgResult MessageBox(const std::string& text, const std::string&, MsgIcon, MsgButtons, MsgResult d) override {
        messages.push_back(text);
        return d;
    }
    std::vector<std::string> messages;
};

class StagedList : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("quorvane-test-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "work");
        fs::create_directories(root / "dest");
        SetUI(&ui);
    }
    void TearDown() override {
        SetUI(nullptr);
        fs::remove_all(root);
    }
    std::string stage(const std::string& name, const std::string& content) {
        const auto path = (root / "work" / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    static std::string contentOf(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path root;
    RecordingUI ui;
};

TEST_F(StagedList, SavesSelectedFilesAsPrefixAndStagedIndexAndDeletesTheStagedFiles) {
    TFrmMain main;
    main.EditDestPath.SetText((root / "dest").string());  // no trailing slash: still into the folder
    main.EditFilenamePrefix.SetText("holiday");
    std::vector<std::string> staged;
    {
        TFrmPreview preview(main);
        for (int i = 0; i < 4; ++i) staged.push_back(stage("image" + std::to_string(i + 1) + (i == 2 ? ".PNG" : ".JPG"), "file" + std::to_string(i)));
        for (const auto& s : staged) preview.AddFile(s);
        preview.SetSelected(0, false);
        EXPECT_EQ(preview.ScrollBarPreview.Max(), 0);
        ASSERT_TRUE(preview.SaveSelected());
        EXPECT_TRUE(ui.messages.empty());
    }
    EXPECT_FALSE(fs::exists(root / "dest" / "holiday0.JPG"));  // unticked: its number is skipped
    EXPECT_EQ(contentOf(root / "dest" / "holiday1.JPG"), "file1");
    EXPECT_EQ(contentOf(root / "dest" / "holiday2.PNG"), "file2");
    EXPECT_EQ(contentOf(root / "dest" / "holiday3.JPG"), "file3");
    for (const auto& s : staged) EXPECT_FALSE(fs::exists(s)) << s;  // the preview cleans up after itself
}

TEST_F(StagedList, ATakenNameShiftsThisAndEveryLaterFileAndIsNeverReplaced) {
    std::ofstream(root / "dest" / "image0.JPG") << "the user's own photo";
    TFrmMain main;
    main.EditDestPath.SetText((root / "dest").string() + "/");
    TFrmPreview preview(main);
    preview.AddFile(stage("a.JPG", "a"));
    preview.AddFile(stage("b.JPG", "b"));
    ASSERT_TRUE(preview.SaveSelected());
    EXPECT_EQ(contentOf(root / "dest" / "image0.JPG"), "the user's own photo");
    EXPECT_EQ(contentOf(root / "dest" / "image1.JPG"), "a");
    EXPECT_EQ(contentOf(root / "dest" / "image2.JPG"), "b");
}

TEST_F(StagedList, AFailedCopyIsReportedAndItsStagedFileKept) {
    // Destinations that cannot take the files: a file in the folder's place, and no folder at
    // all (an empty field must not mean the root folder).
    std::ofstream(root / "a-file") << "x";
    for (const std::string& dest : {(root / "a-file").string(), std::string()}) {
        ui.messages.clear();
        TFrmMain main;
        main.EditDestPath.SetText(dest);
        std::string kept;
        {
            TFrmPreview preview(main);
            kept = stage("a.JPG", "a");
            preview.AddFile(kept);
            EXPECT_FALSE(preview.SaveSelected());
            ASSERT_EQ(ui.messages.size(), 1u);
            EXPECT_NE(ui.messages[0].find(kept), std::string::npos) << ui.messages[0];  // says where the file is
            EXPECT_FALSE(preview.Staged()[0].SaveError.empty());
        }
        EXPECT_TRUE(fs::exists(kept)) << dest;
    }
    EXPECT_FALSE(fs::exists("/image0.JPG"));
}

TEST_F(StagedList, AMissingDestinationFolderIsMade) {
    TFrmMain main;
    main.EditDestPath.SetText((root / "new" / "folder").string());
    TFrmPreview preview(main);
    preview.AddFile(stage("a.JPG", "a"));
    ASSERT_TRUE(preview.SaveSelected());
    EXPECT_EQ(contentOf(root / "new" / "folder" / "image0.JPG"), "a");
}

TEST_F(StagedList, ScrollBarHasOneStepPerRowOfFive) {
    TFrmMain main;
    TFrmPreview preview(main);
    const int expected[] = {0, 0, 0, 0, 1, 1, 1, 1, 1, 2};  // after 1..10 files
    for (int i = 0; i < 10; ++i) {
        preview.AddFile((root / "work" / ("x" + std::to_string(i))).string());
        EXPECT_EQ(preview.ScrollBarPreview.Max(), expected[i]) << i + 1 << " files";
    }
    preview.ButtonSelectNoneClick();
    for (const auto& f : preview.Staged()) EXPECT_FALSE(f.Selected);
}

TEST(RunNames, StepPastTakenNamesAndKeepTheOffsetForLaterFiles) {
    const auto dir = fs::temp_directory_path() / ("quorvane-names-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "image1.JPG") << "x";
    const std::string folder = dir.string() + "/";
    std::int32_t offset = 0;
    std::string name;
    ASSERT_TRUE(NextFreeRunName(folder, "image", 1, "JPG", offset, name));
    EXPECT_EQ(name, folder + "image2.JPG");
    ASSERT_TRUE(NextFreeRunName(folder, "image", 2, "JPG", offset, name));
    EXPECT_EQ(name, folder + "image3.JPG");  // the second file is numbered one higher too
    fs::remove_all(dir);
}

TEST(RunNames, PrefixAndExtensionCannotLeadOutOfTheFolder) {
    EXPECT_EQ(SafePrefix("../../etc/x"), ".._.._etc_x");
    EXPECT_EQ(ExtensionWithDot("/tmp/run.d/image1"), "");
    EXPECT_EQ(ExtensionWithDot("/tmp/run/image1.JPG"), ".JPG");
}

}  // namespace
}  // namespace quorvane
