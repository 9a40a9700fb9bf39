// Runs quorvane-cli as a user would and checks what it prints, writes and answers.
#include "platform/image_fixtures.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Run {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// env: more VAR=value settings; withStderr: standard error joins the output. Otherwise standard
// error goes to a file beside tmpdir, which the program uses as its TMPDIR.
Run runCli(const std::string& args, const fs::path& tmpdir, const std::string& env = "", bool withStderr = false) {
    const fs::path errFile = tmpdir.string() + ".stderr";
    const std::string command = "TMPDIR='" + tmpdir.string() + "' " + env + " '" QUORVANE_BINARY_DIR "/quorvane-cli' " + args +
                                (withStderr ? std::string(" 2>&1") : " 2>'" + errFile.string() + "'");
    Run run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile);
    run.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    return run;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Starts quorvane-cli in the background with one more VAR=value setting, standard error into
// errFile; its process id.
pid_t startCli(const std::vector<std::string>& args, const fs::path& tmpdir, const std::string& setting,
               const fs::path& errFile) {
    const std::string binary = QUORVANE_BINARY_DIR "/quorvane-cli";
    std::vector<std::string> words{binary};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<std::string> environment{"TMPDIR=" + tmpdir.string(), setting};
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("TMPDIR=", 0) != 0) environment.emplace_back(*e);
    }
    std::vector<char*> argv, envp;
    for (auto& w : words) argv.push_back(w.data());
    for (auto& e : environment) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(err, 2);
    ::execve(binary.c_str(), argv.data(), envp.data());
    ::_exit(127);
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
    EXPECT_EQ(namesIn(root / "out"), (std::vector<std::string>{"photo0.JPG", "photo1.JPG", "recovery-report.json"}))
        << "the staging folder is removed after the run";
    EXPECT_TRUE(fs::is_empty(root / "tmp"));
    // The destination keeps the same report, each file with how it was found and where it began.
    std::ifstream saved(root / "out" / "recovery-report.json");
    const auto kept = nlohmann::json::parse(saved, nullptr, false);
    ASSERT_TRUE(kept.is_object());
    EXPECT_EQ(kept["files"], report["files"]);
    EXPECT_EQ(report["files"][0]["method"], "scan");
    EXPECT_EQ(report["files"][1]["first_sector"], 40);
    EXPECT_TRUE(report["files"][0]["original_path"].is_null());
}

// The line is redrawn at most five times a second; the last position of a run comes right after
// an earlier one and must still be shown.
TEST_F(CommandLine, OnATerminalTheProgressLineEndsAt100Percent) {
    const auto card = makeCard();
    const std::string cli = "'" QUORVANE_BINARY_DIR "/quorvane-cli' recover '" + card.string() +
                            "' --method scan --dest '" + (root / "out").string() + "'";
    // script(1) gives the program a terminal, as a user's shell does; the terminal's output is ours.
    FILE* pipe = ::popen(("TMPDIR='" + (root / "tmp").string() + "' script -qec \"" + cli + "\" /dev/null").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ASSERT_EQ(::pclose(pipe), 0) << out;
    const auto lastRedraw = out.rfind("\rsector ");
    ASSERT_NE(lastRedraw, std::string::npos) << out;
    const std::string line = out.substr(lastRedraw + 1, out.find_first_of("\r\n", lastRedraw + 1) - lastRedraw - 1);
    EXPECT_EQ(line.rfind("sector 128 (100%)", 0), 0u) << line;
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
    EXPECT_NE(text.out.find("Failed (scan method): 40 of 128 sectors read, 0 read errors, 1 file found, "),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find(", 1 saved to"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("Done"), std::string::npos) << text.out;
    EXPECT_TRUE(fs::is_empty(root / "tmp")) << "the staging folder is removed after the run";
}

TEST_F(CommandLine, AVolumeTheFolderMethodCannotReadFailsPlainlyAndAutoTakesTheScanMethod) {
    struct Case {
        const char* name;
        const char* tool;
        const char* command;  // makes volume.img in the current folder
        const char* holds;
    };
    const Case cases[] = {
        {"NTFS", "mkfs.ntfs", "truncate -s 8M volume.img && mkfs.ntfs -q -F -f volume.img", "holds an NTFS file system, which"},
        {"ext4", "mkfs.ext4", "truncate -s 8M volume.img && mkfs.ext4 -q volume.img", "holds an ext4 file system, which"},
        {"garbage boot sector", "mkfs.fat", "mkfs.fat -C volume.img 8192 && yes garbage | head -c 512 | dd of=volume.img conv=notrunc",
         "holds no file system that can be recognised"},
        {"4096-byte sectors", "mkfs.fat", "mkfs.fat -C -S 4096 volume.img 8192", "holds a FAT12 file system with sectors of 4096 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::system(("command -v " + std::string(c.tool) + " >/dev/null").c_str()) != 0) continue;
        fs::remove(root / "volume.img");
        ASSERT_EQ(std::system(("cd '" + root.string() + "' && (" + c.command + ") >/dev/null 2>&1").c_str()), 0);
        const std::string image = "'" + (root / "volume.img").string() + "'";
        fs::remove_all(root / "out");
        const std::string dest = " --dest '" + (root / "out").string() + "'";

        const auto folder = runCli("recover " + image + " --method folder" + dest, root / "tmp", "", true);
        EXPECT_EQ(folder.exitCode, 2) << folder.out;
        EXPECT_NE(folder.out.find(c.holds), std::string::npos) << folder.out;
        EXPECT_NE(folder.out.find("the scan method can still recover its pictures"), std::string::npos) << folder.out;
        EXPECT_EQ(folder.out.find("Done"), std::string::npos) << folder.out;
        EXPECT_EQ(folder.out.find("Bad parameters"), std::string::npos) << folder.out;
        EXPECT_TRUE(fs::is_empty(root / "out")) << "nothing saved";

        const auto json = runCli("recover " + image + " --method folder --json" + dest, root / "tmp");
        EXPECT_EQ(json.exitCode, 2) << json.out;
        const auto report = nlohmann::json::parse(json.out, nullptr, false);
        ASSERT_TRUE(report.is_object()) << json.out;
        EXPECT_NE(report.value("error", std::string()).find(c.holds), std::string::npos) << json.out;
        EXPECT_EQ(report["method"], "folder");
        EXPECT_TRUE(report["files"].empty());

        // auto takes the proposal; the default combined run is the scan alone here, said once.
        for (const char* method : {" --method auto", ""}) {
            SCOPED_TRACE(method);
            const auto autoRun = runCli("recover " + image + method + dest, root / "tmp", "", true);
            EXPECT_EQ(autoRun.exitCode, 0) << autoRun.out;
            const auto said = autoRun.out.find(c.holds);
            EXPECT_NE(said, std::string::npos) << autoRun.out;
            EXPECT_EQ(autoRun.out.find(c.holds, said + 1), std::string::npos) << autoRun.out;
            EXPECT_NE(autoRun.out.find("scan method proposed"), std::string::npos) << autoRun.out;
            EXPECT_NE(autoRun.out.find("Done (scan method): 16384 of 16384 sectors read"), std::string::npos) << autoRun.out;
            EXPECT_TRUE(fs::is_empty(root / "tmp")) << "the staging folder is removed after the run";
        }
    }
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
        {"no command", "", 1},
        {"a flag and its opposite", "recover '" + card.string() + "' --deleted --no-deleted --dest '" + (root / "o").string() + "'", 1},
        {"lost files with the scan method", "recover '" + card.string() + "' --method scan --lost --dest '" + (root / "o").string() + "'", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(runCli(c.args, root / "tmp").exitCode, c.exitCode);
    }
    EXPECT_FALSE(fs::exists(root / "o")) << "a refused command makes nothing";
    const auto version = runCli("--version", root / "tmp");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, runCli("version", root / "tmp").out);
    EXPECT_EQ(version.out.rfind("Quorvane\n", 0), 0u) << version.out;
}

TEST_F(CommandLine, ADestinationThatCannotTakeTheFilesIsRefusedBeforeTheCardIsRead) {
    const auto card = makeCard();
    std::ofstream(root / "a-file") << "in the way";
    const std::string file = (root / "a-file").string();
    struct Case {
        const char* name;
        std::string dest;
        std::string message;
    };
    const Case cases[] = {
        {"a file", file, file + " is a file, not a folder: the recovered files are saved into a folder."},
        {"a folder under a file", file + "/out", file + "/out cannot be made: " + file + " is a file, not a folder."},
        {"a folder where nothing can be made", "/proc/quorvane-out",
         "/proc/quorvane-out cannot be made in /proc: No such file or directory."},
    };
    // A read of the card would end the run with 5.
    const std::string fault = "QUORVANE_TEST_THROW_AT_SECTOR=0";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string recover = "recover '" + card.string() + "' --method scan --dest '" + c.dest + "'";
        const auto text = runCli(recover, root / "tmp", fault);
        EXPECT_EQ(text.exitCode, 4);
        EXPECT_EQ(text.err, "error: " + c.message + "\n") << "nothing else is said or done";
        EXPECT_EQ(text.out, "");
        const auto json = runCli(recover + " --json", root / "tmp", fault);
        EXPECT_EQ(json.exitCode, 4);
        const auto report = nlohmann::json::parse(json.out);
        EXPECT_EQ(report["error"], c.message);
        EXPECT_EQ(report["destination"], c.dest);
        EXPECT_TRUE(report["files"].empty());
    }
    EXPECT_TRUE(fs::is_empty(root / "tmp"));
}

// The default combined run with --keep-names: a deleted photo comes back under its folder and
// name with the time its entry gives; a photo left only in the data area (its folder formatted
// away) keeps prefix + number and gets the time its camera wrote into it.
TEST_F(CommandLine, KeepNamesSavesNamedFilesInTheirFoldersAndEveryFileWithItsOwnTime) {
    const std::string dir = root.string();
    const auto sh = [&](const std::string& command) {
        return std::system(("cd '" + dir + "' && (" + command + ") >>tools.log 2>&1").c_str());
    };
    if (sh("command -v convert && command -v exiftool && command -v mcopy") != 0) GTEST_SKIP() << "needs imagemagick, exiftool, mtools";
    ASSERT_EQ(sh("convert -size 320x240 plasma: named.jpg && touch -d '2021-06-15 10:20:30' named.jpg && "
                 "convert -size 300x200 plasma: carved.jpg && "
                 "exiftool -q -overwrite_original '-DateTimeOriginal=2019:02:03 04:05:06' carved.jpg && "
                 "mkfs.fat -C -F 16 -s 4 card.img 16384 && export MTOOLS_SKIP_CHECK=1 && "
                 "mmd -i card.img ::DCIM ::DCIM/100CANON ::OLD && "
                 "mcopy -m -i card.img named.jpg '::DCIM/100CANON/Holiday photo.jpg' && "
                 "mcopy -i card.img carved.jpg ::OLD/x.jpg && "
                 "mdel -i card.img '::DCIM/100CANON/Holiday photo.jpg' && mdeltree -i card.img ::OLD"),
              0);
    // The deleted folder OLD is overwritten at its entries: its photo is found only by the scan.
    ASSERT_EQ(sh("python3 -c \"import sys; b=bytearray(open('card.img','rb').read()); "
                 "i=b.find(b'\\xe5LD        '); b[i:i+32]=bytes(32); open('card.img','wb').write(b)\""),
              0);
    const auto run = runCli("recover '" + dir + "/card.img' --keep-names --dest '" + dir + "/out'", root / "tmp", "", true);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const auto localTime = [](int y, int mo, int d, int h, int mi, int s) {
        std::tm tm{};
        tm.tm_year = y - 1900, tm.tm_mon = mo - 1, tm.tm_mday = d, tm.tm_hour = h, tm.tm_min = mi, tm.tm_sec = s;
        tm.tm_isdst = -1;
        return std::mktime(&tm);
    };
    const auto modified = [](const fs::path& p) {
        struct stat st{};
        return ::stat(p.c_str(), &st) == 0 ? st.st_mtime : 0;
    };
    const fs::path named = root / "out" / "DCIM" / "100CANON" / "Holiday photo.jpg";
    ASSERT_TRUE(fs::exists(named)) << run.out;
    EXPECT_EQ(modified(named), localTime(2021, 6, 15, 10, 20, 30));
    const fs::path carved = root / "out" / "image1.JPG";
    ASSERT_TRUE(fs::exists(carved)) << run.out;
    EXPECT_EQ(modified(carved), localTime(2019, 2, 3, 4, 5, 6));
    std::ifstream report(root / "out" / "recovery-report.json");
    const auto kept = nlohmann::json::parse(report, nullptr, false);
    ASSERT_TRUE(kept.is_object());
    ASSERT_EQ(kept["files"].size(), 2u) << "each file once";
    EXPECT_EQ(kept["files"][0]["original_path"], "DCIM/100CANON/Holiday photo.jpg");
    EXPECT_EQ(kept["files"][0]["method"], "folder");
    EXPECT_EQ(kept["files"][1]["method"], "scan");
}

TEST_F(CommandLine, FilesAreStagedInTheDestinationSoATemporaryFolderThatTakesNoneDoesNotStopARun) {
    const auto card = makeCard();
    const auto run = runCli("recover '" + card.string() + "' --method scan --dest '" + (root / "out").string() + "'",
                            root / "tmp", "TMPDIR=/proc/quorvane-no-temporary-folder", true);
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(namesIn(root / "out"), (std::vector<std::string>{"image0.JPG", "image1.JPG", "recovery-report.json"}));
}

TEST_F(CommandLine, ASecondCtrlCQuitsAtOnceAndSaysWhereTheFilesFoundSoFarAre) {
    const auto card = makeCard();
    const fs::path dest = root / "out";
    const fs::path errFile = root / "stderr";
    // The read of sector 40 hangs like a card that stopped answering, with the first picture
    // (sectors 4 to 39) staged so far.
    const std::vector<std::string> args{"recover", card.string(), "--method", "scan", "--sectors-at-once", "1",
                                        "--dest", dest.string()};
    const pid_t pid = startCli(args, root / "tmp", "QUORVANE_TEST_STALL_AT_SECTOR=40", errFile);
    ASSERT_GT(pid, 0);
    struct Reap {
        pid_t pid;
        bool done = false;
        ~Reap() {
            if (done) return;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    } reap{pid};

    fs::path staging, picture;
    for (int i = 0; i < 400 && picture.empty(); ++i) {
        std::error_code ec;
        for (const auto& run : fs::directory_iterator(dest, ec)) {
            if (run.path().filename().string().rfind(".quorvane-run-", 0) != 0) continue;
            for (const auto& f : fs::directory_iterator(run.path(), ec)) {
                if (fs::file_size(f.path(), ec) != 36 * 512 || ec) continue;
                staging = run.path();
                picture = f.path();
            }
        }
        if (picture.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_FALSE(picture.empty()) << "the run stages inside the destination";

    // Ctrl-C until the program ends: the first asks the stalled run to stop, a later one quits.
    int status = 0;
    for (int i = 0; i < 50 && !reap.done; ++i) {
        ::kill(pid, SIGINT);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        reap.done = ::waitpid(pid, &status, WNOHANG) == pid;
    }
    ASSERT_TRUE(reap.done);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    std::ifstream in(errFile);
    const std::string err(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(err.find("\nQuit at once: the files found so far are in " + staging.string() + "/ (not yet saved to " +
                       dest.string() + ").\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(fs::file_size(picture), 36u * 512) << "kept where the message says";
    EXPECT_TRUE(fs::is_empty(root / "tmp"));
}

// Whole-card dumps: an MBR card (FAT16 partition 1, FAT32 partition 2) and a GPT card (ext2
// partition 1, FAT16 partition 2), made by sfdisk, mkfs.fat and mkfs.ext2, each FAT partition with a
// photo that mtools wrote and deleted.
class PartitionedCards : public CommandLine {
protected:
    void SetUp() override {
        CommandLine::SetUp();
        if (std::system("(command -v sfdisk && command -v mkfs.fat && command -v mkfs.ext2 && command -v mcopy) >/dev/null") != 0) {
            GTEST_SKIP() << "needs fdisk, dosfstools, e2fsprogs and mtools";
        }
        mbr = quorvane::testing::MakePartitionedImage(images, "mbr.img");
        gpt = quorvane::testing::MakeGptImage(images, "gpt.img");
        putDeletedPhoto(mbr, quorvane::testing::PART1_START, photoA);
        putDeletedPhoto(mbr, quorvane::testing::PART2_START, photoB);
        putDeletedPhoto(gpt, quorvane::testing::GPT2_START, photoC);
    }

    static std::string photo(std::size_t size, int seed) {
        std::string b(size, '\0');
        for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<char>((i * 131 + static_cast<std::size_t>(seed) * 17) % 251);
        b.replace(0, 4, "\xFF\xD8\xFF\xE0");
        return b;
    }

    void putDeletedPhoto(const std::string& image, std::uint64_t startSector, const std::string& bytes) {
        const std::string upload = images.file("upload.jpg");
        std::ofstream(upload, std::ios::binary) << bytes;
        const std::string target = "-i '" + image + "@@" + std::to_string(startSector * 512) + "' ";
        ASSERT_EQ(quorvane::testing::RunTool("mmd " + target + "::DCIM && mcopy " + target + "'" + upload +
                                             "' ::DCIM/IMG_0001.JPG && mdel " + target + "::DCIM/IMG_0001.JPG"),
                  0);
    }

    quorvane::testing::TempDir images;
    std::string mbr, gpt;
    const std::string photoA = photo(40'000, 1), photoB = photo(30'000, 2), photoC = photo(20'000, 3);
};

TEST_F(PartitionedCards, TheFolderMethodReadsTheNamedOrFirstFatPartition) {
    struct Case {
        const char* name;
        std::string drive;
        int exitCode;
        const std::string* photo;  // the one file recovered; nullptr: none
        std::string note;          // on standard error
    };
    const Case cases[] = {
        {"MBR, no partition named", mbr, 0, &photoA, "mbr.img: using partition 1 (FAT16, 8.00 MB) of 2"},
        {"MBR, partition 2 named", mbr + "@2", 0, &photoB, ""},
        {"GPT: the FAT partition after the ext2 one", gpt, 0, &photoC, "gpt.img: using partition 2 (FAT16, 20.00 MB) of 2"},
        {"a partition that is not there", mbr + "@5", 2, nullptr,
         "mbr.img has no partition 5; its partitions are 1 (FAT16, 8.00 MB), 2 (FAT32, 41.00 MB)."},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path out = root / ("out" + std::to_string(n++));
        const auto run = runCli("recover '" + c.drive + "' --method folder --dest '" + out.string() + "'", root / "tmp");
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.err.find(c.note), std::string::npos) << run.err;
        if (c.note.empty()) {
            EXPECT_EQ(run.err.find("using partition"), std::string::npos) << run.err;
        }
        std::vector<std::string> files;
        if (fs::exists(out)) {
            for (const auto& f : fs::directory_iterator(out)) {
                if (f.path().extension() == ".json") continue;  // the run's report
                std::ifstream in(f.path(), std::ios::binary);
                files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            }
        }
        if (c.photo == nullptr) {
            EXPECT_TRUE(files.empty());
        } else {
            ASSERT_EQ(files.size(), 1u);
            EXPECT_TRUE(files[0] == *c.photo) << "recovered " << files[0].size() << " bytes";
        }
    }
}

TEST_F(PartitionedCards, InfoAndListShowThePartitionTable) {
    const auto info = runCli("info '" + mbr + "' --json", root / "tmp");
    ASSERT_EQ(info.exitCode, 0) << info.err;
    const auto j = nlohmann::json::parse(info.out);
    EXPECT_EQ(j["partition"], 1);
    EXPECT_EQ(j["file_system"], "FAT16");
    EXPECT_EQ(j["partition_table"]["kind"], "MBR");
    struct Row {
        int number, startSector, sectors;
        const char *type, *fileSystem;
    };
    const Row rows[] = {{1, 2048, 16384, "0x0e", "FAT16"}, {2, 18432, 83968, "0x0c", "FAT32"}};
    ASSERT_EQ(j["partition_table"]["partitions"].size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const auto& p = j["partition_table"]["partitions"][i];
        EXPECT_EQ(p["number"], rows[i].number);
        EXPECT_EQ(p["start_sector"], rows[i].startSector);
        EXPECT_EQ(p["sectors"], rows[i].sectors);
        EXPECT_EQ(p["type"], rows[i].type);
        EXPECT_EQ(p["file_system"], rows[i].fileSystem);
    }

    // As text, the partition the drive reads is marked.
    const auto text = runCli("info '" + gpt + "@1'", root / "tmp");
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("Partition table: GPT, 2 partitions\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\n  *  1          2048        16384    8.00 MB  Linux filesystem"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\n     2         18432        40960   20.00 MB  Microsoft basic data"), std::string::npos)
        << text.out;

    const auto list = runCli("list '" + mbr + "' --json", root / "tmp");
    ASSERT_EQ(list.exitCode, 0) << list.err;
    const auto drives = nlohmann::json::parse(list.out);
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0]["partition_table"], "MBR");
    const std::pair<std::uint64_t, const char*> places[] = {{0, ""}, {1048576, "FAT16"}, {9437184, "FAT32"}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(drives[i]["partition"], i);
        EXPECT_EQ(drives[i]["start"], places[i].first);
        EXPECT_EQ(drives[i]["file_system"], places[i].second);
    }
    EXPECT_EQ(runCli("list '" + (root / "missing.img").string() + "'", root / "tmp").exitCode, 2);
}

}  // namespace
