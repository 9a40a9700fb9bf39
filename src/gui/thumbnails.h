#pragma once
// Pictures of the preview's slots, decoded no larger than the slot needs: JPEG through
// libjpeg-turbo scaled in the DCT, BMP, GIF and ICO through Qt's readers, WMF and EMF drawn from
// SVG (libwmf, libemf2svg). A file that cannot be decoded gives a null image.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace quorvane::gui {

// The picture scaled down to fit box, keeping its proportions (never scaled up).
QImage LoadThumbnail(const QString& path, QSize box);

// The decoders, for files already read.
QImage DecodeJpegThumbnail(const QByteArray& data, QSize box);
QImage RenderWmf(const QByteArray& data, QSize box);
QImage RenderEmf(const QByteArray& data, QSize box);

}  // namespace quorvane::gui
