#include "gui/jpeg_thumbnail.h"

#include "gui/thumbnail_fit.h"
#include "media/exif_thumbnail.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <cstdlib>

#include <jerror.h>
#include <jpeglib.h>

namespace quorvane::gui {
namespace {

using Clock = std::chrono::steady_clock;

// The scaled picture is at most 1/8 of a picture of maxPixels; this bounds its buffer all the same.
constexpr std::size_t MaxOutputBytes = 64u << 20;

// What libjpeg's callbacks reach. It lives outside the function that calls setjmp, so nothing
// that function holds in a register changes between setjmp and the jump back.
struct Session {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf failed{};
    Clock::time_point deadline{};
    int maxScans = 0;
    JpegStop stop = JpegStop::Unreadable;
    unsigned char* pixels = nullptr;  // the caller's once the decode succeeded
    int width = 0;
    int height = 0;
};

Session& SessionOf(j_common_ptr info) { return *static_cast<Session*>(info->client_data); }

[[noreturn]] void Abort(Session& session, JpegStop stop) {
    session.stop = stop;
    std::longjmp(session.failed, 1);
}

// libjpeg's own handler would end the process; errors leave through longjmp instead.
[[noreturn]] void OnError(j_common_ptr info) {
    const int code = info->err->msg_code;
    const bool memory = code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE || code == JERR_BAD_ALLOC_CHUNK;
    Abort(SessionOf(info), memory ? JpegStop::MemoryLimit : JpegStop::Unreadable);
}

void OnOutput(j_common_ptr) {}

// Called once per row of blocks while the scans are read and once per output row: often enough
// to stop a file that would keep the decoder busy.
void OnProgress(j_common_ptr info) {
    Session& session = SessionOf(info);
    if (session.info.input_scan_number > session.maxScans) Abort(session, JpegStop::TooManyScans);
    if (Clock::now() > session.deadline) Abort(session, JpegStop::TimeBudget);
}

void Decode(Session& s, const unsigned char* data, unsigned long size, QSize box, const JpegLimits& limits) {
    if (setjmp(s.failed) != 0) return;
    jpeg_create_decompress(&s.info);
    // Creating clears every field but the error manager and client data.
    s.info.progress = &s.progress;
    s.info.mem->max_memory_to_use = limits.maxMemory;
    jpeg_mem_src(&s.info, data, size);
    jpeg_read_header(&s.info, TRUE);
    if (static_cast<std::uint64_t>(s.info.image_width) * s.info.image_height > limits.maxPixels) {
        Abort(s, JpegStop::TooManyPixels);
    }
    // The smallest DCT scale (1/8 .. 8/8) that still covers the slot: a 12-megapixel photo is
    // decoded at 1/8 of its size, never whole.
    s.info.scale_denom = 8;
    s.info.scale_num = 8;
    for (unsigned num = 1; num <= 8; ++num) {
        if (s.info.image_width * num / 8 >= static_cast<unsigned>(box.width()) ||
            s.info.image_height * num / 8 >= static_cast<unsigned>(box.height()) || num == 8) {
            s.info.scale_num = num;
            break;
        }
    }
    s.info.out_color_space = JCS_RGB;
    s.info.dct_method = JDCT_IFAST;
    s.info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&s.info);
    const auto w = static_cast<std::size_t>(s.info.output_width);
    const auto h = static_cast<std::size_t>(s.info.output_height);
    if (w == 0 || h == 0 || s.info.output_components != 3) Abort(s, JpegStop::Unreadable);
    if (w * h * 3 > MaxOutputBytes) Abort(s, JpegStop::TooManyPixels);
    s.pixels = static_cast<unsigned char*>(std::malloc(w * 3 * h));
    if (s.pixels == nullptr) Abort(s, JpegStop::MemoryLimit);
    while (s.info.output_scanline < s.info.output_height) {
        JSAMPROW row = s.pixels + static_cast<std::size_t>(s.info.output_scanline) * w * 3;
        jpeg_read_scanlines(&s.info, &row, 1);
    }
    // A photo cut short shows what was there; the rest of its rows stay grey.
    s.width = static_cast<int>(w);
    s.height = static_cast<int>(h);
    s.stop = JpegStop::None;
}

// Decodes data scaled down towards box. coversBox tells whether the picture was at least as
// wide or as high as the box before it was fitted in.
JpegThumbnail DecodeScaled(const QByteArray& data, QSize box, const JpegLimits& limits, Clock::time_point deadline,
                           bool* coversBox = nullptr) {
    Session s;
    s.info.err = jpeg_std_error(&s.errors);
    s.errors.error_exit = OnError;
    s.errors.output_message = OnOutput;
    s.info.client_data = &s;
    s.progress.progress_monitor = OnProgress;
    s.deadline = deadline;
    s.maxScans = limits.maxScans;
    Decode(s, reinterpret_cast<const unsigned char*>(data.constData()), static_cast<unsigned long>(data.size()), box,
           limits);
    jpeg_destroy_decompress(&s.info);
    if (s.stop != JpegStop::None) {
        std::free(s.pixels);
        return {{}, s.stop};
    }
    if (coversBox != nullptr) *coversBox = s.width >= box.width() || s.height >= box.height();
    const QImage decoded(s.pixels, s.width, s.height, s.width * 3, QImage::Format_RGB888,
                         [](void* p) { std::free(p); }, s.pixels);
    return {FitImage(decoded, box), JpegStop::None};
}

}  // namespace

JpegThumbnail DecodeJpegThumbnailBounded(const QByteArray& data, QSize box, const JpegLimits& limits) {
    const Clock::time_point deadline = Clock::now() + limits.budget;
    // A camera photo carries a small preview of itself; when it fills the slot, decoding it costs
    // a fraction of decoding the picture, even scaled down.
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.constData());
    if (const auto preview = FindExifThumbnail(bytes, static_cast<std::size_t>(data.size()))) {
        bool coversBox = false;
        JpegThumbnail small = DecodeScaled(
            data.mid(static_cast<qsizetype>(preview->offset), static_cast<qsizetype>(preview->length)), box, limits,
            deadline, &coversBox);
        if (small.stop == JpegStop::None && coversBox) return small;
        if (small.stop == JpegStop::TimeBudget) return small;
    }
    return DecodeScaled(data, box, limits, deadline);
}

}  // namespace quorvane::gui
