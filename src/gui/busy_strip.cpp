#include "gui/busy_strip.h"

#include <QPainter>

#include <algorithm>

namespace quorvane::gui {
namespace {
constexpr int FrameMs = 100;
constexpr int Frames = 20;  // one pass along the strip in two seconds
}  // namespace

BusyStrip::BusyStrip(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer_.setInterval(FrameMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % Frames;
        update();
    });
}

void BusyStrip::SetActive(bool active) {
    if (active == timer_.isActive()) return;
    if (active) {
        timer_.start();
    } else {
        timer_.stop();
        frame_ = 0;
    }
    update();
}

void BusyStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect all = rect();
    p.fillRect(all, palette().base());
    p.setPen(palette().mid().color());
    p.drawRect(all.adjusted(0, 0, -1, -1));
    if (!timer_.isActive()) return;
    // The block goes out and back, a quarter of the strip wide.
    const int block = std::max(4, all.width() / 4);
    const int travel = all.width() - 2 - block;
    const int half = Frames / 2;
    const int step = frame_ < half ? frame_ : Frames - frame_;
    p.fillRect(QRect(1 + travel * step / half, 1, block, all.height() - 2), palette().highlight());
}

}  // namespace quorvane::gui
