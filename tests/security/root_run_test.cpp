// A root run started through sudo or pkexec works for the user who started it: the default
// destination is that user's pictures folder, what is saved and made belongs to that user, and a
// symbolic link on the way that another user owns is not followed.
#include "app/destination_check.h"
#include "app/program_folder.h"
#include "platform/file_copy.h"
#include "platform/image_fixtures.h"
#include "platform/invoking_user.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {
namespace {

using testing::TempDir;

constexpr uid_t USER_ID = 4242;
constexpr gid_t GROUP_ID = 4243;
constexpr uid_t OTHER_USER_ID = 5555;

// Sets (or, with nullopt, removes) environment variables for one test and puts the old values back.
class ScopedEnv {
public:
    explicit ScopedEnv(const std::map<std::string, std::optional<std::string>>& values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name.c_str());
            old_[name] = old ? std::optional<std::string>(old) : std::nullopt;
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }
    ~ScopedEnv() {
        for (const auto& [name, value] : old_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }

private:
    std::map<std::string, std::optional<std::string>> old_;
};

uid_t ownerOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_uid : static_cast<uid_t>(-1);
}

class RootRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root";
        // The ids must not name a real account, whose home the test would write into.
        if (::getpwuid(USER_ID) != nullptr) GTEST_SKIP() << "uid " << USER_ID << " exists here";
    }
    void TearDown() override { SetProgramFolder(""); }

    // sudo as the test user, with HOME still naming a folder of the test.
    ScopedEnv sudoAsUser() const {
        return ScopedEnv({{"SUDO_UID", std::to_string(USER_ID)},
                          {"SUDO_GID", std::to_string(GROUP_ID)},
                          {"PKEXEC_UID", std::nullopt},
                          {"HOME", dir.file("home")},
                          {"XDG_CONFIG_HOME", std::nullopt}});
    }

    TempDir dir;
};

TEST_F(RootRun, TheInvokingUserIsTakenFromSudoOrPkexec) {
    const struct {
        const char* what;
        std::optional<std::string> sudo, sudoGroup, pkexec;
        std::optional<uid_t> uid;
    } cases[] = {
        {"sudo", "4242", "4243", std::nullopt, USER_ID},
        {"pkexec", std::nullopt, std::nullopt, "4242", USER_ID},
        {"sudo by root", "0", "0", std::nullopt, std::nullopt},
        {"not a number", "42x", "4243", std::nullopt, std::nullopt},
        {"neither", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedEnv env({{"SUDO_UID", c.sudo}, {"SUDO_GID", c.sudoGroup}, {"PKEXEC_UID", c.pkexec}});
        const auto user = InvokingUserOfRootRun();
        ASSERT_EQ(user.has_value(), c.uid.has_value());
        if (user) {
            EXPECT_EQ(user->uid, *c.uid);
        }
    }
}

TEST_F(RootRun, TheDefaultDestinationIsTheUsersPicturesFolderAndBelongsToTheUser) {
    const auto env = sudoAsUser();
    // The program's folder is writable for root, but pictures do not go beside the program.
    SetProgramFolder(dir.file("app"));
    std::filesystem::create_directories(dir.file("app"));
    std::filesystem::create_directories(dir.file("home") + "/.config");
    std::ofstream(dir.file("home") + "/.config/user-dirs.dirs") << "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n";

    EXPECT_EQ(DefaultDestinationFolder(), dir.file("home") + "/Bilder/Recovered");
    EXPECT_EQ(ownerOf(dir.file("home") + "/Bilder"), USER_ID);
    EXPECT_EQ(ownerOf(dir.file("home") + "/Bilder/Recovered"), USER_ID);
}

TEST_F(RootRun, SavedFilesAndMadeFoldersBelongToTheUser) {
    const auto env = sudoAsUser();
    const std::string destination = dir.file("dest");
    std::filesystem::create_directory(destination);  // there before: stays root's
    std::string error;
    ASSERT_TRUE(MakeDestinationFolder(destination + "/2024/DCIM", error)) << error;
    EXPECT_EQ(ownerOf(destination), 0u);
    EXPECT_EQ(ownerOf(destination + "/2024"), USER_ID);
    EXPECT_EQ(ownerOf(destination + "/2024/DCIM"), USER_ID);

    // A save by hard link (staged on the same file system) and one by copy (from /dev/shm or,
    // where that is the same file system, by link again).
    const std::string staged = dir.file("staged.jpg");
    std::ofstream(staged) << "picture";
    const std::vector<std::string> sources = {staged, "/dev/shm/quorvane-root-run-" + std::to_string(::getpid())};
    std::ofstream(sources[1]) << "picture";
    for (std::size_t i = 0; i < sources.size(); ++i) {
        SCOPED_TRACE(sources[i]);
        const std::string target = destination + "/2024/DCIM/IMG_" + std::to_string(i) + ".JPG";
        ASSERT_EQ(CopyToNewFile(sources[i], target).status, CopyStatus::Done);
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, USER_ID);
        EXPECT_EQ(st.st_gid, GROUP_ID);
    }
    std::filesystem::remove(sources[1]);
}

TEST_F(RootRun, ASymlinkOfAnotherUserOnTheWayIsNotFollowed) {
    const std::string real = dir.file("real");
    std::filesystem::create_directory(real);
    const std::string link = dir.file("link");
    std::filesystem::create_directory_symlink(real, link);
    const struct {
        const char* what;
        uid_t linkOwner;
        bool rootRun;
        bool refused;
    } cases[] = {
        {"another user's link in a root run", OTHER_USER_ID, true, true},
        {"the invoking user's own link", USER_ID, true, false},
        {"a link root made", 0, true, false},
        {"another user's link when not run through sudo", OTHER_USER_ID, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(::lchown(link.c_str(), c.linkOwner, c.linkOwner), 0);
        ScopedEnv env({{"SUDO_UID", c.rootRun ? std::optional<std::string>("4242") : std::nullopt},
                       {"PKEXEC_UID", std::nullopt}});
        for (const std::string& destination : {link, link + "/Recovered"}) {
            const std::string refusal = DestinationRefusal(destination);
            EXPECT_EQ(refusal.find("symbolic link that belongs to another user") != std::string::npos, c.refused)
                << destination << ": " << refusal;
        }
    }
}

}  // namespace
}  // namespace quorvane
