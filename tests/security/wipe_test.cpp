// The wipe's own loop: every sector of a volume past 2^32 sectors is reached, and every failure,
// of a write or of the flush that follows, is counted and reported.
#include "app/scan_tuning.h"
#include "app/volume_wipe.h"
#include "platform/memory_volume.h"
#include "platform/volume.h"

#include <gtest/gtest.h>

#include <numeric>

namespace quorvane {
namespace {

// A volume that only counts what is written to it: a 3 TiB disk without 3 TiB of memory.
class CountingVolume : public VolumeFile {
public:
    bool readAt(std::uint64_t, void*, std::uint32_t, std::uint32_t& got) override {
        got = 0;
        return false;
    }
    bool writeAt(std::uint64_t offset, const void*, std::uint32_t n, std::uint32_t& put) override {
        if (offset != end) ++gaps;
        bytes += n;
        end = offset + n;
        put = n;
        return true;
    }
    bool geometry(DiskGeometry&) override { return false; }
    bool flush() override {
        ++flushes;
        return true;
    }

    std::uint64_t bytes = 0;
    std::uint64_t end = 0;
    int gaps = 0;
    int flushes = 0;
};

TEST(Wipe, CountsSectorsPastTwoToThe32) {
    constexpr std::uint64_t sectors = (std::uint64_t{1} << 32) + 10077;  // a little over 2 TiB
    constexpr std::uint32_t block = SectorBufferBytes / 512;
    CountingVolume volume;
    TSectorBuffer buffer = MakeSectorBuffer();
    std::uint64_t lastProgress = 0;
    const TWipeReport r = WipeVolume(volume, sectors, 512, block, buffer.data(), [&](std::uint64_t done) {
        lastProgress = done;
        return true;
    });
    EXPECT_EQ(r.SectorsWritten, sectors);
    EXPECT_EQ(r.SectorsFailed, 0u);
    EXPECT_FALSE(r.Cancelled);
    EXPECT_EQ(volume.bytes, sectors * 512);
    EXPECT_EQ(volume.end, sectors * 512);
    EXPECT_EQ(volume.gaps, 0);
    EXPECT_EQ(volume.flushes, 1);
    EXPECT_GT(lastProgress, std::uint64_t{0xFFFFFFFF});
}

struct FailureCase {
    const char* what;
    std::set<std::uint64_t> failingWrites;
    bool failFlush;
    std::uint64_t sectorsAsked;  // more than the card's 1,000: the medium shrank after it was selected
    std::uint64_t written, failed;
};

TEST(Wipe, EveryFailureIsCounted) {
    const std::vector<FailureCase> cases = {
        {"all well", {}, false, 1000, 1000, 0},
        {"two sectors refuse, in different blocks", {5, 700}, false, 1000, 998, 2},
        {"the flush reports an error", {}, true, 1000, 1000, 0},
        {"the medium is smaller than when it was selected", {}, false, 1200, 1000, 200},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = std::make_shared<std::vector<std::uint8_t>>(1000 * 512, 0xE5);
        MemoryVolumeOpener card(bytes);
        card.failingWrites = c.failingWrites;
        card.failFlush = c.failFlush;
        int err = 0;
        auto file = card.open(true, err);
        ASSERT_TRUE(file);
        TSectorBuffer buffer = MakeSectorBuffer();
        const auto always = [](std::uint64_t) { return true; };
        const TWipeReport r = WipeVolume(*file, c.sectorsAsked, 512, 300, buffer.data(), always);
        EXPECT_EQ(r.SectorsWritten, c.written);
        EXPECT_EQ(r.SectorsFailed, c.failed);
        EXPECT_EQ(r.FlushFailed, c.failFlush);
        // The sectors that took their zeros hold them; the refusing ones keep their old bytes.
        for (std::uint64_t s = 0; s < 1000; ++s) {
            const std::uint8_t expected = c.failingWrites.count(s) ? 0xE5 : 0;
            ASSERT_EQ((*bytes)[s * 512], expected) << "sector " << s;
        }
    }
}

TEST(Wipe, ACancelStillFlushesWhatWasWritten) {
    CountingVolume volume;
    TSectorBuffer buffer = MakeSectorBuffer();
    const auto untilSector600 = [](std::uint64_t done) { return done < 600; };
    const TWipeReport r = WipeVolume(volume, 1000, 512, 300, buffer.data(), untilSector600);
    EXPECT_TRUE(r.Cancelled);
    EXPECT_EQ(r.SectorsWritten, 600u);
    EXPECT_EQ(volume.flushes, 1);
}

}  // namespace
}  // namespace quorvane
