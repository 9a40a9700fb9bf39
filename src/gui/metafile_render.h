#pragma once
// Windows metafiles (WMF) and enhanced metafiles (EMF) drawn into a picture: libwmf and
// libemf2svg turn them into SVG, which QtSvg draws at the slot's size. These decoders are not
// hardened against hostile files, so the program runs them only inside the thumbnail helper, a
// child process of its own (metafile_child.h).
#include <QByteArray>
#include <QImage>
#include <QSize>

namespace quorvane::gui {

QImage RenderWmf(const QByteArray& data, QSize box);
QImage RenderEmf(const QByteArray& data, QSize box);

}  // namespace quorvane::gui
