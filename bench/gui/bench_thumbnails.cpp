// A page of the preview window: ten 12-megapixel JPEGs drawn into their slots. Target: under 0.3 s.
//
//   QT_QPA_PLATFORM=offscreen build/bench/gui/bench_thumbnails
#include "app/frm_main.h"
#include "app/frm_preview.h"
#include "gui/preview_window.h"
#include "gui/thumbnails.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QTemporaryDir* photos = nullptr;
QStringList photoPaths;

// Ten 12-megapixel camera photos (4000 x 3000, about 4 MB each, with film grain as a sensor
// gives), made by the project's make-photo.
void makePhotos() {
    photos = new QTemporaryDir;
    for (int i = 0; i < 10; ++i) {
        const QString path = QString("%1/IMG_%2.JPG").arg(photos->path()).arg(i);
        const int rc = QProcess::execute(MAKE_PHOTO, {"--out", path, "--seed", QString::number(100 + i), "--width", "4000",
                                                      "--height", "3000", "--quality", "90", "--exif"});
        if (rc != 0) qFatal("make-photo failed");
        photoPaths << path;
    }
}

void BM_TenThumbnails(benchmark::State& state) {
    for (auto _ : state) {
        for (const QString& path : photoPaths) benchmark::DoNotOptimize(quorvane::gui::LoadThumbnail(path, QSize(90, 90)));
    }
    state.SetLabel("10 x 12 MP JPEG");
}
BENCHMARK(BM_TenThumbnails)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A page appearing in the window: twenty photos staged, the scroll bar moved between the first
// page (files 0-9) and the third row (files 10-19), so each step draws ten new pictures.
void BM_PreviewPage(benchmark::State& state) {
    quorvane::TFrmMain main;
    quorvane::TFrmPreview preview(main);
    quorvane::gui::PreviewWindow view(preview, nullptr);
    for (int round = 0; round < 2; ++round) {
        for (const QString& path : photoPaths) preview.AddFile(path.toStdString());
    }
    view.show();
    // The pictures arrive from the window's decoders: a page is drawn when all ten are there.
    auto pageDrawn = [&view] {
        for (int k = 1; k <= 10; ++k) {
            if (view.Picture(k)->pixmap().isNull()) return false;
        }
        return true;
    };
    int position = 0;
    for (auto _ : state) {
        position = position == 0 ? 2 : 0;
        preview.ScrollBarPreview.SetPosition(position);
        preview.ScrollBarPreviewScroll();
        while (!pageDrawn()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    // An empty list before the window goes: its clean-up deletes staged files, and these photos
    // are the benchmark's.
    preview.ResetPreview();
    state.SetLabel("scroll to a page of 10 x 12 MP JPEG");
}
BENCHMARK(BM_PreviewPage)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    makePhotos();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete photos;
    return 0;
}
