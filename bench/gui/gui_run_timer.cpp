// Times one scan method run through the desktop window, the way a user runs it: Start, the scan
// method chosen in the analysis dialog, the preview beside the window, "Save Images" with OK.
// Prints the seconds from the dialog's Continue to the end of the Start command (files saved).
//
//   QT_QPA_PLATFORM=offscreen build/bench/gui-run-timer IMAGE DEST [--no-preview] [--before-run CMD]
//
// --before-run runs a shell command just before Continue is clicked, outside the time taken: a
// benchmark brings the machine into the same state there as before the run it compares with.
#include "app/frm_main.h"
#include "gui/desktop_app.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace quorvane;

namespace {

QWidget* topLevel(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->objectName() == name) return w;
    }
    return nullptr;
}

// Runs act once cond holds, from whatever event loop is running.
void when(std::function<bool()> cond, std::function<void()> act) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(1);  // what the timer waits is counted, a user's reaction is not
    QObject::connect(timer, &QTimer::timeout, qApp, [=] {
        if (!cond()) return;
        timer->stop();
        timer->deleteLater();
        act();
    });
    timer->start();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    bool preview = true;
    std::string beforeRun;
    bool usage = argc < 3;
    for (int i = 3; i < argc && !usage; ++i) {
        if (std::strcmp(argv[i], "--no-preview") == 0) {
            preview = false;
        } else if (std::strcmp(argv[i], "--before-run") == 0 && i + 1 < argc) {
            beforeRun = argv[++i];
        } else {
            usage = true;
        }
    }
    if (usage) {
        std::fprintf(stderr, "usage: gui-run-timer IMAGE DEST [--no-preview] [--before-run CMD]\n");
        return 1;
    }
    gui::DesktopApp app({QString::fromLocal8Bit(argv[1])});
    app.Form.Settings = nullptr;  // a timing run leaves the user's settings alone
    app.Form.EditDestPath.SetText(argv[2]);
    app.Form.EditFilenamePrefix.SetText("image");
    app.Form.cb_preview.SetChecked(preview);
    app.Window->show();

    QElapsedTimer run;
    when([] { return topLevel("FrmAnalyzeDrive") != nullptr &&
                     topLevel("FrmAnalyzeDrive")->findChild<QWidget*>("ButtonContinue")->isEnabled(); },
         [&] {
             QWidget* d = topLevel("FrmAnalyzeDrive");
             QTest::mouseClick(d->findChild<QWidget*>("RBScanMethod"), Qt::LeftButton, {}, QPoint(5, 10));
             if (!beforeRun.empty() && std::system(beforeRun.c_str()) != 0) {
                 std::fprintf(stderr, "gui-run-timer: the command before the run failed\n");
             }
             run.start();
             QTest::mouseClick(d->findChild<QWidget*>("ButtonContinue"), Qt::LeftButton);
         });
    when([] { return topLevel("FrmPreview") != nullptr && topLevel("FrmPreview")->isModal(); },
         [] { QTest::mouseClick(topLevel("FrmPreview")->findChild<QWidget*>("ButtonOK"), Qt::LeftButton); });
    QTest::mouseClick(app.Window->findChild<QWidget*>("ButtonStart"), Qt::LeftButton);
    const double seconds = static_cast<double>(run.nsecsElapsed()) / 1e9;
    std::printf("%.3f\n", seconds);
    std::fprintf(stderr, "%d files, %llu of %llu sectors\n", app.Form.ImagesFound,
                 static_cast<unsigned long long>(app.Form.LastRun.SectorsRead),
                 static_cast<unsigned long long>(app.Form.LastRun.TotalSectors));
    return app.Form.LastRun.SectorsRead == app.Form.LastRun.TotalSectors ? 0 : 2;
}
