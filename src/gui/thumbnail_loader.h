#pragma once
// Decodes the preview's pictures off the window's thread, each with a time budget. The window
// asks for a slot's picture and goes on; Ready brings it back on the window's thread. A file that
// outruns its budget gets a null picture (the slot shows its type label) and no longer holds up
// the files behind it: its worker is left to finish alone and another takes its place.
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace quorvane::gui {

class ThumbnailLoader : public QObject {
    Q_OBJECT
public:
    using Decoder = std::function<QImage(const QString& path, QSize box)>;

    // Decodes with LoadThumbnail unless given another decoder.
    explicit ThumbnailLoader(QSize box, Decoder decoder = {}, QObject* parent = nullptr);
    // Waits for the decodes under way; those not yet started are dropped.
    ~ThumbnailLoader() override;

    // Asks for the picture of path in slot (0 .. 31). A later request for the same slot makes an
    // earlier one that has not started yet void: it gives no Ready.
    void Request(int slot, const QString& path);
    // How long one file may take from the start of its decode. The decoders bound themselves as
    // well; this covers the ones that cannot be stopped from outside.
    void SetBudget(std::chrono::milliseconds budget) { budget_ = budget; }

signals:
    // The picture of a request, null when the file could not be decoded or outran its budget.
    void Ready(int slot, const QString& path, const QImage& image);

private:
    struct Job;
    struct Shared;
    void finished(const std::shared_ptr<Job>& job, const QImage& image, bool run);
    void watch();

    QSize box_;
    Decoder decoder_;
    std::chrono::milliseconds budget_{4000};
    std::shared_ptr<Shared> shared_;
    std::vector<std::shared_ptr<Job>> pending_;
    QTimer watchdog_;
    // The pictures of a window are decoded here, not in Qt's global pool: the raster engine
    // splits large fills over that pool and waits for them, so a decode queued there would stall
    // every repaint of the window. Declared last, so it is idle before the rest goes.
    QThreadPool pool_;
};

}  // namespace quorvane::gui
