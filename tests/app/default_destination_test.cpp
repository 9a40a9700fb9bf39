// Where recovered files go by default: "Recovered" beside the program when the user may write
// there, else in the user's pictures folder, else the program's folder itself.
#include "app/program_folder.h"
#include "platform/image_fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <unistd.h>

using namespace quorvane;
using quorvane::testing::TempDir;

namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// A program folder the user may not write to. Root writes anywhere, so there a folder that does
// not exist stands in for it.
std::string unwritableFolder(const TempDir& dir) {
    const std::string folder = dir.file("bin");
    std::filesystem::create_directory(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    return (::geteuid() == 0 ? folder + "/missing" : folder) + "/";
}

class DefaultDestinationTest : public ::testing::Test {
protected:
    void TearDown() override { SetProgramFolder(""); }
    TempDir dir_;
};

}  // namespace

TEST_F(DefaultDestinationTest, BesideAWritableProgram) {
    const std::string program = dir_.file("app") + "/";
    std::filesystem::create_directory(program);
    SetProgramFolder(program);
    EXPECT_EQ(DefaultDestinationFolder(), program + "Recovered");
    EXPECT_TRUE(IsFolder(program + "Recovered"));
}

TEST_F(DefaultDestinationTest, InThePicturesFolderWhenTheProgramsFolderIsNotWritable) {
    const std::string home = dir_.file("home");
    std::filesystem::create_directories(home + "/.config");
    std::ofstream(home + "/.config/user-dirs.dirs") << "XDG_PICTURES_DIR=\"$HOME/My Photos/2026\"\n";
    ScopedEnv h("HOME", home), c("XDG_CONFIG_HOME", home + "/.config");
    SetProgramFolder(unwritableFolder(dir_));
    // The pictures folder and its parents are made when missing.
    EXPECT_EQ(DefaultDestinationFolder(), home + "/My Photos/2026/Recovered");
    EXPECT_TRUE(IsFolder(home + "/My Photos/2026/Recovered"));
}

TEST_F(DefaultDestinationTest, TheProgramsFolderWhenNothingCanBeMade) {
    // HOME is a file, so no pictures folder can be made below it.
    const std::string home = dir_.file("home");
    std::ofstream(home) << "not a folder";
    ScopedEnv h("HOME", home), c("XDG_CONFIG_HOME", home + "/.config");
    const std::string program = unwritableFolder(dir_);
    SetProgramFolder(program);
    EXPECT_EQ(DefaultDestinationFolder(), program.substr(0, program.size() - 1));
}
