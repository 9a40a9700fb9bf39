#pragma once
// The view of a run's preview window: ten slots of pictures or type labels with their check
// boxes, the scroll bar and the buttons. Shown beside the main window during the run, modally
// as "Save Images" at its end.
#include <QDialog>
#include <QImage>

#include "gui/thumbnail_loader.h"

#include <array>
#include <string>
#include <vector>

class QCheckBox;
class QFrame;
class QLabel;

namespace quorvane {
class TFrmPreview;
}

namespace quorvane::gui {

class PreviewWindow : public QDialog {
    Q_OBJECT
public:
    PreviewWindow(TFrmPreview& form, QWidget* parent);
    ~PreviewWindow() override;

    // Centres the window on the screen and shows it modally until OK or Cancel.
    void ShowModalCentred();

    // The picture box of slot k (1 .. 10), for tests and screenshots.
    QLabel* Picture(int k) const { return pictures_[static_cast<std::size_t>(k - 1)]; }

protected:
    void reject() override;
    void showEvent(QShowEvent* event) override;

private:
    bool loadPicture(int k, const std::string& path);
    // A picture decoded in the background arrives; null when it could not be decoded in time.
    void pictureReady(int k, const QString& path, const QImage& image);
    void sync();

    TFrmPreview& form_;
    std::array<QFrame*, 10> panels_{};
    std::array<QLabel*, 10> pictures_{};
    std::array<QLabel*, 10> labels_{};
    bool modal_ = false;
    // Pictures asked for while the window was hidden are decoded when it is shown.
    bool deferred_ = false;
    // Declared last, so its decodes end before the rest goes.
    ThumbnailLoader thumbnails_;
};

}  // namespace quorvane::gui
