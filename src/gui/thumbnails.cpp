#include "gui/thumbnails.h"

#include "gui/metafile_child.h"
#include "gui/thumbnail_fit.h"
#include "media/media_formats.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include <libheif/heif.h>

namespace quorvane::gui {
namespace {

// Files larger than this are not pictures a card holds; reading them whole would only stall the page.
constexpr qint64 MaxPictureBytes = 64 * 1024 * 1024;
// 256 megapixels: above every camera and phone sensor.
constexpr std::uint64_t MaxPicturePixels = 256ull * 1000 * 1000;
// HEVC and AV1 pictures are decoded whole, four bytes a pixel, before they are scaled down: 100
// megapixels, above what phones save in HEIF, cost 400 MB.
constexpr std::uint64_t MaxHeifPixels = 100ull * 1000 * 1000;
// The most one of Qt's readers may allocate for a picture, in megabytes.
constexpr int MaxReaderMegabytes = 256;

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
        static_cast<std::uint64_t>(claimedWidth) * static_cast<std::uint64_t>(claimedHeight) > MaxHeifPixels) {
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
    return FitImage(decoded, box);
}

// Qt's reader of exactly the format the bytes were recognised as: the reader is never left to
// guess from the content, so a file that is not what it seemed (SVG, XPM, a PDF...) never reaches
// another plugin.
QImage readWithQt(const QByteArray& data, const MediaFormat& format, QSize box) {
    std::string name(format.extension);
    for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, QByteArray::fromStdString(name));
    reader.setAutoDetectImageFormat(false);
    reader.setAllocationLimit(MaxReaderMegabytes);
    const QSize size = reader.size();
    if (size.isValid() &&
        static_cast<std::uint64_t>(size.width()) * static_cast<std::uint64_t>(size.height()) > MaxPicturePixels) {
        return {};
    }
    if (size.isValid() && reader.supportsOption(QImageIOHandler::ScaledSize)) reader.setScaledSize(FittedSize(size, box));
    return FitImage(reader.read(), box);
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

QImage LoadThumbnail(const QString& path, QSize box) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxPictureBytes) return {};
    const QByteArray data = file.readAll();
    // By content, not by name: a carved file's extension says what its first bytes were taken
    // for, and a file whose bytes are no picture format gets no decoder at all.
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.constData());
    const MediaFormat* format = ThumbnailFormatOfContent(std::span(bytes, static_cast<std::size_t>(data.size())));
    if (format == nullptr) return {};
    switch (format->thumbnail) {
        case ThumbnailKind::Jpeg:
            return DecodeJpegThumbnail(data, box);
        case ThumbnailKind::Wmf:
            return RenderMetafileInChild(path, MetafileKind::Wmf, box).image;
        case ThumbnailKind::Emf:
            return RenderMetafileInChild(path, MetafileKind::Emf, box).image;
        case ThumbnailKind::Heif:
            return DecodeHeifThumbnail(data, box);
        case ThumbnailKind::ImageReader:
            return readWithQt(data, *format, box);
        case ThumbnailKind::TypeLabel:
            break;
    }
    return {};
}

}  // namespace quorvane::gui
