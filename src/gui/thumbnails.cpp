#include "gui/thumbnails.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QMutex>
#include <QPainter>
#include <QSvgRenderer>

#include "media/exif_thumbnail.h"
#include "media/media_formats.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <jpeglib.h>

#include <emf2svg.h>
#include <libheif/heif.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

namespace quorvane::gui {
namespace {

// Files larger than this are not pictures a card holds; reading them whole would only stall the page.
constexpr qint64 MaxPictureBytes = 64 * 1024 * 1024;
// 256 megapixels: above every camera and phone sensor.
constexpr std::uint64_t MaxPicturePixels = 256ull * 1000 * 1000;

QSize fitted(QSize size, QSize box) {
    if (size.width() <= box.width() && size.height() <= box.height()) return size;
    return size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QImage fit(const QImage& image, QSize box) {
    if (image.isNull()) return image;
    const QSize target = fitted(image.size(), box);
    if (target == image.size()) return image;
    return image.scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

extern "C" void jpegErrorExit(j_common_ptr cinfo) {
    auto* error = reinterpret_cast<JpegError*>(cinfo->err);
    std::longjmp(error->jump, 1);
}

extern "C" void jpegSilentMessage(j_common_ptr) {}

// Decodes into rows, which the caller owns; no C++ object with a destructor lives between
// setjmp and longjmp.
bool decodeJpeg(const unsigned char* data, unsigned long size, int boxWidth, int boxHeight, unsigned char** pixels,
                int* width, int* height) {
    jpeg_decompress_struct cinfo{};
    JpegError error{};
    cinfo.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegErrorExit;
    error.manager.output_message = jpegSilentMessage;
    unsigned char* volatile out = nullptr;
    if (setjmp(error.jump) != 0) {
        jpeg_destroy_decompress(&cinfo);
        std::free(out);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    // The size comes from a recovered file's header: a claim beyond the largest camera sensors
    // would cost hundreds of megabytes and seconds of decoding a picture that is not there.
    if (static_cast<std::uint64_t>(cinfo.image_width) * cinfo.image_height > MaxPicturePixels) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    // The smallest DCT scale (1/8 .. 8/8) that still covers the slot: a 12-megapixel photo is
    // decoded at 1/8 of its size, never whole.
    cinfo.scale_denom = 8;
    cinfo.scale_num = 8;
    for (unsigned num = 1; num <= 8; ++num) {
        if (cinfo.image_width * num / 8 >= static_cast<unsigned>(boxWidth) ||
            cinfo.image_height * num / 8 >= static_cast<unsigned>(boxHeight) || num == 8) {
            cinfo.scale_num = num;
            break;
        }
    }
    cinfo.out_color_space = JCS_RGB;
    cinfo.dct_method = JDCT_IFAST;
    cinfo.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&cinfo);
    const int w = static_cast<int>(cinfo.output_width);
    const int h = static_cast<int>(cinfo.output_height);
    if (w <= 0 || h <= 0 || cinfo.output_components != 3) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    out = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(w) * 3 * static_cast<std::size_t>(h)));
    if (out == nullptr) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out + static_cast<std::size_t>(cinfo.output_scanline) * static_cast<std::size_t>(w) * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    // A photo cut short shows what was there; the rest of its rows stay grey.
    jpeg_abort_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    *pixels = out;
    *width = w;
    *height = h;
    return true;
}

QImage renderSvg(const QByteArray& svg, QSize box) {
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) return {};
    QSize size = renderer.defaultSize();
    if (size.isEmpty()) size = box;
    const QSize target = size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

// Decodes data scaled down towards box. coversBox tells whether the picture was at least as
// wide or as high as the box before it was fitted in.
QImage decodeJpegScaled(const QByteArray& data, QSize box, bool* coversBox = nullptr) {
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    if (!decodeJpeg(reinterpret_cast<const unsigned char*>(data.constData()), static_cast<unsigned long>(data.size()),
                    box.width(), box.height(), &pixels, &w, &h)) {
        return {};
    }
    if (coversBox != nullptr) *coversBox = w >= box.width() || h >= box.height();
    QImage decoded(pixels, w, h, w * 3, QImage::Format_RGB888, [](void* p) { std::free(p); }, pixels);
    return fit(decoded, box);
}

// libheif keeps a registry of its decoders: filled once, before the first decode of any thread,
// and kept for the program's life.
void initHeif() {
    static const bool ready = [] {
        heif_init(nullptr);
        return true;
    }();
    (void)ready;
}

struct HeifRelease {
    void operator()(heif_context* context) const { heif_context_free(context); }
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
using HeifContext = std::unique_ptr<heif_context, HeifRelease>;
using HeifHandle = std::unique_ptr<heif_image_handle, HeifRelease>;

// Decodes one image of a HEIF file to 8-bit RGB, fitted into box. HEVC and AV1 cannot be decoded
// scaled down, so the size the file claims is bounded before anything is decoded.
QImage decodeHeifImage(const heif_image_handle* handle, QSize box, bool* coversBox = nullptr) {
    const int claimedWidth = heif_image_handle_get_width(handle);
    const int claimedHeight = heif_image_handle_get_height(handle);
    if (claimedWidth <= 0 || claimedHeight <= 0 ||
        static_cast<std::uint64_t>(claimedWidth) * static_cast<std::uint64_t>(claimedHeight) > MaxPicturePixels) {
        return {};
    }
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    heif_image* image = nullptr;
    const heif_error error = heif_decode_image(handle, &image, heif_colorspace_RGB,
                                               alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr);
    if (error.code != heif_error_Ok || image == nullptr) {
        if (image != nullptr) heif_image_release(image);
        return {};
    }
    int stride = 0;
    const std::uint8_t* pixels = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const int w = heif_image_get_width(image, heif_channel_interleaved);
    const int h = heif_image_get_height(image, heif_channel_interleaved);
    if (pixels == nullptr || w <= 0 || h <= 0 || stride < w * (alpha ? 4 : 3)) {
        heif_image_release(image);
        return {};
    }
    if (coversBox != nullptr) *coversBox = w >= box.width() || h >= box.height();
    // The QImage reads libheif's pixels in place and hands them back when it goes.
    const QImage decoded(pixels, w, h, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888,
                         [](void* p) { heif_image_release(static_cast<heif_image*>(p)); }, image);
    return fit(decoded, box);
}

}  // namespace

QImage DecodeHeifThumbnail(const QByteArray& data, QSize box) {
    initHeif();
    const HeifContext context(heif_context_alloc());
    if (!context || heif_context_read_from_memory_without_copy(context.get(), data.constData(),
                                                                static_cast<std::size_t>(data.size()), nullptr)
                            .code != heif_error_Ok) {
        return {};
    }
    heif_image_handle* primaryHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &primaryHandle).code != heif_error_Ok) return {};
    const HeifHandle primary(primaryHandle);
    // A phone's photo carries a small picture of itself; when it fills the slot, decoding it
    // spares decoding the tiles of the whole photo.
    heif_item_id thumbnailId = 0;
    if (heif_image_handle_get_number_of_thumbnails(primary.get()) > 0 &&
        heif_image_handle_get_list_of_thumbnail_IDs(primary.get(), &thumbnailId, 1) == 1) {
        heif_image_handle* thumbnailHandle = nullptr;
        if (heif_image_handle_get_thumbnail(primary.get(), thumbnailId, &thumbnailHandle).code == heif_error_Ok) {
            const HeifHandle thumbnail(thumbnailHandle);
            bool coversBox = false;
            QImage small = decodeHeifImage(thumbnail.get(), box, &coversBox);
            if (!small.isNull() && coversBox) return small;
        }
    }
    return decodeHeifImage(primary.get(), box);
}

QImage DecodeJpegThumbnail(const QByteArray& data, QSize box) {
    // A camera photo carries a small preview of itself; when it fills the slot, decoding it costs
    // a fraction of decoding the picture, even scaled down.
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.constData());
    if (const auto preview = FindExifThumbnail(bytes, static_cast<std::size_t>(data.size()))) {
        bool coversBox = false;
        QImage small = decodeJpegScaled(
            data.mid(static_cast<qsizetype>(preview->offset), static_cast<qsizetype>(preview->length)), box, &coversBox);
        if (!small.isNull() && coversBox) return small;
    }
    return decodeJpegScaled(data, box);
}

QImage RenderWmf(const QByteArray& data, QSize box) {
    // libwmf keeps font state of its own: one metafile at a time.
    static QMutex lock;
    const QMutexLocker locked(&lock);
    wmfAPI_Options options{};
    options.function = wmf_svg_function;
    wmfAPI* api = nullptr;
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None) {
        if (api != nullptr) wmf_api_destroy(api);
        return {};
    }
    QByteArray copy = data;  // libwmf reads from a writable buffer
    QByteArray svg;
    wmfD_Rect bbox{};
    if (wmf_mem_open(api, reinterpret_cast<unsigned char*>(copy.data()), copy.size()) == wmf_E_None &&
        wmf_scan(api, 0, &bbox) == wmf_E_None) {
        auto* device = WMF_SVG_GetData(api);
        device->out = wmf_stream_create(api, nullptr);
        device->Description = const_cast<char*>("thumbnail");
        device->bbox = bbox;
        unsigned int width = 0, height = 0;
        wmf_display_size(api, &width, &height, 72, 72);
        // Drawn at the slot's size: a vector picture may grow, and strokes stay in proportion.
        const QSize drawn = width > 0 && height > 0 ? QSize(static_cast<int>(width), static_cast<int>(height)).scaled(box, Qt::KeepAspectRatio) : box;
        device->width = static_cast<unsigned>(std::max(1, drawn.width()));
        device->height = static_cast<unsigned>(std::max(1, drawn.height()));
        const bool played = wmf_play(api, 0, &bbox) == wmf_E_None;
        char* buffer = nullptr;
        unsigned long length = 0;
        wmf_stream_destroy(api, device->out, &buffer, &length);
        // The buffer belongs to libwmf's allocator, which frees it with the API.
        if (played && buffer != nullptr) svg = QByteArray(buffer, static_cast<qsizetype>(length));
        wmf_mem_close(api);
    }
    wmf_api_destroy(api);
    return svg.isEmpty() ? QImage() : renderSvg(svg, box);
}

QImage RenderEmf(const QByteArray& data, QSize box) {
    static QMutex lock;  // emf2svg is not known to be reentrant
    const QMutexLocker locked(&lock);
    generatorOptions options{};
    options.nameSpace = const_cast<char*>("svg");
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    char* out = nullptr;
    size_t length = 0;
    QByteArray copy = data;
    const int ok = emf2svg(copy.data(), static_cast<size_t>(copy.size()), &out, &length, &options);
    QByteArray svg;
    if (ok != 0 && out != nullptr) svg = QByteArray(out, static_cast<qsizetype>(length));
    std::free(out);
    return svg.isEmpty() ? QImage() : renderSvg(svg, box);
}

QImage LoadThumbnail(const QString& path, QSize box) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxPictureBytes) return {};
    const QByteArray data = file.readAll();
    // By content, not by name: a carved file's extension says what its first bytes were taken for.
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.constData());
    switch (ThumbnailKindOfContent(std::span(bytes, static_cast<std::size_t>(data.size())))) {
        case ThumbnailKind::Jpeg:
            return DecodeJpegThumbnail(data, box);
        case ThumbnailKind::Wmf:
            return RenderWmf(data, box);
        case ThumbnailKind::Emf:
            return RenderEmf(data, box);
        case ThumbnailKind::Heif:
            return DecodeHeifThumbnail(data, box);
        case ThumbnailKind::ImageReader:
        case ThumbnailKind::TypeLabel:
            break;
    }
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    if (size.isValid() && reader.supportsOption(QImageIOHandler::ScaledSize)) reader.setScaledSize(fitted(size, box));
    return fit(reader.read(), box);
}

}  // namespace quorvane::gui
