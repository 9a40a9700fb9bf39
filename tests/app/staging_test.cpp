// Where a run stages the files it finds: in a private folder inside the destination, so that
// saving is a link on one file system and a small /tmp does not matter, else in the temporary
// folder; and how Start treats a destination that is refused or lies on the drive being read.
#include "app/destination_check.h"
#include "app/recovery_run.h"
#include "platform/image_fixtures.h"
#include "platform/work_folder.h"
#include "scan_card.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class Staging : public ::testing::Test {
protected:
    void SetUp() override {
        DriveTable::instance().clear();
        card.PutJpegStart(5);
        card.PutJpegStart(60);
    }
    void TearDown() override { DriveTable::instance().clear(); }

    TempDir dir;
    ScanCard card{100};
};

TEST_F(Staging, TheServiceStagesInsideAUsableDestinationAndSavesByLinks) {
    std::ofstream(dir.path() / "a-file") << "in the way";
    struct Case {
        const char* name;
        std::string stagingParent;
        bool inside;  // staged inside stagingParent, else in the temporary folder
    };
    const Case cases[] = {
        {"an existing folder", dir.file("dest"), true},
        {"a folder the run makes", dir.file("new/dest"), true},
        {"no folder given", "", false},
        {"a file in the way", dir.file("a-file/dest"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::create_directories(dir.path() / "dest");
        const auto drive = AddMemoryDrive(card.opener, card.opener->bytes->size(), "memory card");
        TRecoveryPlan plan;
        plan.Drive = drive;
        plan.Method = TRecoveryMethod::Scan;
        plan.StagingParent = c.stagingParent;
        std::vector<ino_t> stagedInodes;
        std::string workFolder;
        {
            RecoveryRun run(plan);
            run.Events.OnFileStaged = [&](const std::string& path) { stagedInodes.push_back(inodeOf(path)); };
            run.Run();
            workFolder = run.WorkFolder();
            ASSERT_EQ(run.Staged().Size(), 2u);
            const std::string parent = c.inside ? c.stagingParent + "/.quorvane-run-" : GetTempPath() + "quorvane-run-";
            EXPECT_EQ(workFolder.rfind(parent, 0), 0u) << workFolder;
            EXPECT_EQ((fs::status(workFolder).permissions() & fs::perms::all), fs::perms::owner_all);

            const std::string saveTo = dir.file("saved");
            ASSERT_TRUE(run.Staged().SaveSelected(saveTo, "photo").Warning.empty());
            // The saved folder is on the destination's file system; the temporary folder may not be.
            for (std::size_t i = 0; c.inside && i < 2; ++i) {
                EXPECT_EQ(inodeOf(run.Staged().Files()[i].SavedAs), stagedInodes[i]) << "saved by a link, not a copy";
            }
            run.Staged().DeleteStagedFiles();
        }
        EXPECT_FALSE(fs::exists(workFolder)) << "the run removes its emptied folder";
        if (c.inside) {
            EXPECT_EQ(namesIn(c.stagingParent), std::vector<std::string>{});
        }
        fs::remove_all(dir.path() / "saved");
        fs::remove_all(dir.path() / "dest");
        DriveTable::instance().clear();
    }
}

// Answers every question with answer and records the boxes.
class AnsweringUI : public RecordingUI {
public:
    MsgResult MessageBox(const std::string& text, const std::string& caption, MsgIcon icon, MsgButtons buttons,
                         MsgResult d) override {
        RecordingUI::MessageBox(text, caption, icon, buttons, d);
        return buttons == MsgButtons::YesNo ? answer : d;
    }
    MsgResult answer = MsgResult::No;
};

TEST_F(Staging, StartChecksTheDestinationBeforeReadingAndStagesInItWhenItIsUsable) {
    // The card is "mounted" on a folder of another file system than the test's folder, so that
    // a folder beside it is on another drive than the card.
    std::string shm = "/dev/shm/quorvane-test-XXXXXX";
    struct stat shmStat {}, dirStat {};
    if (::mkdtemp(shm.data()) == nullptr || ::stat(shm.c_str(), &shmStat) != 0 ||
        ::stat(dir.file("").c_str(), &dirStat) != 0 || shmStat.st_dev == dirStat.st_dev) {
        GTEST_SKIP() << "needs /dev/shm on a file system of its own";
    }
    struct Remove {
        std::string path;
        ~Remove() { fs::remove_all(path); }
    } removeShm{shm};
    const std::string mnt = shm;
    const std::string temporary = GetTempPath() + "quorvane-run-";
    std::ofstream(dir.path() / "mounts") << "/dev/quorvane-test-sdz1 " << mnt << " vfat rw 0 0\n";
    std::ofstream(dir.path() / "a-file") << "in the way";
    DriveEntry entry;
    entry.path = "/dev/quorvane-test-sdz1";
    entry.displayName = "memory card";
    entry.kind = DRIVE_REMOVABLE;
    entry.sizeBytes = card.opener->bytes->size();
    entry.opener = card.opener;
    const auto drive = DriveTable::instance().addVolume(entry).value_or(0);
    ASSERT_NE(drive, 0);

    struct Case {
        const char* name;
        std::string dest;
        MsgResult answer;
        MsgIcon box;         // the box about the destination, MsgIcon::None: none
        bool ran;
        std::string stagedIn;  // the run's working folder starts with it
    };
    const Case cases[] = {
        {"a usable folder", dir.file("dest"), MsgResult::No, MsgIcon::None, true, dir.file("dest") + "/.quorvane-run-"},
        {"a file", dir.file("a-file"), MsgResult::Yes, MsgIcon::Exclamation, false, ""},
        {"on the card, declined", mnt + "/out", MsgResult::No, MsgIcon::Warning, false, ""},
        {"on the card, accepted", mnt + "/out", MsgResult::Yes, MsgIcon::Warning, true, temporary},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AnsweringUI ui;
        ui.answer = c.answer;
        SetUI(&ui);
        TFrmMain main;
        main.FormCreate();
        ASSERT_TRUE(main.SelectDrive(drive));
        main.MountsFile = dir.file("mounts");
        main.EditDestPath.SetText(c.dest);
        main.ButtonStartClick();
        SetUI(nullptr);

        if (c.box == MsgIcon::None) {
            // The analysis may still say what it found on the card.
            for (const auto& b : ui.boxes) EXPECT_EQ(b.second.find(c.dest), std::string::npos) << b.second;
        } else {
            ASSERT_FALSE(ui.boxes.empty());
            EXPECT_EQ(ui.boxes[0].first, c.box);
        }
        if (c.box == MsgIcon::Exclamation) {
            EXPECT_EQ(ui.boxes[0].second, DestinationRefusal(c.dest));
        }
        if (c.box == MsgIcon::Warning) {
            EXPECT_EQ(ui.boxes[0].second, c.dest + " is on memory card, the drive being recovered (mounted on " + mnt +
                                              "). Saving the recovered files there writes over the "
                                              "deleted files that are still to be found: choose a folder on another "
                                              "drive.\n\nSave the recovered files there anyway?");
        }
        EXPECT_EQ(main.LastRun.TotalSectors, c.ran ? 100u : 0u) << "a refused or declined start reads nothing";
        if (!c.ran) continue;
        EXPECT_EQ(main.WorkFolder.rfind(c.stagedIn, 0), 0u) << main.WorkFolder;
        EXPECT_FALSE(fs::exists(main.WorkFolder)) << "removed once its files were saved";
        EXPECT_EQ(namesIn(c.dest), (std::vector<std::string>{"image0.JPG", "image1.JPG", "recovery-report.json"}));
        fs::remove_all(c.dest);
    }
}

}  // namespace
}  // namespace quorvane::testing
