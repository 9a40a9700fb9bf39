#pragma once
// The busy animation of the main window when no animation file is installed: a block that
// runs along a strip while a run goes on. It draws ten frames a second with two fills, so it
// costs a long run next to nothing (a styled busy bar redraws itself sixty times a second).
#include <QTimer>
#include <QWidget>

namespace quorvane::gui {

class BusyStrip : public QWidget {
    Q_OBJECT
public:
    explicit BusyStrip(QWidget* parent = nullptr);

    // Runs the animation; a stopped strip shows an empty frame.
    void SetActive(bool active);
    bool IsActive() const { return timer_.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer timer_;
    int frame_ = 0;
};

}  // namespace quorvane::gui
