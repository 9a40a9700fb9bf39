#pragma once
// The view of a run's preview window: ten slots of pictures or type labels with their check
// boxes, the scroll bar and the buttons. Shown beside the main window during the run, modally
// as "Save Images" at its end.
#include <QDialog>
#include <QHash>
#include <QImage>
#include <QThreadPool>

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
    // Decodes the pictures of a page on all cores; loadPicture then takes them from here.
    void preparePictures(const std::vector<std::string>& paths);
    // A picture decoded in the background arrives.
    void pictureReady(int k, const QString& path, const QImage& image);
    void sync();

    TFrmPreview& form_;
    std::array<QFrame*, 10> panels_{};
    std::array<QLabel*, 10> pictures_{};
    std::array<QLabel*, 10> labels_{};
    bool modal_ = false;
    QHash<QString, QImage> prepared_;
    // Pictures asked for while the window was hidden are decoded when it is shown.
    bool deferred_ = false;
    // The single pictures of a run are decoded here, not in Qt's global pool: the raster engine
    // splits large fills over that pool and waits for them, so a decode queued there stalls
    // every repaint of the window. Declared last, so it finishes its decodes before the rest goes.
    QThreadPool decoders_;
};

}  // namespace quorvane::gui
