#pragma once
// Fitting a decoded picture into a slot: scaled down keeping its proportions, never scaled up.
#include <QImage>
#include <QSize>

namespace quorvane::gui {

inline QSize FittedSize(QSize size, QSize box) {
    if (size.width() <= box.width() && size.height() <= box.height()) return size;
    return size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

inline QImage FitImage(const QImage& image, QSize box) {
    if (image.isNull()) return image;
    const QSize target = FittedSize(image.size(), box);
    if (target == image.size()) return image;
    return image.scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

}  // namespace quorvane::gui
