#pragma once
// Pictures of the preview's slots, decoded no larger than the slot needs, by the decoder that the
// media format table gives the file's first bytes: JPEG through libjpeg-turbo scaled in the DCT
// (jpeg_thumbnail.h), HEIF, HEIC and AVIF through libheif, WMF and EMF in a child process
// (metafile_child.h), BMP, GIF, ICO, PNG and TIFF through Qt's reader of that one format. A file
// whose bytes are none of these, or that cannot be decoded, gives a null image.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include "gui/jpeg_thumbnail.h"

namespace quorvane::gui {

// The picture scaled down to fit box, keeping its proportions (never scaled up).
QImage LoadThumbnail(const QString& path, QSize box);

// The file's own thumbnail when it covers box, else its primary image. An image that claims
// more pixels than any camera takes is not decoded.
QImage DecodeHeifThumbnail(const QByteArray& data, QSize box);

}  // namespace quorvane::gui
