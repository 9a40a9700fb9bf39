// Screenshots of the windows for the documentation: gui-screenshots OUTDIR [IMAGE]
// The windows are shown over a camera card, during and after a real run.
#include "gui_test_support.h"

#include "app/format_wipe.h"
#include "app/frm_select_folder_dialog.h"
#include "gui/about_box.h"
#include "gui/desktop_app.h"
#include "gui/folder_dialog.h"
#include "gui/format_dialog.h"
#include "platform/drive_table.h"

#include <QStackedWidget>
#include <QToolButton>

using namespace quorvane;
using namespace quorvane::testing;

namespace {

QString outDir;

void save(QWidget* w, const QString& name) {
    const QPixmap shot = w->grab();
    if (!shot.save(outDir + "/" + name + ".png")) qWarning("cannot save %s", qPrintable(name));
}

}  // namespace

int main(int argc, char** argv) {
    IsolateEnvironment();
    QApplication qapp(argc, argv);
    if (argc < 2) {
        qWarning("usage: gui-screenshots OUTDIR [IMAGE]");
        return 1;
    }
    outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    QTemporaryDir work;
    const QString image = argc > 2 ? QString::fromLocal8Bit(argv[2]) : MakeCameraCard(work.path());
    gui::DesktopApp app({image});
    app.Window->show();
    QTest::qWait(200);
    save(app.Window.get(), "main-window");
    for (const char* page : {"ButtonUtil", "ButtonOptions"}) {
        app.Window->Widget<QToolButton>(page)->click();
        QTest::qWait(50);
        save(app.Window.get(), QString(page) == "ButtonUtil" ? "tools-page" : "settings-page");
    }
    app.Window->Widget<QToolButton>("ButtonMain")->click();

    QDir().mkpath(work.path() + "/dest");
    app.Form.EditDestPath.SetText((work.path() + "/dest").toStdString());
    When([] { return TopLevel("FrmAnalyzeDrive") != nullptr && TopLevel("FrmAnalyzeDrive")->findChild<QWidget*>("ButtonContinue")->isEnabled(); },
         [] {
             QWidget* d = TopLevel("FrmAnalyzeDrive");
             save(d, "analyze-drive-method");
             QTest::mouseClick(d->findChild<QWidget*>("ButtonContinue"), Qt::LeftButton);
             save(d, "analyze-drive-type");
             QTest::mouseClick(d->findChild<QWidget*>("ButtonContinue"), Qt::LeftButton);
         });
    When([] { return TopLevel("FrmAnalyzeDrive") != nullptr; }, [] {
        QTest::qWait(600);
        if (QWidget* d = TopLevel("FrmAnalyzeDrive")) save(d, "analyze-drive-analyzing");
    });
    When([] { return TopLevel("FrmPreview") != nullptr && TopLevel("FrmPreview")->isModal(); }, [&] {
        save(TopLevel("FrmPreview"), "save-images");
        QTest::mouseClick(TopLevel("FrmPreview")->findChild<QWidget*>("ButtonOK"), Qt::LeftButton);
    }, 60000);
    QTest::mouseClick(app.Window->Widget<QWidget>("ButtonStart"), Qt::LeftButton);
    save(app.Window.get(), "main-window-after-run");

    TFrmSelectFolderDialog chooser;
    chooser.SelectedPath = (work.path() + "/dest").toStdString();
    gui::FolderDialog folders(chooser, app.Window.get());
    folders.show();
    QTest::qWait(1500);
    save(&folders, "folder-chooser");

    TFormatOptions options;
    options.VolumeLabel = "CAMERA";
    gui::FormatDialog format(*DriveTable::instance().find(static_cast<std::uint8_t>(app.Form.DriveNumber)), options,
                             app.Window.get());
    format.show();
    QTest::qWait(50);
    save(&format, "format-dialog");

    gui::AboutBox about(app.Window.get());
    about.show();
    QTest::qWait(50);
    save(&about, "about-box");
    return 0;
}
