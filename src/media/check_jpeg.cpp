// JPEG: the picture is decoded with libjpeg(-turbo), which reports every sign of corrupt data
// (a bad Huffman code, a scan that ends early, bytes before a marker, the file ending before EOI)
// as a warning. Any warning, or an error about the data, is damage.
//
// Decoding is made cheap without skipping data: the picture is scaled to 1/8 while decoding (only
// the DC term of each block goes through the inverse transform) and to grey when it is YCbCr, but
// every block of entropy-coded data is still read and checked. Pictures claiming more than
// MaxPixels or more than MaxScans scans are not decoded (their condition is unknown), and the
// decoder's memory is capped.
//
// What follows the picture's EOI does not make the picture damaged: the further pictures of a
// multi-picture (MPF) file, the large preview some cameras append, the trailers some phones write
// after EOI, or the rest of the last sector of a file saved in whole sectors. The further pictures
// themselves are not decoded.
#include <algorithm>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <memory>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "media/format_checks.h"
#include "media/jpeg_decode.h"

namespace quorvane {
namespace {

constexpr std::uint64_t MaxPixels = std::uint64_t{256} * 1000 * 1000;
// Enough for the whole-picture coefficient buffers of a progressive picture of about 80 megapixels.
constexpr long MaxDecoderMemory = 256L << 20;
// Encoders write about ten scans. Each scan of a progressive picture is a pass over all its
// blocks, so a file of thousands of tiny scans would keep the check busy for minutes.
constexpr int MaxScans = 100;
constexpr std::size_t InputChunk = 64 * 1024;

// Everything the decoder's callbacks reach, kept off the stack of the function that calls
// setjmp: objects changed after setjmp are not reliable there after the jump back.
struct Decoder {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    jpeg_source_mgr source{};
    std::jmp_buf failed{};
    ContentFile* file = nullptr;              // the picture is read from this file,
    std::span<const std::uint8_t> memory;     // or lies here when there is no file
    jpeg_progress_mgr progress{};
    bool tooManyScans = false;
    std::vector<JOCTET> input;
    std::uint64_t nextOffset = 0;  // the file offset of the byte after what input holds
    bool warned = false;
    std::uint64_t warnedAt = 0;    // where the decoder stood at the first warning or error
    int errorCode = 0;
};

std::uint64_t Position(const Decoder& decoder) {
    const std::uint64_t held = decoder.info.src != nullptr ? decoder.info.src->bytes_in_buffer : 0;
    return decoder.nextOffset >= held ? decoder.nextOffset - held : 0;
}

Decoder& DecoderOf(j_common_ptr info) { return *static_cast<Decoder*>(info->client_data); }
Decoder& DecoderOf(j_decompress_ptr info) { return *static_cast<Decoder*>(info->client_data); }

// Errors leave through longjmp; libjpeg's own handler would end the process.
[[noreturn]] void OnError(j_common_ptr info) {
    Decoder& decoder = DecoderOf(info);
    decoder.errorCode = info->err->msg_code;
    if (!decoder.warned) decoder.warnedAt = Position(decoder);
    std::longjmp(decoder.failed, 1);
}

// Level -1 is a warning (corrupt data); higher levels are trace messages.
void OnMessage(j_common_ptr info, int level) {
    if (level >= 0) return;
    Decoder& decoder = DecoderOf(info);
    if (!decoder.warned) decoder.warnedAt = Position(decoder);
    decoder.warned = true;
}

void OnOutput(j_common_ptr) {}

// Called once per row of blocks while the scans are read. A progressive picture's scans are all
// read before its first row comes out, so this is where a damaged one is left at its first fault
// and an endless one is stopped.
void OnProgress(j_common_ptr info) {
    Decoder& decoder = DecoderOf(info);
    if (decoder.warned) std::longjmp(decoder.failed, 1);
    if (decoder.info.input_scan_number > MaxScans) {
        decoder.tooManyScans = true;
        std::longjmp(decoder.failed, 1);
    }
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr info) {
    Decoder& decoder = DecoderOf(info);
    if (decoder.file == nullptr) {
        // In memory: the decoder reads the bytes where they lie, a chunk at a time as from a file.
        const std::uint64_t size = decoder.memory.size();
        const std::size_t got = decoder.nextOffset < size
                                    ? static_cast<std::size_t>(std::min<std::uint64_t>(InputChunk, size - decoder.nextOffset))
                                    : 0;
        if (got > 0) {
            info->src->next_input_byte = decoder.memory.data() + decoder.nextOffset;
            info->src->bytes_in_buffer = got;
            decoder.nextOffset += got;
            return TRUE;
        }
    }
    const std::size_t got =
        decoder.file != nullptr ? decoder.file->readSome(decoder.nextOffset, decoder.input.data(), decoder.input.size()) : 0;
    if (got == 0) {
        // The file ends before EOI: warn as libjpeg's own sources do and hand it a fake EOI.
        WARNMS(info, JWRN_JPEG_EOF);
        decoder.input[0] = 0xFF;
        decoder.input[1] = JPEG_EOI;
        info->src->next_input_byte = decoder.input.data();
        info->src->bytes_in_buffer = 2;
        return TRUE;
    }
    decoder.nextOffset += got;
    info->src->next_input_byte = decoder.input.data();
    info->src->bytes_in_buffer = got;
    return TRUE;
}

// Segments the decoder does not need (Exif, thumbnails, maker data) are stepped over unread.
void SkipInput(j_decompress_ptr info, long count) {
    if (count <= 0) return;
    jpeg_source_mgr& source = *info->src;
    const auto n = static_cast<std::uint64_t>(count);
    if (n <= source.bytes_in_buffer) {
        source.next_input_byte += n;
        source.bytes_in_buffer -= n;
        return;
    }
    DecoderOf(info).nextOffset += n - source.bytes_in_buffer;
    source.bytes_in_buffer = 0;
}

// Errors that say the decoder cannot judge the file rather than that the file is wrong: it ran
// out of the memory it may use, or the picture uses a coding process it was built without (the
// lossless process, for one).
bool CannotJudge(int code) {
    switch (code) {
        case JERR_OUT_OF_MEMORY:
        case JERR_NO_BACKING_STORE:
        case JERR_BAD_ALLOC_CHUNK:
        case JERR_TFILE_CREATE:
        case JERR_TFILE_READ:
        case JERR_TFILE_SEEK:
        case JERR_TFILE_WRITE:
        case JERR_SOF_UNSUPPORTED:
        case JERR_NOT_COMPILED:
        case JERR_NOTIMPL:
        case JERR_ARITH_NOTIMPL:
        case JERR_CONVERSION_NOTIMPL:
            return true;
        default:
            return false;
    }
}

// Decodes the picture; on success end is the offset just after its EOI.
TFileCondition Decode(Decoder& d, std::uint64_t& end) {
    j_decompress_ptr info = &d.info;
    if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK || d.warned) return TFileCondition::Damaged;
    if (std::uint64_t{info->image_width} * info->image_height > MaxPixels) return TFileCondition::Unknown;
    info->scale_num = 1;
    info->scale_denom = 8;
    info->dct_method = JDCT_IFAST;
    info->do_fancy_upsampling = FALSE;
    info->do_block_smoothing = FALSE;
    if (info->jpeg_color_space == JCS_YCbCr) info->out_color_space = JCS_GRAYSCALE;
    jpeg_start_decompress(info);
    const JDIMENSION rowBytes = info->output_width * static_cast<JDIMENSION>(info->output_components);
    const auto rowCount = static_cast<JDIMENSION>(info->rec_outbuf_height);
    JSAMPARRAY rows = (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE, rowBytes, rowCount);
    while (info->output_scanline < info->output_height && !d.warned) {
        if (jpeg_read_scanlines(info, rows, rowCount) == 0) break;
    }
    if (d.warned || info->output_scanline < info->output_height) return TFileCondition::Damaged;
    // Reads on to EOI: markers after the last scan are checked too.
    jpeg_finish_decompress(info);
    if (d.warned) return TFileCondition::Damaged;
    end = d.nextOffset - info->src->bytes_in_buffer;
    return TFileCondition::Whole;
}

// Decodes the picture from d's source; the condition, and where the decoder stood when it found
// the first fault.
JpegDecodeResult DecodeFrom(Decoder& d) {
    d.input.resize(InputChunk);
    d.info.err = jpeg_std_error(&d.errors);
    d.errors.error_exit = OnError;
    d.errors.emit_message = OnMessage;
    d.errors.output_message = OnOutput;
    d.info.client_data = &d;
    if (setjmp(d.failed) != 0) {
        jpeg_destroy_decompress(&d.info);
        const bool unknown = d.tooManyScans || CannotJudge(d.errorCode);
        return {unknown ? TFileCondition::Unknown : TFileCondition::Damaged, d.warnedAt, 0};
    }
    jpeg_create_decompress(&d.info);
    d.info.client_data = &d;
    d.info.mem->max_memory_to_use = MaxDecoderMemory;
    d.progress.progress_monitor = OnProgress;
    d.info.progress = &d.progress;
    d.source.init_source = InitSource;
    d.source.fill_input_buffer = FillInput;
    d.source.skip_input_data = SkipInput;
    d.source.resync_to_restart = jpeg_resync_to_restart;
    d.source.term_source = TermSource;
    d.info.src = &d.source;

    std::uint64_t end = 0;
    const TFileCondition decoded = Decode(d, end);
    const std::uint64_t at = d.warned ? d.warnedAt : Position(d);
    jpeg_destroy_decompress(&d.info);
    return {decoded, decoded == TFileCondition::Whole ? end : at, end};
}

}  // namespace

TFileCondition CheckJpegFile(ContentFile& file) {
    auto decoder = std::make_unique<Decoder>();
    decoder->file = &file;
    return DecodeFrom(*decoder).condition;
}

JpegDecodeResult DecodeJpegBytes(std::span<const std::uint8_t> bytes) {
    auto decoder = std::make_unique<Decoder>();
    decoder->memory = bytes;
    return DecodeFrom(*decoder);
}

}  // namespace quorvane
