// Whole updates through the wizard against the loopback server: control file, version check,
// what's new, licence, file list, downloads with progress, cabinet and LZ expansion, patches,
// cancel, and the restart command line.
#include "update/web_update_wizard.h"

#include "support/version_test_files.h"
#include "update/command_line.h"
#include "update/frm_about.h"
#include "update/update_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quorvane {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::string elfBytes(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    const auto bytes = testing::ElfWriter({}).Build(ElfVersionSectionName,
                                                    BuildVersionBlock({testing::FixedVersion(a, b, c, d), {}, false}));
    return std::string(bytes.begin(), bytes.end());
}

// Waits up to five seconds for a file that another process writes.
bool waitForFile(const std::string& path) {
    for (int i = 0; i < 500; ++i) {
        if (testing::Exists(path) && !testing::ReadText(path).empty()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void writeScript(const std::string& path, const std::string& body) {
    testing::WriteText(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
}

class Wizard : public testing::UpdateTest {
protected:
    void SetUp() override {
        UpdateTest::SetUp();
        if (IsSkipped()) return;
        if (!testing::HaveTool("gcab") || !testing::HaveTool("mscompress"))
            GTEST_SKIP() << "gcab and mscompress are needed to make the update files";

        oldProgram = elfBytes(2, 4, 0, 0);
        newProgram = elfBytes(2, 5, 0, 0);
        testing::WriteText(app + "/quorvane", oldProgram);

        testing::WriteText(dir / "cabsrc/index.html", "<h1>Help</h1>\n");
        testing::WriteText(dir / "cabsrc/img/logo.txt", std::string(9000, 'L'));
        ASSERT_EQ(std::system(("cd '" + dir / "cabsrc" + "' && gcab -c -z '" + www + "/help.cab' index.html img/logo.txt")
                                  .c_str()),
                  0);
        notes = "Release notes\n" + std::string(6000, 'n') + "\n";
        Serve("notes.txt", notes);
        ASSERT_EQ(std::system(("mscompress '" + www + "/notes.txt' && rm '" + www + "/notes.txt'").c_str()), 0);
        Serve("quorvane", newProgram);
        Serve("whatsnew.txt", "Faster scans\r\nFewer clicks\r\n");
        Serve("eula.txt", "Use it well.\n");

        update.URL = URL("quorvane.inf");
        update.UpdaterProgram = dir / "fake-updater";
        writeScript(update.UpdaterProgram, "printf '%s\\n' \"$@\" > '" + dir / "updater-args" + "'\n");
        update.OnTerminateApplication = [this] { terminated = true; };
        form.SetWebUpdate(&update);
        form.Caption = WizardCaption;
        form.OnClose = [this] { ++closes; };
    }

    std::int64_t size(const std::string& served) { return static_cast<std::int64_t>(testing::ReadText(www + "/" + served).size()); }

    // The control file of a version-based update offering the three files.
    std::string control(const std::string& extra = "", int count = 3) {
        return "[update]\nnewversion=2.5.0.0\nlocalversion={APP}\\quorvane\ndescr=Faster scans\n"
               "[application]\nappname={APP}\\quorvane --after-update\nappcomps=quorvane\n"
               "[files]\ncount=" + std::to_string(count) + "\n"
               "[file1]\nurl=" + URL("help.cab") + "\ndescr=Help pages\ntargetdir={APP}\\help\\pages\nfilesize=" +
               std::to_string(size("help.cab")) + "\nsha256=" + Hash("help.cab") + "\n"
               "[file2]\nurl=" + URL("notes.txt_") + "\ndescr=Release notes\ntargetdir={APP}\ncompressed=1\nfilesize=" +
               std::to_string(size("notes.txt_")) + "\nsha256=" + Hash("notes.txt_") + "\n"
               "[file3]\nurl=" + URL("quorvane") + "\ndescr=Program\ntargetdir={APP}\\\nfilesize=" +
               std::to_string(size("quorvane")) + "\nsha256=" + Hash("quorvane") + "\n" + extra;
    }

    // A [whatsnew] or [eula] section naming a served text.
    std::string textSection(const std::string& section, const std::string& name) {
        return "[" + section + "]\nfile=" + URL(name) + "\nsha256=" + Hash(name) + "\n";
    }

    void startWith(const std::string& controlFile) {
        ServeSigned("quorvane.inf", controlFile);
        form.StartButtonClick();
    }

    std::string oldProgram, newProgram, notes;
    TWUWIZ form;
    int closes = 0;
    bool terminated = false;
};

TEST_F(Wizard, AWholeUpdateFromStartToRestart) {
    ServeSigned("quorvane.inf", control(textSection("whatsnew", "whatsnew.txt") + textSection("eula", "eula.txt")));
    std::vector<std::int64_t> totals;
    TWebUpdateWizard wizard;
    wizard.WebUpdate = &update;
    wizard.ShowModal = [&](TWUWIZ& f) {
        EXPECT_EQ(f.Caption, "Live Update for Quorvane");
        EXPECT_EQ(f.PageControl.ActivePageIndex(), TWUWIZ::pgWelcome);
        f.TotalProgressBar.onChanged = [&](const TControl&) { totals.push_back(f.TotalProgressBar.Position()); };

        f.StartButtonClick();
        ASSERT_EQ(f.PageControl.ActivePageIndex(), TWUWIZ::pgVersion);
        EXPECT_EQ(f.VersionLabel.Caption(),
                  "New version found :\n\nCurrent version :2.4.0.0\nNew version :2.5.0.0\n\nFaster scans");
        EXPECT_EQ(f.VersionButton.Caption(), "Get update");

        f.VersionButtonClick();
        ASSERT_EQ(f.PageControl.ActivePageIndex(), TWUWIZ::pgWhatsNew);
        EXPECT_THAT(f.WhatsNewMemo.Lines(), ElementsAre("Faster scans", "Fewer clicks"));

        f.WhatsNewNextButtonClick();
        ASSERT_EQ(f.PageControl.ActivePageIndex(), TWUWIZ::pgLicence);
        EXPECT_THAT(f.LicenceMemo.Lines(), ElementsAre("Use it well."));
        EXPECT_FALSE(f.LicenceNextButton.Enabled());
        f.DeclineRadioClick();
        EXPECT_EQ(f.LicenceNextButton.Caption(), "Exit");
        f.AcceptRadioClick();
        EXPECT_TRUE(f.LicenceNextButton.Enabled());
        EXPECT_EQ(f.LicenceNextButton.Caption(), "Next");

        f.LicenceNextButtonClick();
        ASSERT_EQ(f.PageControl.ActivePageIndex(), TWUWIZ::pgFiles);
        EXPECT_THAT(f.FileCheckList.Items(), ElementsAre(TCheckListBox::Item{"Help pages", true},
                                                          TCheckListBox::Item{"Release notes", true},
                                                          TCheckListBox::Item{"Program", true}));

        f.FilesNextButtonClick();
        ASSERT_EQ(f.PageControl.ActivePageIndex(), TWUWIZ::pgDone);
        EXPECT_FALSE(f.IsClosed());
        EXPECT_EQ(f.FileProgressLabel.Caption(), "Current file progress : quorvane");
        EXPECT_EQ(f.FileProgressBar.Position(), f.FileProgressBar.Max());
        f.RestartButtonClick();
    };
    wizard.Execute();

    // The files are in place: the cabinet unpacked into a new folder, the LZ file expanded,
    // the program replaced; the intermediate files are gone.
    EXPECT_THAT(testing::FilesBelow(app),
                ElementsAre("help/pages/img/logo.txt", "help/pages/index.html", "notes.txt", "quorvane"));
    EXPECT_EQ(testing::ReadText(app + "/help/pages/img/logo.txt"), std::string(9000, 'L'));
    EXPECT_EQ(testing::ReadText(app + "/notes.txt"), notes);
    EXPECT_EQ(testing::ReadText(app + "/quorvane"), newProgram);
    EXPECT_TRUE(update.AppComponentUpdated);

    const std::int64_t total = size("help.cab") + size("notes.txt_") + size("quorvane");
    ASSERT_FALSE(totals.empty());
    EXPECT_TRUE(std::is_sorted(totals.begin(), totals.end()));
    EXPECT_EQ(totals.back(), total);
    EXPECT_GT(totals.size(), 3u) << "the total bar moves within files too";

    EXPECT_THAT(server->RequestedPaths(),
                ElementsAre("quorvane.inf", "quorvane.inf.sig", "whatsnew.txt", "eula.txt", "help.cab", "notes.txt_", "quorvane"));
    EXPECT_THAT(testing::FilesBelow(tmp), IsEmpty()) << "the session's downloads are removed";

    // Restart: the updater gets our process number, the application command line and appcomps.
    ASSERT_TRUE(waitForFile(dir / "updater-args"));
    EXPECT_EQ(testing::ReadText(dir / "updater-args"),
              std::to_string(::getpid()) + "\n" + app + "/quorvane --after-update\nquorvane\n");
    EXPECT_TRUE(terminated);
}

TEST_F(Wizard, TheRestartKeepsAProgramFolderWithABlank) {
    const std::string spaced = dir / "My Programs";
    std::filesystem::create_directories(spaced);
    update.Prefixes.app = spaced;
    testing::WriteText(spaced + "/quorvane", oldProgram);
    ServeSigned("quorvane.inf", control());
    ASSERT_EQ(update.StartConnection(), wuOk);
    ASSERT_EQ(update.GetControlFile(), wuOk);
    update.DoRestart();
    ASSERT_TRUE(waitForFile(dir / "updater-args"));
    const std::string appLine = "\"" + spaced + "/quorvane\" --after-update";
    EXPECT_EQ(testing::ReadText(dir / "updater-args"), std::to_string(::getpid()) + "\n" + appLine + "\nquorvane\n");
    // What the updater starts from that argument.
    EXPECT_THAT(SplitCommandLine(appLine), ElementsAre(spaced + "/quorvane", "--after-update"));
}

TEST_F(Wizard, NoControlFileOrNoNewVersion) {
    form.StartButtonClick();  // nothing served as quorvane.inf: 404
    ASSERT_EQ(form.PageControl.ActivePageIndex(), TWUWIZ::pgVersion);
    EXPECT_EQ(form.VersionLabel.Caption(), "Could not connect to update server or no update found on server ...");
    EXPECT_EQ(form.VersionButton.Caption(), "Exit");
    form.VersionButtonClick();
    EXPECT_TRUE(form.IsClosed());
    EXPECT_EQ(closes, 1);

    TWUWIZ second;
    second.SetWebUpdate(&update);
    testing::WriteText(app + "/quorvane", elfBytes(2, 5, 0, 0));
    ServeSigned("quorvane.inf", control());
    second.StartButtonClick();
    EXPECT_EQ(second.VersionLabel.Caption(), "No new version available.");
    EXPECT_EQ(second.VersionButton.Caption(), "Exit");
    second.VersionButtonClick();
    EXPECT_TRUE(second.IsClosed());
    EXPECT_THAT(server->RequestedPaths(), ElementsAre("quorvane.inf", "quorvane.inf", "quorvane.inf.sig"));
    EXPECT_THAT(testing::FilesBelow(tmp), IsEmpty());
}

TEST_F(Wizard, DecliningTheLicenceDownloadsNothing) {
    startWith(control(textSection("eula", "eula.txt")));
    form.VersionButtonClick();
    ASSERT_EQ(form.PageControl.ActivePageIndex(), TWUWIZ::pgLicence);
    form.LicenceNextButtonClick();
    EXPECT_FALSE(form.IsClosed()) << "Next does nothing until a choice is made";
    form.DeclineRadioClick();
    form.LicenceNextButtonClick();
    EXPECT_TRUE(form.IsClosed());
    EXPECT_THAT(server->RequestedPaths(), ElementsAre("quorvane.inf", "quorvane.inf.sig", "eula.txt"));
    EXPECT_EQ(testing::ReadText(app + "/quorvane"), oldProgram);
}

TEST_F(Wizard, NoFilesToOffer) {
    startWith(control("", 0));
    form.VersionButtonClick();
    EXPECT_TRUE(form.IsClosed());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "No files found for update");

    // Coming from the licence page the empty list is shown and the message waits for Next.
    TWUWIZ second;
    second.SetWebUpdate(&update);
    ServeSigned("quorvane.inf", control(textSection("eula", "eula.txt"), 0));
    second.StartButtonClick();
    second.VersionButtonClick();
    second.AcceptRadioClick();
    second.LicenceNextButtonClick();
    EXPECT_EQ(second.PageControl.ActivePageIndex(), TWUWIZ::pgFiles);
    EXPECT_FALSE(second.IsClosed());
    EXPECT_EQ(ui.boxes.size(), 1u);
    second.FilesNextButtonClick();
    EXPECT_TRUE(second.IsClosed());
    EXPECT_EQ(ui.boxes.size(), 2u);
}

TEST_F(Wizard, UntickedFilesAreNotFetched) {
    startWith(control());
    form.VersionButtonClick();
    form.FileCheckList.SetChecked(0, false);
    form.FileCheckList.SetChecked(2, false);
    form.FilesNextButtonClick();
    EXPECT_EQ(form.PageControl.ActivePageIndex(), TWUWIZ::pgDone);
    EXPECT_THAT(testing::FilesBelow(app), ElementsAre("notes.txt", "quorvane"));
    EXPECT_EQ(testing::ReadText(app + "/quorvane"), oldProgram);
    EXPECT_FALSE(update.AppComponentUpdated);

    TWUWIZ second;
    second.SetWebUpdate(&update);
    second.StartButtonClick();
    second.VersionButtonClick();
    for (std::size_t i = 0; i < 3; ++i) second.FileCheckList.SetChecked(i, false);
    second.FilesNextButtonClick();
    EXPECT_TRUE(second.IsClosed());
    EXPECT_EQ(ui.boxes.back().text, "No files found for update");
}

TEST_F(Wizard, CancelStopsTheDownloadAndTheRestart) {
    startWith(control());
    form.VersionButtonClick();
    // The user presses Cancel while the second file arrives.
    form.FileProgressLabel.onChanged = [&](const TControl&) {
        if (form.FileProgressLabel.Caption().ends_with("notes.txt_")) form.CancelButtonClick();
    };
    form.FilesNextButtonClick();
    EXPECT_TRUE(form.IsClosed());
    EXPECT_TRUE(update.Cancelled);
    EXPECT_THAT(testing::FilesBelow(app), ElementsAre("quorvane")) << "a cancelled update installs nothing";
    EXPECT_EQ(testing::ReadText(app + "/quorvane"), oldProgram);
    EXPECT_THAT(server->RequestedPaths(), ElementsAre("quorvane.inf", "quorvane.inf.sig", "help.cab", "notes.txt_"))
        << "files after the cancelled one are not fetched";

    update.DoRestart();
    EXPECT_FALSE(terminated);
    EXPECT_FALSE(testing::Exists(dir / "updater-args"));
}

TEST_F(Wizard, AMissingFileIsSkippedAndPatchesAreApplied) {
    Serve("fix.pat", "patch data");
    update.PatcherProgram = dir / "fake-patcher";
    writeScript(update.PatcherProgram, "printf '%s\\n' \"$@\" > '" + dir / "patcher-args" + "'\n");
    std::string c = control("[file4]\nurl=" + URL("fix.pat") + "\ndescr=Fix\ntargetdir={APP}\\patches\n"
                            "localversion={APP}\\quorvane\nsha256=" + Hash("fix.pat") + "\n",
                            4);
    c.replace(c.find(URL("help.cab")), URL("help.cab").size(), URL("missing.cab"));
    startWith(c);
    form.VersionButtonClick();
    form.FilesNextButtonClick();
    EXPECT_EQ(form.PageControl.ActivePageIndex(), TWUWIZ::pgDone);
    EXPECT_THAT(testing::FilesBelow(app), ElementsAre("notes.txt", "quorvane")) << "the patch file is deleted";
    EXPECT_TRUE(testing::Exists(app + "/help/pages")) << "the folder is made before the download";
    EXPECT_EQ(testing::ReadText(dir / "patcher-args"), app + "/patches/fix.pat\n" + app + "/quorvane\n");
}

TEST_F(Wizard, ARefusedUpdateSaysWhyAndChangesNothing) {
    // As root: a message, and the wizard closes before it fetches anything.
    update.CurrentUser = [] { return uid_t{0}; };
    form.StartButtonClick();
    EXPECT_TRUE(form.IsClosed());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_THAT(ui.boxes[0].text, HasSubstr("does not run as root"));
    EXPECT_THAT(server->RequestedPaths(), IsEmpty());
    update.CurrentUser = [] { return uid_t{1000}; };

    // An unsigned control file: the version page says so.
    TWUWIZ unsigned_;
    unsigned_.SetWebUpdate(&update);
    Serve("quorvane.inf", control());
    unsigned_.StartButtonClick();
    EXPECT_EQ(unsigned_.PageControl.ActivePageIndex(), TWUWIZ::pgVersion);
    EXPECT_THAT(unsigned_.VersionLabel.Caption(), HasSubstr("is not signed"));
    EXPECT_EQ(unsigned_.VersionButton.Caption(), "Exit");

    // A download that is not the signed one: a message, the wizard closes, nothing is installed.
    TWUWIZ tampered;
    tampered.SetWebUpdate(&update);
    ServeSigned("quorvane.inf", control());
    Serve("quorvane", elfBytes(6, 6, 6, 6));
    tampered.StartButtonClick();
    tampered.VersionButtonClick();
    tampered.FilesNextButtonClick();
    EXPECT_TRUE(tampered.IsClosed());
    EXPECT_THAT(ui.boxes.back().text, HasSubstr("does not match the SHA-256"));
    EXPECT_THAT(testing::FilesBelow(app), ElementsAre("quorvane"));
    EXPECT_EQ(testing::ReadText(app + "/quorvane"), oldProgram);
}

TEST(WebUpdateWizard, RefusesToRunWithoutAComponent) {
    TWebUpdateWizard wizard;
    bool shown = false;
    wizard.ShowModal = [&](TWUWIZ&) { shown = true; };
    EXPECT_THROW(wizard.Execute(), std::logic_error);
    EXPECT_FALSE(shown);
}

TEST(TFrmAbout, ShowsTheVersionResourceAndLeadsToTheWizard) {
    testing::ScratchFolder dir;
    constexpr VersionString strings[] = {{"ProductVersion", "2.4 beta"}, {"LegalCopyright", "(c) 2004 Acme"}};
    const VersionStringTable tables[] = {{0x0409, 0x04E4, strings}};
    std::filesystem::create_directories(dir / "bin");
    testing::WriteVersionedElf(dir / "bin/quorvane", {testing::FixedVersion(2, 4, 0, 0), tables, true});

    TFrmAbout about;
    about.ExecutablePath = dir / "bin/quorvane";
    about.FormShow();
    EXPECT_EQ(about.Caption, "About Quorvane");
    EXPECT_EQ(about.LabelTitle.Caption(), "Quorvane");
    EXPECT_EQ(about.LabelVersion.Caption(), "Version 2.4 beta");
    EXPECT_EQ(about.LabelLegal.Caption(), "(c) 2004 Acme");
    EXPECT_EQ(about.ButtonOK.Caption(), "OK");

    about.ExecutablePath = dir / "bin/none";
    about.FormShow();
    EXPECT_EQ(about.LabelVersion.Caption(), "Version ");
    EXPECT_EQ(about.LabelLegal.Caption(), "");

    TWebUpdate update;
    TWebUpdateWizard wizard;
    wizard.WebUpdate = &update;
    std::string folderWhileShown;
    wizard.ShowModal = [&](TWUWIZ&) { folderWhileShown = std::filesystem::current_path().string() + "/"; };
    about.UpdateWizard = &wizard;
    const auto before = std::filesystem::current_path();
    about.ButtonGetUpdatesClick();
    std::filesystem::current_path(before);
    EXPECT_EQ(folderWhileShown, dir / "bin/");
    EXPECT_EQ(update.Prefixes.app, dir / "bin/");
}

TEST(TFrmAbout, APackagedProgramLeavesUpdatesToThePackageManager) {
    testing::RecordingUserInterface ui;
    SetUI(&ui);
    TWebUpdate update;
    TWebUpdateWizard wizard;
    wizard.WebUpdate = &update;
    bool shown = false;
    wizard.ShowModal = [&](TWUWIZ&) { shown = true; };
    TFrmAbout about;
    about.UpdateWizard = &wizard;
    about.Packaged = true;
    about.ButtonGetUpdatesClick();
    SetUI(nullptr);
    EXPECT_FALSE(shown);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("package manager"), std::string::npos);
}

}  // namespace
}  // namespace quorvane
