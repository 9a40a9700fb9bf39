// Recovering from an image file: the recovered files' bytes are copied from the image by the
// kernel, or read and written when it refuses; from a block device (a loop device over the image,
// when running as root) they are read and written. Whichever way they went, the files are the
// same, byte for byte, for the scan and the folder based method, on a whole image and on a
// partition inside one, a fragmented deleted photo and carved files cut inside their last sector
// included.
#include "app/recovery_run.h"
#include "app/staged_file.h"
#include "platform/file_copy.h"
#include "platform/image_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Kernel copies allowed again whatever a test did.
struct KernelCopyScope {
    explicit KernelCopyScope(bool allowed) { AllowKernelCopy(allowed); }
    ~KernelCopyScope() { AllowKernelCopy(true); }
};

class ImageCopy : public ::testing::Test {
protected:
    void SetUp() override { DriveTable::instance().clear(); }
    void TearDown() override { DriveTable::instance().clear(); }

    void Sh(const std::string& command) {
        ASSERT_EQ(RunTool("cd '" + dir.path().string() + "' && " + command), 0) << command;
    }

    // A FAT16 card with 2 KiB clusters at `at` (mtools' image@@offset form, or the bare image):
    // a note of one cluster, live photo LIVE, photos GONE1 (deleted, lying whole) and GONE2
    // (deleted, written into the note's hole and on past LIVE, so in two pieces).
    void MakeCard(const std::string& at) {
        Sh("convert -size 300x200 -seed 1 plasma:fractal -quality 90 live.jpg && "
           "convert -size 260x190 -seed 2 plasma:fractal -quality 85 gone1.jpg && "
           "convert -size 340x230 -seed 3 plasma:fractal -quality 92 gone2.jpg && head -c 1500 /dev/urandom >note.txt");
        Sh("mmd -i " + at + " ::DCIM && mcopy -i " + at + " note.txt ::DCIM/NOTE.TXT && mcopy -i " + at +
           " live.jpg ::DCIM/LIVE.JPG && mcopy -i " + at + " gone1.jpg ::DCIM/GONE1.JPG && mdel -i " + at +
           " ::DCIM/NOTE.TXT && mcopy -i " + at + " gone2.jpg ::DCIM/GONE2.JPG && mdel -i " + at +
           " ::DCIM/GONE1.JPG ::DCIM/GONE2.JPG");
    }

    struct Outcome {
        std::vector<Bytes> files;  // in the order staged
        CopyPathBytes moved;       // by each copy path during the run
    };
    Outcome Run(const std::string& image, std::size_t driveIndex, TRecoveryMethod method, bool kernel) {
        KernelCopyScope scope(kernel);
        std::string error;
        const auto drives = DriveTable::instance().addPath(image, error);
        EXPECT_GT(drives.size(), driveIndex) << error;
        TRecoveryPlan plan;
        plan.Drive = drives.size() > driveIndex ? drives[driveIndex] : 0;
        plan.Method = method;
        plan.CheckContent = false;
        plan.StagingParent = dir.file("staged");
        const CopyPathBytes before = CopiedBytesByPath();
        Outcome out;
        {
            RecoveryRun run(plan);
            run.Run();
            for (const auto& f : run.Staged().Files()) out.files.push_back(ReadAll(f.Path));
            run.Staged().DeleteStagedFiles();
        }
        const CopyPathBytes after = CopiedBytesByPath();
        out.moved = {after.kernel - before.kernel, after.readWrite - before.readWrite};
        DriveTable::instance().clear();
        return out;
    }

    TempDir dir;
};

TEST_F(ImageCopy, EveryCopyPathGivesTheSameFilesForEachMethodOnAWholeImageAndAPartition) {
    struct Layout {
        const char* name;
        const char* make;       // makes card.img
        const char* mtoolsAt;   // where mtools finds the FAT volume
        std::size_t driveIndex; // the drive of the volume among those the image adds
    };
    const Layout layouts[] = {
        {"whole image", "mkfs.fat -C --invariant -F 16 -s 4 card.img 16384", "card.img", 0},
        {"partition 1 of an MBR image",
         "truncate -s 20M card.img && printf 'label: dos\\nstart=2048, type=e\\n' | sfdisk -q card.img && "
         "mkfs.fat --invariant -F 16 -s 4 --offset 2048 card.img 16384",
         "card.img@@1M", 1},
    };
    struct Method {
        const char* name;
        TRecoveryMethod method;
        std::vector<const char*> exact;  // the photos that come back byte for byte
    };
    const Method methods[] = {
        // The carver cannot join GONE2's pieces; the folder based method follows them.
        {"scan", TRecoveryMethod::Scan, {"live.jpg", "gone1.jpg"}},
        {"folder", TRecoveryMethod::Folder, {"gone1.jpg", "gone2.jpg"}},
        {"combined", TRecoveryMethod::Both, {"gone1.jpg", "gone2.jpg"}},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        fs::remove(dir.file("card.img"));
        Sh(layout.make);
        MakeCard(layout.mtoolsAt);
        // The same card as a block device: read in large requests, written from the buffer.
        LoopDevice loop(dir.file("card.img"), "-r");
        for (const Method& m : methods) {
            SCOPED_TRACE(m.name);
            const Outcome kernel = Run(dir.file("card.img"), layout.driveIndex, m.method, true);
            const Outcome readWrite = Run(dir.file("card.img"), layout.driveIndex, m.method, false);
            EXPECT_GT(kernel.moved.kernel, 0u);
            EXPECT_EQ(readWrite.moved.kernel, 0u);
            EXPECT_GT(readWrite.moved.readWrite, 0u);
            EXPECT_EQ(kernel.files, readWrite.files);
            if (!loop.device().empty()) {
                const Outcome device = Run(loop.device(), layout.driveIndex, m.method, true);
                EXPECT_EQ(device.moved.kernel + device.moved.readWrite, 0u);
                EXPECT_EQ(device.files, readWrite.files);
            }
            for (const char* photo : m.exact) {
                const Bytes original = ReadAll(dir.path() / photo);
                ASSERT_NE(original.size() % 512, 0u) << "the photo should end inside a sector";
                EXPECT_NE(std::find(kernel.files.begin(), kernel.files.end(), original), kernel.files.end()) << photo;
            }
        }
    }
}

// The writer's queue against a model: appended ranges of the volume (or bytes from outside it,
// written from the buffer), then a cut, give the bytes of those ranges in order, cut exactly.
TEST_F(ImageCopy, AWriterCutsQueuedAndCopiedBytesAlikeOnEveryPath) {
    Bytes volume(64 * 1024);
    for (std::size_t i = 0; i < volume.size(); ++i) volume[i] = static_cast<std::uint8_t>(i * 13 + i / 512);
    // The volume starts 4 KiB into the file, as a partition does.
    const std::string imagePath = dir.file("volume.img");
    {
        std::ofstream file(imagePath, std::ios::binary);
        const Bytes before(4096, 0xEE);
        file.write(reinterpret_cast<const char*>(before.data()), static_cast<std::streamsize>(before.size()));
        file.write(reinterpret_cast<const char*>(volume.data()), static_cast<std::streamsize>(volume.size()));
    }
    constexpr std::uint64_t Outside = UINT64_MAX - 1024;  // no place in the volume: written from the buffer
    struct Piece {
        std::uint64_t at;  // volume offset of the bytes
        std::size_t n;
    };
    struct Case {
        const char* name;
        std::vector<Piece> pieces;
        std::uint64_t cut;  // UINT64_MAX: none
    };
    const Case cases[] = {
        {"one run of sectors, cut in its last one", {{4096, 512}, {4608, 512}, {5120, 512}}, 1300},
        {"two runs, cut inside the first, already copied", {{0, 2048}, {20480, 1024}}, 700},
        {"a run, bytes from outside, a run", {{8192, 1024}, {Outside, 512}, {1024, 512}}, UINT64_MAX},
        {"cut beyond the end changes nothing", {{512, 1536}}, 100000},
    };
    const Bytes filler(1024, 0x5A);  // what the buffer holds for bytes from outside the volume
    for (bool kernel : {true, false}) {
        KernelCopyScope scope(kernel);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (kernel ? ", kernel" : ", read and write"));
            FileDescriptor fd(::open(imagePath.c_str(), O_RDONLY | O_CLOEXEC));
            auto image = std::make_shared<const ImageSource>(std::move(fd), 4096, volume.size());
            Bytes expected;
            StagedFileWriter writer;
            ASSERT_TRUE(writer.Create(dir.file("out.bin"), image));
            for (const Piece& p : c.pieces) {
                const std::uint8_t* data = p.at == Outside ? filler.data() : volume.data() + p.at;
                EXPECT_TRUE(writer.Append(data, p.n, p.at));
                expected.insert(expected.end(), data, data + p.n);
            }
            if (c.cut != UINT64_MAX) {
                EXPECT_TRUE(writer.TruncateTo(c.cut));
                if (c.cut < expected.size()) expected.resize(c.cut);
            }
            EXPECT_TRUE(writer.Close()) << writer.Error();
            EXPECT_EQ(ReadAll(dir.path() / "out.bin"), expected);
        }
    }
}

}  // namespace
}  // namespace quorvane::testing
