// What an update control file, a download or the network path to them cannot make the program do:
// control files that are unsigned, changed, signed by another key or not fetched over https are
// refused; a download with another hash installs nothing; folders and programs stay inside the
// program's folder without following links; root is refused; expansion and checksums are bounded.
#include "update/cab_extract.h"
#include "update/confined_path.h"
#include "update/lz_expand.h"
#include "update/update_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sys/stat.h>
#include <thread>

namespace quorvane {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Waits up to five seconds for a file that another process writes.
bool waitForFile(const std::string& path, int milliseconds = 5000) {
    for (int waited = 0; waited < milliseconds; waited += 10) {
        if (testing::Exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void writeScript(const std::string& path, const std::string& body) {
    testing::WriteText(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
}

mode_t modeOf(const std::string& path) {
    struct stat st{};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

class UpdateSecurity : public testing::UpdateTest {
protected:
    void SetUp() override {
        UpdateTest::SetUp();
        if (IsSkipped()) return;
        update.URL = URL("quorvane.inf");
        Serve("good.txt", "a good file\n");
        testing::WriteText(app + "/quorvane", "the shipped program");
    }

    // An unconditional update offering good.txt, then whatever extra adds.
    std::string control(const std::string& extra = "", int count = 1) {
        return "[update]\nunconditional=1\n[files]\ncount=" + std::to_string(count) + "\n[file1]\nurl=" + URL("good.txt") +
               "\ndescr=Good\nsha256=" + Hash("good.txt") + "\n" + extra;
    }
    std::string entry(int n, const std::string& name, const std::string& keys = "") {
        return "[file" + std::to_string(n) + "]\nurl=" + URL(name) + "\ndescr=" + name + "\nsha256=" + Hash(name) + "\n" + keys;
    }

    int fetchControl() {
        EXPECT_EQ(update.StartConnection(), wuOk);
        return update.GetControlFile();
    }
    // The whole update after the control file: every listed file.
    void downloadAll() {
        update.GetFileDetails();
        update.GetFileUpdates();
    }
};

TEST_F(UpdateSecurity, ControlFilesThatAreNotAuthenticAreRefused) {
    const std::string good = control();
    const testing::TestSigner otherKey;
    struct Case {
        const char* name;
        std::function<void()> serve;
        const char* refusal;  // nullptr: accepted
    };
    const auto serveWithSignature = [&](const std::string& text, const std::string& signature) {
        Serve("quorvane.inf", text);
        Serve("quorvane.inf.sig", signature);
    };
    const auto withoutLine = [&](const std::string& text, const std::string& line) {
        std::string changed = text;
        changed.erase(changed.find(line), line.size());
        return changed;
    };
    const Case cases[] = {
        {"signed with the key", [&] { ServeSigned("quorvane.inf", good); }, nullptr},
        {"unsigned", [&] { ::unlink((www + "/quorvane.inf.sig").c_str()), Serve("quorvane.inf", good); }, "is not signed"},
        {"changed after signing",
         [&] { serveWithSignature(good + "[action]\nrunbefore={APP}\\quorvane\n", signer.Sign(good)); }, "is not valid"},
        {"signed with another key", [&] { serveWithSignature(good, otherKey.Sign(good)); }, "is not valid"},
        {"signature cut short", [&] { serveWithSignature(good, signer.Sign(good).substr(0, 63)); }, "is not valid"},
        {"signature as text", [&] { serveWithSignature(good, std::string(64, 'A')); }, "is not valid"},
        {"a file without its hash", [&] { ServeSigned("quorvane.inf", withoutLine(good, "sha256=" + Hash("good.txt") + "\n")); },
         "no SHA-256"},
        {"a hash that is no SHA-256",
         [&] { ServeSigned("quorvane.inf", control("[file2]\nurl=" + URL("good.txt") + "\nsha256=abc\n", 2)); },
         "no SHA-256"},
        {"what's new without its hash", [&] { ServeSigned("quorvane.inf", good + "[whatsnew]\nfile=" + URL("good.txt") + "\n"); },
         "no SHA-256"},
        {"a file over http",
         [&] {
             std::string text = good;
             text.replace(text.find("https://"), 8, "http://");
             ServeSigned("quorvane.inf", text);
         },
         "not an https address"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.serve();
        const int result = fetchControl();
        if (c.refusal == nullptr) {
            EXPECT_EQ(result, wuOk);
            EXPECT_EQ(update.Refusal, "");
            continue;
        }
        EXPECT_EQ(result, wuNoControlFile);
        EXPECT_THAT(update.Refusal, HasSubstr(c.refusal));
        EXPECT_FALSE(update.ControlFile.has_value());
        EXPECT_EQ(update.GetFileDetails(), 0);
        update.GetFileUpdates();
        EXPECT_THAT(testing::FilesBelow(app), ElementsAre("quorvane"));
    }
}

TEST_F(UpdateSecurity, AControlFileOverHttpOrWithoutAKeyIsRefused) {
    ServeSigned("quorvane.inf", control());
    update.URL = "http://127.0.0.1:" + std::to_string(server->Port()) + "/quorvane.inf";
    EXPECT_EQ(fetchControl(), wuNoControlFile);
    EXPECT_THAT(update.Refusal, HasSubstr("only https"));
    EXPECT_THAT(server->RequestedPaths(), IsEmpty());

    // A build given no key cannot tell an authentic control file from another.
    update.URL = URL("quorvane.inf");
    update.PublicKey = "";
    EXPECT_EQ(fetchControl(), wuNoControlFile);
    EXPECT_THAT(update.Refusal, HasSubstr("no key"));
}

// The way the maker signs a control file: openssl's command line with the private key, the raw
// 64-byte signature written beside the file.
TEST_F(UpdateSecurity, ASignatureMadeWithOpensslIsAccepted) {
    testing::WriteText(dir / "private.pem", signer.PrivateKeyPem());
    Serve("quorvane.inf", control());
    const std::string sign = "openssl pkeyutl -sign -rawin -inkey '" + dir / "private.pem" + "' -in '" + www +
                             "/quorvane.inf' -out '" + www + "/quorvane.inf.sig'";
    ASSERT_EQ(std::system(sign.c_str()), 0);
    EXPECT_EQ(fetchControl(), wuOk) << update.Refusal;
}

TEST_F(UpdateSecurity, ADownloadThatIsNotTheSignedOneInstallsNothing) {
    Serve("other.txt", "what the control file promised\n");
    struct Case {
        const char* name;
        std::function<void()> change;  // after the control file was signed
        const char* refusal;
    };
    const Case cases[] = {
        {"another content than its hash", [&] { Serve("other.txt", "something else\n"); }, "does not match the SHA-256"},
        {"sent on to plain http",
         [&] {
             ::unlink((www + "/other.txt").c_str());
             Serve("other.txt.redirect", "http://127.0.0.1:" + std::to_string(server->Port()) + "/good.txt");
         },
         "not https"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Serve("other.txt", "what the control file promised\n");
        ::unlink((www + "/other.txt.redirect").c_str());
        ServeSigned("quorvane.inf", control(entry(2, "other.txt"), 2));
        c.change();
        ASSERT_EQ(fetchControl(), wuOk) << update.Refusal;
        downloadAll();
        EXPECT_THAT(update.Refusal, HasSubstr(c.refusal));
        EXPECT_THAT(update.Refusal, HasSubstr("Nothing was installed"));
        EXPECT_THAT(testing::FilesBelow(app), ElementsAre("quorvane")) << "not even the good file before it";
    }
}

TEST_F(UpdateSecurity, FoldersAndProgramsOutsideTheProgramFolderAreRefused) {
    struct Case {
        const char* name;
        std::string keys;  // of file1, or whole sections
        bool inFile1;
    };
    const Case cases[] = {
        {"an absolute folder elsewhere", "targetdir=" + dir / "elsewhere", true},
        {"a drive-letter folder", "targetdir=C:\\etc", true},
        {"the settings folder", "targetdir={WIN}\\autostart", true},
        {"the temporary folder", "targetdir={TMP}", true},
        {"the folder above", "targetdir={PF}", true},
        {"up and out", "targetdir={APP}\\..\\elsewhere", true},
        {"up and back in", "targetdir={APP}\\sub\\..\\sub", true},
        {"a relative folder", "targetdir=sub", true},
        {"a patch of a file elsewhere", "localversion=C:\\etc\\passwd", true},
        {"runbefore elsewhere", "[action]\nrunbefore=/bin/sh -c \"touch x\"\n", false},
        {"runbefore in the temporary folder", "[action]\nrunbefore={TMP}\\run.sh\n", false},
        {"appname elsewhere", "[application]\nappname=/usr/bin/env quorvane\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = control();
        if (c.inFile1)
            text.insert(text.find("descr=Good\n"), c.keys + "\n");
        else
            text += c.keys;
        ServeSigned("quorvane.inf", text);
        EXPECT_EQ(fetchControl(), wuNoControlFile);
        EXPECT_THAT(update.Refusal, HasSubstr("outside Quorvane's folder"));
    }
    EXPECT_FALSE(testing::Exists(dir / "elsewhere"));
    EXPECT_THAT(testing::FilesBelow(app), ElementsAre("quorvane"));
}

TEST_F(UpdateSecurity, ALinkOnTheWayIsNotFollowed) {
    std::filesystem::create_directories(dir / "outside");
    std::filesystem::create_directories(app + "/real");
    std::filesystem::create_directory_symlink(dir / "outside", app + "/out");
    std::filesystem::create_directory_symlink(app + "/real", app + "/in");
    for (const char* folder : {"{APP}\\out", "{APP}\\out\\deeper", "{APP}\\in"}) {
        SCOPED_TRACE(folder);
        std::string text = control();
        text.insert(text.find("descr=Good\n"), std::string("targetdir=") + folder + "\n");
        ServeSigned("quorvane.inf", text);
        ASSERT_EQ(fetchControl(), wuOk) << "the path itself stays inside";
        downloadAll();
        EXPECT_THAT(update.Refusal, HasSubstr("through a link"));
    }
    EXPECT_THAT(testing::FilesBelow(dir / "outside"), IsEmpty());
    EXPECT_FALSE(testing::Exists(dir / "outside/deeper"));
    EXPECT_THAT(testing::FilesBelow(app + "/real"), IsEmpty());
}

TEST_F(UpdateSecurity, OnlyProgramsThatTheProgramShipsAreStarted) {
    writeScript(app + "/before.sh", "touch '" + dir / "ran-shipped" + "'\n");
    writeScript(dir / "outside.sh", "touch '" + dir / "ran-outside" + "'\n");
    ::symlink((dir / "outside.sh").c_str(), (app + "/linked.sh").c_str());

    // runbefore: a file of the program's folder runs; a link from there to elsewhere does not.
    ServeSigned("quorvane.inf", control("[action]\nrunbefore={APP}\\linked.sh\n"));
    ASSERT_EQ(fetchControl(), wuOk) << update.Refusal;
    update.HandleActions();
    ServeSigned("quorvane.inf", control("[action]\nrunbefore={APP}\\before.sh\n"));
    ASSERT_EQ(fetchControl(), wuOk) << update.Refusal;
    update.HandleActions();
    EXPECT_TRUE(waitForFile(dir / "ran-shipped"));
    EXPECT_FALSE(testing::Exists(dir / "ran-outside"));

    // The patcher: the shipped one is replaced by the update before a patch comes; the program
    // the update brought is executable (it replaced an executable) but is not run.
    writeScript(app + "/patcher", "touch '" + dir / "ran-shipped-patcher" + "'\n");
    Serve("patcher", "#!/bin/sh\ntouch '" + dir / "ran-downloaded-patcher" + "'\n");
    Serve("fix.pat", "patch data");
    Serve("tool.sh", "#!/bin/sh\necho a new script\n");
    ServeSigned("quorvane.inf", control(entry(2, "patcher") + entry(3, "fix.pat", "localversion={APP}\\quorvane\n") +
                                            entry(4, "tool.sh"),
                                        4));
    ASSERT_EQ(fetchControl(), wuOk) << update.Refusal;
    downloadAll();
    EXPECT_EQ(update.Refusal, "");
    EXPECT_EQ(testing::ReadText(app + "/patcher"), testing::ReadText(www + "/patcher"));
    EXPECT_EQ(modeOf(app + "/patcher") & 0111, 0111u) << "a replaced program stays executable";
    EXPECT_EQ(modeOf(app + "/tool.sh") & 0111, 0u) << "a new download is never made executable";
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(testing::Exists(dir / "ran-downloaded-patcher"));
    EXPECT_FALSE(testing::Exists(dir / "ran-shipped-patcher"));
}

TEST_F(UpdateSecurity, ShowURLOpensOnlyHttpsPages) {
    std::vector<std::string> shown;
    update.OnShowURL = [&](const std::string& url) { shown.push_back(url); };
    for (const char* url : {"https://quorvane.example/news", "http://quorvane.example/news", "file:///etc/passwd",
                            "javascript:alert(1)"}) {
        ServeSigned("quorvane.inf", control(std::string("[action]\nshowURL=") + url + "\n"));
        ASSERT_EQ(fetchControl(), wuOk) << update.Refusal;
        update.HandleActions();
    }
    EXPECT_THAT(shown, ElementsAre("https://quorvane.example/news"));
}

TEST_F(UpdateSecurity, RootIsRefused) {
    update.CurrentUser = [] { return uid_t{0}; };
    writeScript(app + "/before.sh", "touch '" + dir / "ran" + "'\n");
    ServeSigned("quorvane.inf", control("[action]\nrunbefore={APP}\\before.sh\n"));
    ASSERT_EQ(fetchControl(), wuOk) << "looking costs nothing";
    update.HandleActions();
    downloadAll();
    EXPECT_THAT(update.Refusal, HasSubstr("does not run as root"));
    EXPECT_THAT(update.InstallRefusal(), HasSubstr("does not run as root"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(testing::Exists(dir / "ran"));
    EXPECT_THAT(testing::FilesBelow(app), ElementsAre("before.sh", "quorvane"));
}

TEST(ExpansionSecurity, CabinetsAndLzFilesAreCapped) {
    if (!testing::HaveTool("gcab") || !testing::HaveTool("mscompress")) GTEST_SKIP() << "gcab and mscompress are needed";
    testing::ScratchFolder dir;
    testing::WriteText(dir / "src/zeros.bin", std::string(200'000, '\0'));
    ASSERT_EQ(std::system(("cd '" + dir / "src" + "' && gcab -c -z '" + dir / "pack.cab" + "' zeros.bin").c_str()), 0);
    EXPECT_FALSE(CabExtract(dir / "pack.cab", dir / "cab/", 100'000));
    EXPECT_THAT(testing::FilesBelow(dir / "cab"), IsEmpty());
    EXPECT_TRUE(CabExtract(dir / "pack.cab", dir / "cab/", 200'000)) << "exactly the cap is allowed";

    // An LZ file whose header tells its size, and one whose header lies about it.
    ASSERT_EQ(std::system(("cp '" + dir / "src/zeros.bin" + "' '" + dir / "lz.bin" + "' && mscompress '" + dir / "lz.bin" + "'").c_str()), 0);
    std::string lying = testing::ReadText(dir / "lz.bin_");
    lying[10] = 10, lying[11] = lying[12] = lying[13] = 0;  // the length field: 10 bytes
    for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"honest.bin_", testing::ReadText(dir / "lz.bin_")},
                                      std::pair<std::string, std::string>{"lying.bin_", lying}}) {
        SCOPED_TRACE(name);
        testing::WriteText(dir / ("lz/" + name), bytes);
        EXPECT_FALSE(ExpandLZFile(dir / ("lz/" + name), {}, 100'000).has_value());
        EXPECT_THAT(testing::FilesBelow(dir / "lz"), ElementsAre(name)) << "the compressed file stays, nothing else";
        ::unlink((dir / ("lz/" + name)).c_str());
    }
}

TEST(ChecksumSecurity, OnlyRegularFilesAreRead) {
    testing::ScratchFolder dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(dir / "folder");
    // Each would block or never end if it were read.
    for (const std::string& path : {std::string("/dev/zero"), dir / "fifo", dir / "folder"})
        EXPECT_EQ(FileCheckSum(path), -1) << path;
}

}  // namespace
}  // namespace quorvane
