#pragma once
// Pictures of the preview's slots, decoded no larger than the slot needs, by the thumbnail kind
// that the media format table gives the file's first bytes: JPEG through libjpeg-turbo scaled in
// the DCT, HEIF, HEIC and AVIF through libheif, WMF and EMF drawn from SVG (libwmf, libemf2svg),
// everything else (BMP, GIF, ICO, PNG, TIFF) through Qt's readers. A file that cannot be decoded
// gives a null image.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace quorvane::gui {

// The picture scaled down to fit box, keeping its proportions (never scaled up).
QImage LoadThumbnail(const QString& path, QSize box);

// The decoders, for files already read.
QImage DecodeJpegThumbnail(const QByteArray& data, QSize box);
// The file's own thumbnail when it covers box, else its primary image. An image that claims
// more pixels than any camera takes is not decoded.
QImage DecodeHeifThumbnail(const QByteArray& data, QSize box);
QImage RenderWmf(const QByteArray& data, QSize box);
QImage RenderEmf(const QByteArray& data, QSize box);

}  // namespace quorvane::gui
