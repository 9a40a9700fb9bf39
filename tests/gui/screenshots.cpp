// Screenshots of the windows for the documentation: gui-screenshots OUTDIR [IMAGE [DEST]]
// An IMAGE and DEST at ordinary places (a card image in the home folder, a folder of Pictures)
// give pictures that show what a user sees; without them both lie in a temporary folder.
// The windows are shown over a camera card, during and after a real run.
#include "gui_test_support.h"

#include "app/format_wipe.h"
#include "app/frm_select_folder_dialog.h"
#include "app/program_folder.h"
#include "gui/about_box.h"
#include "gui/desktop_app.h"
#include "gui/folder_dialog.h"
#include "gui/format_dialog.h"
#include "gui/update_wizard_component.h"
#include "gui/window_host_qt.h"
#include "platform/drive_table.h"
#include "support/version_test_files.h"
#include "update/loopback_server.h"
#include "update/test_signer.h"

#include <QLabel>
#include <QProgressBar>
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

QByteArray programWithVersion(std::uint32_t a, std::uint32_t b) {
    const auto bytes = testing::ElfWriter({}).Build(ElfVersionSectionName,
                                                    BuildVersionBlock({testing::FixedVersion(a, b, 0, 0), {}, false}));
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// The update wizard against a loopback server offering version 2.5 of a program at 2.4: the
// version page, and the download page half way through.
void saveUpdateWizard(gui::DesktopApp& app, const QString& work) {
    const QString www = work + "/www";
    QDir().mkpath(www);
    LoopbackServer server(www.toStdString(), (work + "/server.log").toStdString());
    if (!server.Running()) {
        qWarning("the https server (python3, openssl) could not be started: no wizard screenshots");
        return;
    }
    const QString program = QString::fromStdString(ProgramFolder());
    WriteFile(program + "quorvane", programWithVersion(2, 4));
    WriteFile(www + "/quorvane", programWithVersion(2, 5));
    WriteFile(www + "/samples.zip", QByteArray(3 * 1024 * 1024, 's'));
    WriteFile(www + "/help.zip", QByteArray(4 * 1024 * 1024, 'h'));
    auto url = [&](const char* name) { return QString::fromStdString(server.URL(name)); };
    auto hash = [&](const char* name) {
        return QString::fromStdString(testing::Sha256Hex(ReadFile(www + "/" + name).toStdString()));
    };
    const testing::TestSigner signer;
    const QByteArray control =
              QString("[update]\nnewversion=2.5.0.0\nlocalversion={APP}\\quorvane\n"
                      "descr=Faster scans of large cards, and the preview shows film clips.\n"
                      "[files]\ncount=3\n"
                      "[file1]\nurl=%1\ndescr=Quorvane 2.5\ntargetdir={APP}\nfilesize=%2\nsha256=%7\n"
                      "[file2]\nurl=%3\ndescr=Sample pictures\ntargetdir={APP}\nfilesize=%4\nsha256=%8\n"
                      "[file3]\nurl=%5\ndescr=Help pages\ntargetdir={APP}\nfilesize=%6\nsha256=%9\n")
                  .arg(url("quorvane"))
                  .arg(QFileInfo(www + "/quorvane").size())
                  .arg(url("samples.zip"))
                  .arg(QFileInfo(www + "/samples.zip").size())
                  .arg(url("help.zip"))
                  .arg(QFileInfo(www + "/help.zip").size())
                  .arg(hash("quorvane"), hash("samples.zip"), hash("help.zip"))
                  .toUtf8();
    WriteFile(www + "/update.inf", control);
    WriteFile(www + "/update.inf.sig", QByteArray::fromStdString(signer.Sign(control.toStdString())));

    gui::LiveUpdateComponent& live = app.Host->Update();
    live.WebUpdate.URL = url("update.inf").toStdString();
    live.WebUpdate.NoProxy = "*";
    live.WebUpdate.CAFile = server.CertificateFile();
    live.WebUpdate.PublicKey = signer.PublicKeyHex();
    live.WebUpdate.CurrentUser = [] { return uid_t{1000}; };
    When([] { return TopLevel("WUWIZ") != nullptr; }, [] {
        QWidget* w = TopLevel("WUWIZ");
        QTest::mouseClick(w->findChild<QWidget*>("StartButton"), Qt::LeftButton);
        save(w, "update-wizard-version");
        QTest::mouseClick(w->findChild<QWidget*>("VersionButton"), Qt::LeftButton);
        // Half of the last file: the total bar is further on. The total bar moves last.
        auto* file = w->findChild<QProgressBar*>("FileProgressBar");
        auto* total = w->findChild<QProgressBar*>("TotalProgressBar");
        auto* label = w->findChild<QLabel*>("FileProgressLabel");
        auto taken = std::make_shared<bool>(false);
        QObject::connect(total, &QProgressBar::valueChanged, w, [w, file, label, taken] {
            if (*taken || file->value() < 500 || !label->text().endsWith("help.zip")) return;
            *taken = true;
            save(w, "update-wizard-download");
        });
        QTest::mouseClick(w->findChild<QWidget*>("FilesNextButton"), Qt::LeftButton);
        w->close();
    });
    live.Wizard.Execute();
}

}  // namespace

int main(int argc, char** argv) {
    IsolateEnvironment();
    QApplication qapp(argc, argv);
    if (argc < 2) {
        qWarning("usage: gui-screenshots OUTDIR [IMAGE [DEST]]");
        return 1;
    }
    outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    QTemporaryDir work;
    const QString image = argc > 2 ? QString::fromLocal8Bit(argv[2]) : MakeCameraCard(work.path());
    gui::DesktopApp app({image});
    const QString dest = argc > 3 ? QString::fromLocal8Bit(argv[3]) : work.path() + "/dest";
    QDir().mkpath(dest);
    app.Form.EditDestPath.SetText(dest.toStdString());
    app.Window->show();
    QTest::qWait(200);
    save(app.Window.get(), "main-window");
    for (const char* page : {"ButtonUtil", "ButtonOptions"}) {
        app.Window->Widget<QToolButton>(page)->click();
        QTest::qWait(50);
        save(app.Window.get(), QString(page) == "ButtonUtil" ? "tools-page" : "settings-page");
    }
    app.Window->Widget<QToolButton>("ButtonMain")->click();

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
        QTest::qWait(1500);  // thumbnails arrive from their worker threads
        save(TopLevel("FrmPreview"), "save-images");
        QTest::mouseClick(TopLevel("FrmPreview")->findChild<QWidget*>("ButtonOK"), Qt::LeftButton);
    }, 60000);
    QTest::mouseClick(app.Window->Widget<QWidget>("ButtonStart"), Qt::LeftButton);
    save(app.Window.get(), "main-window-after-run");

    TFrmSelectFolderDialog chooser;
    chooser.SelectedPath = dest.toStdString();
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

    gui::AboutBox about(app.Host->Update().About, app.Window.get());
    about.show();
    QTest::qWait(50);
    save(&about, "about-box");
    about.close();

    saveUpdateWizard(app, work.path());
    return 0;
}
