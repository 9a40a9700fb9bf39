#include "gui/preview_placement.h"

#include <algorithm>
#include <vector>

namespace quorvane::gui {
namespace {

// The rectangle moved by as little as it takes to lie on the screen (its top-left corner first
// when it is larger than the screen).
QRect pushedOnto(QRect r, const QRect& screen) {
    r.moveLeft(std::max(screen.left(), std::min(r.left(), screen.left() + screen.width() - r.width())));
    r.moveTop(std::max(screen.top(), std::min(r.top(), screen.top() + screen.height() - r.height())));
    return r;
}

}  // namespace

QPoint PreviewPosition(const QRect& mainFrame, const QRect& keepVisible, const QSize& previewFrame,
                       const QRect& screen) {
    const int w = previewFrame.width();
    const int h = previewFrame.height();
    const std::vector<QRect> beside = {
        QRect(mainFrame.left() + mainFrame.width(), mainFrame.top(), w, h),  // right
        QRect(mainFrame.left(), mainFrame.top() + mainFrame.height(), w, h),  // below
        QRect(mainFrame.left() - w, mainFrame.top(), w, h),                   // left
        QRect(mainFrame.left(), mainFrame.top() - h, w, h),                   // above
    };
    // Along the shared edge a place may shift onto the screen; across it, it may not.
    for (std::size_t i = 0; i < beside.size(); ++i) {
        QRect r = beside[i];
        const QRect pushed = pushedOnto(r, screen);
        if (i == 0 || i == 2) {
            r.moveTop(pushed.top());
        } else {
            r.moveLeft(pushed.left());
        }
        if (screen.contains(r) && !r.intersects(mainFrame)) return r.topLeft();
    }
    std::vector<QRect> overlapping;
    for (const QRect& r : beside) overlapping.push_back(pushedOnto(r, screen));
    for (const QPoint corner : {screen.topRight(), screen.bottomRight(), screen.bottomLeft(), screen.topLeft()}) {
        overlapping.push_back(pushedOnto(QRect(corner, previewFrame), screen));
    }
    for (const QRect& r : overlapping) {
        if (!r.intersects(keepVisible)) return r.topLeft();
    }
    return overlapping.front().topLeft();
}

}  // namespace quorvane::gui
