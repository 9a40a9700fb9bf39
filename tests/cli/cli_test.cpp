// Runs quorvane-cli as a user would and checks what it prints, writes and answers.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Run {
    int exitCode = -1;
    std::string out;
};

// env: more VAR=value settings; withStderr: standard error joins the output.
Run runCli(const std::string& args, const fs::path& tmpdir, const std::string& env = "", bool withStderr = false) {
    const std::string command = "TMPDIR='" + tmpdir.string() + "' " + env + " '" QUORVANE_BINARY_DIR "/quorvane-cli' " + args +
                                (withStderr ? " 2>&1" : " 2>/dev/null");
    Run run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("quorvane-cli-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "tmp");
    }
    void TearDown() override {
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(root);
    }

    // A card of 64 KB holding two JPEG starts; the rest is filler that starts nothing.
    fs::path makeCard() {
        std::vector<char> bytes(128 * 512, '\x5A');
        for (std::size_t sector : {4u, 40u}) std::copy_n("\xFF\xD8\xFF\xE0", 4, bytes.begin() + sector * 512);
        const auto path = root / "card.img";
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    fs::path root;
};

TEST_F(CommandLine, RecoversAReadOnlyImageWithTheScanMethodAndReportsInJson) {
    const auto card = makeCard();
    fs::permissions(card, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto run = runCli("recover '" + card.string() + "' --method scan --dest '" + (root / "out").string() +
                                "' --prefix photo --json",
                            root / "tmp");
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const auto report = nlohmann::json::parse(run.out);
    EXPECT_EQ(report["method"], "scan");
    EXPECT_EQ(report["sectors"], 128);
    EXPECT_EQ(report["read_errors"], 0);
    EXPECT_EQ(report["stopped"], false);
    ASSERT_EQ(report["files"].size(), 2u);
    EXPECT_EQ(report["files"][0]["size"], 36 * 512);
    EXPECT_EQ(report["files"][1]["size"], 88 * 512);
    EXPECT_EQ(report["files"][0]["saved"], (root / "out" / "photo0.JPG").string());
    EXPECT_TRUE(fs::exists(root / "out" / "photo1.JPG"));
    EXPECT_TRUE(fs::is_empty(root / "tmp")) << "the staging folder is removed after the run";
}

TEST_F(CommandLine, AnErrorInsideARunEndsItAsFailedWithItsReasonAndSavesTheFilesFoundSoFar) {
    const auto card = makeCard();
    // The read of sector 40, where the second picture starts, throws inside the run.
    const std::string fault = "QUORVANE_TEST_THROW_AT_SECTOR=40";
    const std::string recover = "recover '" + card.string() + "' --method scan --prefix photo --dest ";

    const auto json = runCli(recover + "'" + (root / "json").string() + "' --json", root / "tmp", fault);
    EXPECT_EQ(json.exitCode, 5) << json.out;
    const auto report = nlohmann::json::parse(json.out);
    EXPECT_EQ(report["failure"], "The recovery stopped: the read of sector 40 was made to fail");
    EXPECT_EQ(report["stopped"], false);
    EXPECT_EQ(report["sectors"], 40);
    ASSERT_EQ(report["files"].size(), 1u);
    EXPECT_EQ(report["files"][0]["size"], 36 * 512);
    EXPECT_TRUE(fs::exists(root / "json" / "photo0.JPG"));

    const auto text = runCli(recover + "'" + (root / "text").string() + "'", root / "tmp", fault, true);
    EXPECT_EQ(text.exitCode, 5) << text.out;
    EXPECT_NE(text.out.find("error: The recovery stopped: the read of sector 40 was made to fail"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Failed (scan method): 40 of 128 sectors read, 0 read errors, 1 files found, 1 saved to"),
              std::string::npos)
        << text.out;
    EXPECT_EQ(text.out.find("Done"), std::string::npos) << text.out;
    EXPECT_TRUE(fs::is_empty(root / "tmp")) << "the staging folder is removed after the run";
}

TEST_F(CommandLine, ExplainsAndFailsForBadInput) {
    struct Case {
        const char* name;
        std::string args;
        int exitCode;
    };
    const auto card = makeCard();
    fs::create_directories(root / "empty");
    std::ofstream(root / "empty.img").close();
    const Case cases[] = {
        {"missing image", "recover '" + (root / "nothing.img").string() + "' --dest '" + (root / "o").string() + "'", 2},
        {"empty image", "info '" + (root / "empty.img").string() + "'", 2},
        {"a folder is no drive", "info '" + (root / "empty").string() + "'", 2},
        {"no such letter", "info Q:", 2},
        {"unknown method", "recover '" + card.string() + "' --method magic --dest x", 1},
        {"no destination", "recover '" + card.string() + "'", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(runCli(c.args, root / "tmp").exitCode, c.exitCode);
    }
}

}  // namespace
