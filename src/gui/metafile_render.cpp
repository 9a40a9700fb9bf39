#include "gui/metafile_render.h"

#include <QMutex>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cstdlib>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

namespace quorvane::gui {
namespace {

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

}  // namespace

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

}  // namespace quorvane::gui
