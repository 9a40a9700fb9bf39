// The refusals of `quorvane-cli update`, seen from outside: the built program, copied into a folder
// of its own with a Quorvane.ini that names the control file, run as root, as an ordinary user
// over a folder it cannot write (a packaged installation), and against addresses that are not
// https or a server whose certificate nobody vouches for.
#include "update/loopback_server.h"
#include "update/update_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quorvane {
namespace {

using ::testing::HasSubstr;

const std::string cliPath = std::string(QUORVANE_BINARY_DIR) + "/quorvane-cli";

struct Outcome {
    int exitCode = -1;
    std::string output;  // standard output and standard error
};

// Runs program with args, as the user uid when given (the tests run as root on the build machines).
Outcome run(const std::string& program, const std::vector<std::string>& args, const std::string& outputFile,
            std::optional<uid_t> uid = std::nullopt, gid_t gid = 0) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        if (uid && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(*uid) != 0)) ::_exit(125);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(126);
    }
    Outcome outcome;
    for (int i = 0; i < 3000; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            outcome.output = testing::ReadText(outputFile);
            return outcome;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return outcome;
}

class UpdateCliSecurity : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::Exists(cliPath)) GTEST_SKIP() << "build the quorvane-cli target first";
        // Others must reach the program to run it as another user.
        ::chmod(dir.Path().c_str(), 0755);
        app = dir / "app";
        std::filesystem::create_directories(app);
        std::filesystem::copy_file(cliPath, app + "/quorvane-cli");
        ::chmod((app + "/quorvane-cli").c_str(), 0755);
        const passwd* nobody = ::getpwnam("nobody");
        if (nobody != nullptr) {
            nobodyUid = nobody->pw_uid;
            nobodyGid = nobody->pw_gid;
        }
    }

    void controlFileAt(const std::string& url) { testing::WriteText(app + "/Quorvane.ini", "[LiveUpdate]\nURL=" + url + "\n"); }

    // As this user, or as "nobody" when this is root (which the update refuses).
    Outcome runAsUser(const std::vector<std::string>& args) {
        if (::geteuid() != 0) return run(app + "/quorvane-cli", args, dir / "output");
        return run(app + "/quorvane-cli", args, dir / "output", nobodyUid, nobodyGid);
    }

    testing::ScratchFolder dir;
    std::string app;
    uid_t nobodyUid = 65534;
    gid_t nobodyGid = 65534;
};

TEST_F(UpdateCliSecurity, RootIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root";
    controlFileAt("https://127.0.0.1:1/quorvane.inf");
    const Outcome o = run(app + "/quorvane-cli", {"update"}, dir / "output");
    EXPECT_EQ(o.exitCode, 3);
    EXPECT_THAT(o.output, HasSubstr("does not run as root"));
}

TEST_F(UpdateCliSecurity, APackagedInstallationIsLeftToThePackageManager) {
    controlFileAt("https://127.0.0.1:1/quorvane.inf");
    // Owned by root and not writable by anyone else, as a package installs it; or, not being
    // root, simply read-only.
    ::chmod(app.c_str(), ::geteuid() == 0 ? 0755 : 0555);
    const Outcome o = runAsUser({"update"});
    ::chmod(app.c_str(), 0755);
    EXPECT_EQ(o.exitCode, 3) << o.output;
    EXPECT_THAT(o.output, HasSubstr("package manager"));
}

TEST_F(UpdateCliSecurity, OnlyHttpsWithAVerifiedCertificate) {
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(app.c_str(), nobodyUid, nobodyGid), 0);
    }
    // A server of our own, whose certificate no authority of the system signed: what a machine in
    // the middle would offer.
    std::filesystem::create_directories(dir / "www");
    testing::LoopbackServer server(dir / "www", dir / "server.log");
    struct Case {
        const char* name;
        std::string url;
        std::vector<std::string> args;
        const char* refusal;
    };
    std::vector<Case> cases = {
        {"http, checking", "http://127.0.0.1:1/quorvane.inf", {"update", "--check"}, "only https"},
        {"http, updating", "http://127.0.0.1:1/quorvane.inf", {"update"}, "only https"},
    };
    if (server.Running())
        cases.push_back({"an unverified certificate", server.URL("quorvane.inf"), {"update", "--check"}, "could not be verified"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        controlFileAt(c.url);
        const Outcome o = runAsUser(c.args);
        EXPECT_EQ(o.exitCode, 6) << o.output;
        EXPECT_THAT(o.output, HasSubstr(c.refusal));
    }
    if (server.Running()) {
        EXPECT_TRUE(server.RequestedPaths().empty()) << "nothing is asked of an unverified server";
    }
}

}  // namespace
}  // namespace quorvane
