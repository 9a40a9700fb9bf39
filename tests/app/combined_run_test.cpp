// The combined run on cards with the histories real cards have, made with mtools: a deleted
// folder tree, photos written into the holes of deleted ones, a deleted entry taken over by a
// later file, a quick format over old photos. It gives back every photo whose bytes still lie on
// the card, byte-exact, each once, and never fewer than the better of the two methods alone.
#include "app/recovery_run.h"
#include "platform/drive_table.h"
#include "scan_card.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class CombinedRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("quorvane-combined-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        DriveTable::instance().clear();
    }
    void TearDown() override {
        DriveTable::instance().clear();
        fs::remove_all(dir);
    }
    void Sh(const std::string& command) {
        const std::string cmd = "cd '" + dir.string() + "' && export MTOOLS_SKIP_CHECK=1 && (" + command + ") >>tools.log 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << command;
    }
    // Photos p1.jpg ... pN.jpg of different sizes, each decodable as a whole.
    void MakePhotos(int n) {
        for (int i = 1; i <= n; ++i) {
            const int w = 200 + 37 * i, h = 150 + 23 * i;
            Sh("convert -size " + std::to_string(w) + "x" + std::to_string(h) + " -seed " + std::to_string(i) +
               " plasma:fractal -quality 90 p" + std::to_string(i) + ".jpg");
        }
    }

    struct Outcome {
        std::vector<Bytes> files;
        std::size_t staged = 0;
    };
    Outcome Run(TRecoveryMethod method, bool lost) {
        std::string error;
        const auto drives = DriveTable::instance().addPath((dir / "card.img").string(), error);
        EXPECT_FALSE(drives.empty()) << error;
        TRecoveryPlan plan;
        plan.Drive = drives.empty() ? 0 : drives.front();
        plan.Method = method;
        plan.RecoverDeleted = true;
        plan.LookForLost = lost;
        RecoveryRun run(plan);
        run.Run();
        Outcome out;
        for (const auto& f : run.Staged().Files()) out.files.push_back(ReadAll(f.Path));
        out.staged = out.files.size();
        run.Staged().DeleteStagedFiles();
        DriveTable::instance().clear();
        return out;
    }
    // The photos (by name) that come back byte-exact in out.
    std::set<std::string> Exact(const Outcome& out, const std::vector<std::string>& names) {
        std::set<std::string> exact;
        for (const auto& name : names) {
            const Bytes original = ReadAll(dir / name);
            if (std::find(out.files.begin(), out.files.end(), original) != out.files.end()) exact.insert(name);
        }
        return exact;
    }
    // The photos whose bytes lie whole and in one piece on the card.
    std::set<std::string> OnCard(const std::vector<std::string>& names) {
        const Bytes image = ReadAll(dir / "card.img");
        std::set<std::string> present;
        for (const auto& name : names) {
            const Bytes original = ReadAll(dir / name);
            if (std::search(image.begin(), image.end(), original.begin(), original.end()) != image.end()) present.insert(name);
        }
        return present;
    }

    fs::path dir;
};

TEST_F(CombinedRun, EveryPhotoStillOnTheCardComesBackOnceAndNoFewerThanEitherMethodAlone) {
    MakePhotos(12);
    struct History {
        const char* name;
        const char* commands;
        bool lost;
        const char* inPieces = nullptr;  // a photo that lies in pieces, which only its rebuild gives back
    };
    const History histories[] = {
        {"deleted tree, holes filled, an entry taken over",
         // p1-p6 in DCIM/100CANON, p7-p9 in DCIM/101CANON; p2 and p4 deleted and p10 written into p2's
         // hole; p5 deleted and its entry taken by p11, written after the others; then the folder
         // 101CANON deleted with its photos; p12 stays live.
         "mkfs.fat -C -F 16 -s 4 card.img 16384 && mmd -i card.img ::DCIM ::DCIM/100CANON ::DCIM/101CANON && "
         "for i in 1 2 3 4 5 6; do mcopy -i card.img p$i.jpg ::DCIM/100CANON/P$i.JPG; done && "
         "for i in 7 8 9; do mcopy -i card.img p$i.jpg ::DCIM/101CANON/P$i.JPG; done && "
         "mcopy -i card.img p12.jpg ::DCIM/100CANON/P12.JPG && "
         "mdel -i card.img ::DCIM/100CANON/P2.JPG ::DCIM/100CANON/P4.JPG && "
         "convert -size 90x70 -seed 99 plasma:fractal small.jpg && mcopy -i card.img small.jpg ::DCIM/100CANON/P10.JPG && "
         "mdel -i card.img ::DCIM/100CANON/P5.JPG && mcopy -i card.img p11.jpg ::DCIM/100CANON/P11.JPG && "
         "mdeltree -i card.img ::DCIM/101CANON",
         false},
        {"a deleted photo in pieces around deleted ones",
         // p11 fills p2's hole and goes on after p6; then p11 and p4 are deleted, so reading p11's
         // free clusters one after the other runs into p4's photo: only its rebuild finds it whole.
         "mkfs.fat -C -F 16 -s 4 card.img 16384 && mmd -i card.img ::DCIM && "
         "for i in 1 2 3 4 5 6; do mcopy -i card.img p$i.jpg ::DCIM/P$i.JPG; done && "
         "mdel -i card.img ::DCIM/P2.JPG && mcopy -i card.img p11.jpg ::DCIM/P11.JPG && "
         "mdel -i card.img ::DCIM/P11.JPG ::DCIM/P4.JPG",
         false, "p11.jpg"},
        {"quick format over old photos",
         "mkfs.fat -C -F 16 -s 4 card.img 16384 && mmd -i card.img ::DCIM ::DCIM/100CANON && "
         "for i in 1 2 3 4 5 6 7 8; do mcopy -i card.img p$i.jpg ::DCIM/100CANON/P$i.JPG; done && "
         "mdel -i card.img ::DCIM/100CANON/P3.JPG && mkfs.fat -F 16 -s 4 card.img && "
         "mcopy -i card.img p12.jpg ::NEW.JPG",
         true},
    };
    std::vector<std::string> names;
    for (int i = 1; i <= 11; ++i) names.push_back("p" + std::to_string(i) + ".jpg");
    for (const History& h : histories) {
        SCOPED_TRACE(h.name);
        fs::remove(dir / "card.img");
        Sh(h.commands);
        const std::set<std::string> onCard = OnCard(names);
        const auto both = Run(TRecoveryMethod::Both, h.lost);
        const auto folder = Exact(Run(TRecoveryMethod::Folder, h.lost), names);
        const auto scan = Exact(Run(TRecoveryMethod::Scan, false), names);
        const auto combined = Exact(both, names);
        for (const auto& name : onCard) EXPECT_TRUE(combined.count(name)) << name << " lies on the card but did not come back";
        if (h.inPieces != nullptr) {
            EXPECT_FALSE(onCard.count(h.inPieces)) << "the history must leave it in pieces";
            EXPECT_FALSE(folder.count(h.inPieces));
            EXPECT_TRUE(combined.count(h.inPieces)) << h.inPieces << " was not rebuilt";
        }
        EXPECT_GE(combined.size(), std::max(folder.size(), scan.size()));
        // Each file once: no photo is staged twice (the live ones are carved, as the scan alone does).
        std::set<Bytes> distinct(both.files.begin(), both.files.end());
        EXPECT_EQ(distinct.size(), both.files.size());
    }
}

}  // namespace
}  // namespace quorvane::testing
