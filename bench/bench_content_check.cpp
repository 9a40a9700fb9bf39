// Cost of the content check of a saved JPEG: it runs after every file the scan saves, so it has
// to stay cheap next to writing the file. Each case encodes a 12-megapixel photo-like picture
// (4000 x 3000, a gradient with grain, quality 90: a few megabytes, as a camera's) into a
// temporary file once, then checks that file per iteration. The file sits in the page cache, as
// a file just saved does; the rate reported is megabytes of file checked per second.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include "media/content_check.h"
#include "media/jpeg_scan_walk.h"

namespace quorvane {
namespace {

constexpr int kWidth = 4000, kHeight = 3000;

std::vector<std::uint8_t> EncodePhoto(bool progressive) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = kWidth;
    info.image_height = kHeight;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(kWidth * 3);
    std::uint32_t noise = 12345;
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < kWidth; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int grain = static_cast<int>(noise >> 27) - 16;
            const int base[3] = {60 + x * 120 / kWidth, 90 + y * 100 / kHeight,
                                 200 - (x + y) * 80 / (kWidth + kHeight)};
            for (int c = 0; c < 3; ++c) row[x * 3 + c] = static_cast<JSAMPLE>(std::clamp(base[c] + grain, 0, 255));
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<std::uint8_t> bytes(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return bytes;
}

void BM_CheckJpeg(benchmark::State& state) {
    const bool progressive = state.range(0) != 0;
    const std::string path =
        (std::filesystem::temp_directory_path() / ("quorvane-bench-" + std::to_string(::getpid()) + ".jpg")).string();
    const std::vector<std::uint8_t> bytes = EncodePhoto(progressive);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (CheckFileContent(ContentCheck::JpegDecode, path) != TFileCondition::Whole) {
        state.SkipWithError("the photo does not check whole");
    }
    for (auto _ : state) benchmark::DoNotOptimize(CheckFileContent(ContentCheck::JpegDecode, path));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.counters["file_MB"] = static_cast<double>(bytes.size()) / 1e6;
    // Inverted rate of bytes / 1e12 per iteration: microseconds per megabyte.
    state.counters["us_per_MB"] = benchmark::Counter(static_cast<double>(bytes.size()) / 1e12,
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
    std::filesystem::remove(path);
}
BENCHMARK(BM_CheckJpeg)->ArgName("progressive")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The strict entropy-data walk over the same photo held in memory: every Huffman code read, no
// pixel computed.
void BM_WalkJpeg(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = EncodePhoto(false);
    for (auto _ : state) {
        JpegScanWalker walker;
        walker.Feed(bytes);
        if (walker.State() != JpegWalkState::Ended) state.SkipWithError("the photo does not walk to its end");
        benchmark::DoNotOptimize(walker.End());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_WalkJpeg)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvane
