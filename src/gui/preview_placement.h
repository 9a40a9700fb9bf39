#pragma once
// Where a run's preview window goes while the run goes on: beside the main window, so that it
// hides nothing the user may need during the run (Cancel above all), and within the screen.
#include <QPoint>
#include <QRect>
#include <QSize>

namespace quorvane::gui {

// The top-left corner of the preview's frame. Tried in turn: right of the main window, below it,
// left of it, above it, each shifted along the main window's edge to stay on the screen. When
// none fits beside it, the first of those (then a corner of the screen) that leaves keepVisible
// uncovered; when nothing does, right of the main window, pushed onto the screen.
QPoint PreviewPosition(const QRect& mainFrame, const QRect& keepVisible, const QSize& previewFrame,
                       const QRect& screen);

}  // namespace quorvane::gui
