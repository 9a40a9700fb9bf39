// Live update through the desktop program: About, "Get Updates", and the wizard's pages clicked
// through against a loopback HTTPS server and a control file signed with a test key, from the control file named in Quorvane.ini to the
// downloaded files and the updater's command line; Cancel and closing the wizard mid-download.
// The updater is a script that writes down its arguments; the program's end after the restart
// is the desktop's own (main window closed, settings saved), with the test process still alive.
#include "gui_test_support.h"

#include "app/program_folder.h"
#include "gui/desktop_app.h"
#include "gui/qt_user_interface.h"
#include "gui/update_wizard_component.h"
#include "gui/window_host_qt.h"
#include "support/version_test_files.h"
#include "update/loopback_server.h"
#include "update/test_signer.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSettings>
#include <QStackedWidget>

#include <filesystem>
#include <unistd.h>

using namespace quorvane;
using namespace quorvane::testing;

namespace {

QByteArray programWithVersion(std::uint32_t a, std::uint32_t b) {
    const auto bytes =
        ElfWriter({}).Build(ElfVersionSectionName, BuildVersionBlock({FixedVersion(a, b, 0, 0), {}, false}));
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

QString programFolder() { return QString::fromStdString(ProgramFolder()); }

template <class W = QWidget>
W* child(QWidget* parent, const char* name) {
    W* w = parent->findChild<W*>(name);
    if (w == nullptr) qWarning("no widget %s", name);
    return w;
}

QString page(QWidget* wizard) { return child<QStackedWidget>(wizard, "PageControl")->currentWidget()->objectName(); }

void click(QWidget* wizard, const char* name) { QTest::mouseClick(child(wizard, name), Qt::LeftButton); }

// Closes whatever modal window is open, so a failed check inside one does not hang the test.
void closeModalWindows() {
    for (int i = 0; i < 8 && QApplication::activeModalWidget() != nullptr; ++i) QApplication::activeModalWidget()->close();
}

}  // namespace

class UpdateWizardTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::unique_ptr<LoopbackServer> server_;
    TestSigner signer_;
    QString www_;
    QString cwd_;

    void serve(const QString& name, const QByteArray& content) { WriteFile(www_ + "/" + name, content); }
    // A control file with its signature beside it.
    void serveSigned(const QString& name, const QByteArray& content) {
        serve(name, content);
        serve(name + ".sig", QByteArray::fromStdString(signer_.Sign(content.toStdString())));
    }
    QString hash(const QString& name) const {
        return QString::fromStdString(Sha256Hex(ReadFile(www_ + "/" + name).toStdString()));
    }
    QString url(const QString& name) const { return QString::fromStdString(server_->URL(name.toStdString())); }
    QStringList requested() const {
        QStringList paths;
        for (const std::string& p : server_->RequestedPaths()) paths << QString::fromStdString(p);
        return paths;
    }
    QString updaterArgs() const { return dir_.path() + "/updater-args"; }

    // A version based update from 2.4 to 2.5 offering the listed files (name, description).
    QByteArray control(const QList<QPair<QString, QString>>& files, const QString& extra = {}) {
        QString c = "[update]\nnewversion=2.5.0.0\nlocalversion={APP}\\quorvane\ndescr=Faster scans\n"
                    "[application]\nappname={APP}\\quorvane --after-update\nappcomps=quorvane\n" +
                    QString("[files]\ncount=%1\n").arg(files.size());
        for (int i = 0; i < files.size(); ++i) {
            c += QString("[file%1]\nurl=%2\ndescr=%3\ntargetdir={APP}\nfilesize=%4\nsha256=%5\n")
                     .arg(i + 1)
                     .arg(url(files[i].first), files[i].second)
                     .arg(QFileInfo(www_ + "/" + files[i].first).size())
                     .arg(hash(files[i].first));
        }
        return (c + extra).toUtf8();
    }

    // The desktop program as it starts: Quorvane.ini names the loopback server. The updater is
    // replaced by a script; the About box reads the version of the program file at 2.4.
    void prepare(gui::DesktopApp& app) {
        gui::LiveUpdateComponent& live = app.Host->Update();
        live.WebUpdate.NoProxy = std::string(1, '*');  // assigning "*" trips a false restrict warning of g++ 12
        live.WebUpdate.UpdaterProgram = (dir_.path() + "/fake-updater").toStdString();
        live.WebUpdate.CAFile = server_->CertificateFile();
        live.WebUpdate.PublicKey = signer_.PublicKeyHex();
        live.WebUpdate.CurrentUser = [] { return uid_t{1000}; };  // the tests run as root on the build machines
        live.About.ExecutablePath = ProgramFolder() + "quorvane";
        app.Window->show();
    }

private slots:
    void initTestCase() { cwd_ = QDir::currentPath(); }

    void init() {
        // Each test starts from an empty program folder holding the program at version 2.4.
        std::filesystem::remove_all(ProgramFolder());
        QDir().mkpath(programFolder());
        WriteFile(programFolder() + "quorvane", programWithVersion(2, 4));
        www_ = dir_.path() + "/www";
        QDir(www_).removeRecursively();
        QDir().mkpath(www_);
        QFile::remove(updaterArgs());
        WriteFile(dir_.path() + "/fake-updater", ("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + updaterArgs() + "'\n").toUtf8());
        QFile(dir_.path() + "/fake-updater").setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        server_ = std::make_unique<LoopbackServer>(www_.toStdString(), (dir_.path() + "/server.log").toStdString());
        if (!server_->Running()) QSKIP("the https server (python3, openssl) could not be started");
        WriteFile(programFolder() + "Quorvane.ini", ("[LiveUpdate]\nURL=" + url("quorvane.inf") + "\n").toUtf8());
    }

    void cleanup() {
        closeModalWindows();
        server_.reset();
        // "Get Updates" makes the program's folder the current directory.
        QDir::setCurrent(cwd_);
    }

    void wholeUpdateFromAboutToRestart() {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "Quorvane2").clear();
        const QByteArray notes = "Release notes\n" + QByteArray(300000, 'n') + "\n";
        const QByteArray newProgram = programWithVersion(2, 5);
        serve("notes.txt", notes);
        serve("quorvane", newProgram);
        serve("extras.txt", "not wanted\n");
        serve("whatsnew.txt", "Faster scans\r\nFewer clicks\r\n");
        serve("eula.txt", "Use it well.\n");
        serveSigned("quorvane.inf",
                    control({{"notes.txt", "Release notes"}, {"quorvane", "Program"}, {"extras.txt", "Extras"}},
                            "[whatsnew]\nfile=" + url("whatsnew.txt") + "\nsha256=" + hash("whatsnew.txt") +
                                "\n[eula]\nfile=" + url("eula.txt") + "\nsha256=" + hash("eula.txt") + "\n"));

        gui::DesktopApp app;
        gui::LiveUpdateComponent& live = app.Host->Update();
        // Start-up handed the address from Quorvane.ini and the program's folder to the component.
        QCOMPARE(QString::fromStdString(live.WebUpdate.URL), url("quorvane.inf"));
        QCOMPARE(QString::fromStdString(live.WebUpdate.Prefixes.app), programFolder());
        prepare(app);
        auto* prefix = app.Window->Widget<QLineEdit>("EditFilenamePrefix");
        prefix->clear();
        QTest::keyClicks(prefix, "holiday");

        QList<int> totals;
        bool finished = false;
        When([] { return TopLevel("WUWIZ") != nullptr; }, [&] {
            QWidget* w = TopLevel("WUWIZ");
            auto closeOnFailure = qScopeGuard([] { closeModalWindows(); });
            QVERIFY(w->isModal());
            QCOMPARE(w->windowTitle(), QString("Live Update for Quorvane"));
            QCOMPARE(page(w), QString("TSWelcome"));
            QCOMPARE(child<QLabel>(w, "WelcomeLabel")->text(),
                     QString("Press start to start checking for available application updates ..."));
            auto* total = child<QProgressBar>(w, "TotalProgressBar");
            connect(total, &QProgressBar::valueChanged, w, [&totals](int v) { totals << v; });

            click(w, "StartButton");
            QCOMPARE(page(w), QString("TSVersion"));
            QCOMPARE(child<QLabel>(w, "VersionLabel")->text(),
                     QString("New version found :\n\nCurrent version :2.4.0.0\nNew version :2.5.0.0\n\nFaster scans"));
            QCOMPARE(child<QPushButton>(w, "VersionButton")->text(), QString("Get update"));

            click(w, "VersionButton");
            QCOMPARE(page(w), QString("TSWhatsNew"));
            QCOMPARE(child<QPlainTextEdit>(w, "WhatsNewMemo")->toPlainText(), QString("Faster scans\nFewer clicks"));
            QVERIFY(child<QPlainTextEdit>(w, "WhatsNewMemo")->isReadOnly());

            click(w, "WhatsNewNextButton");
            QCOMPARE(page(w), QString("TSLicence"));
            QCOMPARE(child<QPlainTextEdit>(w, "LicenceMemo")->toPlainText(), QString("Use it well."));
            auto* next = child<QPushButton>(w, "LicenceNextButton");
            auto* accept = child<QRadioButton>(w, "AcceptRadio");
            auto* decline = child<QRadioButton>(w, "DeclineRadio");
            QCOMPARE(accept->text(), QString("I Accept"));
            QCOMPARE(decline->text(), QString("I do not accept"));
            QVERIFY(!next->isEnabled());
            QTest::mouseClick(decline, Qt::LeftButton, {}, QPoint(8, decline->height() / 2));  // on the mark
            QVERIFY(next->isEnabled());
            QCOMPARE(next->text(), QString("Exit"));
            QTest::mouseClick(accept, Qt::LeftButton, {}, QPoint(8, accept->height() / 2));
            QVERIFY(accept->isChecked());
            QVERIFY(!decline->isChecked());
            QCOMPARE(next->text(), QString("Next"));

            click(w, "LicenceNextButton");
            QCOMPARE(page(w), QString("TSFiles"));
            QCOMPARE(child<QLabel>(w, "FilesLabel")->text(), QString("Available application components :"));
            auto* list = child<QListWidget>(w, "FileCheckList");
            QCOMPARE(list->count(), 3);
            for (int i = 0; i < 3; ++i) QCOMPARE(list->item(i)->checkState(), Qt::Checked);
            QCOMPARE(list->item(2)->text(), QString("Extras"));
            list->item(2)->setCheckState(Qt::Unchecked);  // the user's untick

            click(w, "FilesNextButton");
            QCOMPARE(page(w), QString("TSDone"));
            QCOMPARE(child<QLabel>(w, "FileProgressLabel")->text(), QString("Current file progress : quorvane"));
            QCOMPARE(child<QProgressBar>(w, "FileProgressBar")->value(), 1000);
            QCOMPARE(child<QLabel>(w, "DoneLabel")->text(), QString("Update completed ..."));
            QCOMPARE(child<QLabel>(w, "RestartLabel")->text(), QString("Press restart to start the updated application."));
            QCOMPARE(child<QPushButton>(w, "RestartButton")->text(), QString("Restart"));
            finished = true;
            closeOnFailure.dismiss();
            click(w, "RestartButton");
        });
        When([] { return TopLevel("FrmAbout") != nullptr; },
             [] { QTest::mouseClick(TopLevel("FrmAbout")->findChild<QWidget*>("ButtonGetUpdates"), Qt::LeftButton); });
        QTest::mouseClick(app.Window->Widget<QWidget>("ButtonAbout"), Qt::LeftButton);
        QVERIFY(finished);

        // The files are in place, the unticked one was never fetched.
        QCOMPARE(ReadFile(programFolder() + "notes.txt"), notes);
        QCOMPARE(ReadFile(programFolder() + "quorvane"), newProgram);
        QVERIFY(!QFileInfo::exists(programFolder() + "extras.txt"));
        QCOMPARE(requested(), QStringList({"quorvane.inf", "quorvane.inf.sig", "whatsnew.txt", "eula.txt", "notes.txt", "quorvane"}));
        // The total bar rose through the files, also within the large one, to its end.
        QVERIFY(totals.size() > 3);
        QVERIFY(std::is_sorted(totals.begin(), totals.end()));
        QCOMPARE(totals.last(), 1000);

        // The updater got our process number, the application's command line and its components.
        QVERIFY(WaitFor([this] { return !ReadFile(updaterArgs()).isEmpty(); }, 5000));
        QCOMPARE(QString::fromUtf8(ReadFile(updaterArgs())),
                 QString("%1\n%2quorvane --after-update\nquorvane\n").arg(::getpid()).arg(programFolder()));
        // Then the program ended as closing its window ends it: every window shut, settings saved.
        QVERIFY(live.Terminating());
        QVERIFY(WaitFor([&] { return !app.Window->isVisible(); }, 5000));
        QVERIFY(TopLevel("FrmAbout") == nullptr);
        QVERIFY(TopLevel("WUWIZ") == nullptr);
        QCOMPARE(QSettings(QSettings::NativeFormat, QSettings::UserScope, "Quorvane2").value("Options/Prefix").toString(),
                 QString("holiday"));
    }

    // The control file's message, like any text a box shows, comes from outside: markup in it is
    // shown as written, never as a link or formatting.
    void messageBoxesShowPlainText() {
        const auto scripted = gui::QtUserInterface::DefaultAnswer;
        gui::QtUserInterface::DefaultAnswer = nullptr;
        auto restore = qScopeGuard([scripted] { gui::QtUserInterface::DefaultAnswer = scripted; });
        gui::QtUserInterface ui;
        const QString markup = "<a href=\"https://elsewhere.example\">Click <b>here</b></a>";
        bool seen = false;
        When([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; }, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            auto closeBox = qScopeGuard([box] { box->button(QMessageBox::Ok)->click(); });
            QCOMPARE(box->textFormat(), Qt::PlainText);
            QCOMPARE(box->text(), markup);
            seen = true;
        });
        ui.MessageBox(markup.toStdString(), "Quorvane", MsgIcon::Information, MsgButtons::Ok, MsgResult::Ok);
        QVERIFY(seen);
    }

    void cancelDuringADownload_data() {
        QTest::addColumn<bool>("byClosingTheWindow");
        QTest::newRow("Cancel button") << false;
        QTest::newRow("window closed") << true;
    }
    void cancelDuringADownload() {
        QFETCH(bool, byClosingTheWindow);
        serve("first.txt", "first file\n");
        // Large enough to be still arriving when the pumped events deliver the click: a sparse
        // file costs the server no disk.
        QFile big(www_ + "/big.bin");
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(32 * 1024 * 1024));
        big.close();
        serve("last.txt", "last file\n");
        serveSigned("quorvane.inf", control({{"first.txt", "First"}, {"big.bin", "Big"}, {"last.txt", "Last"}}));

        gui::DesktopApp app;
        prepare(app);
        bool cancelled = false;
        bool finished = false;
        When([] { return TopLevel("WUWIZ") != nullptr; }, [&] {
            QWidget* w = TopLevel("WUWIZ");
            auto closeOnFailure = qScopeGuard([] { closeModalWindows(); });
            click(w, "StartButton");
            click(w, "VersionButton");
            QCOMPARE(page(w), QString("TSFiles"));
            When([p = QPointer<QWidget>(w)] { return p && child<QLabel>(p, "FileProgressLabel")->text().endsWith("big.bin"); },
                 [&, w] {
                     QCOMPARE(page(w), QString("TSDownload"));
                     QCOMPARE(child<QPushButton>(w, "CancelButton")->text(), QString("Cancel"));
                     if (byClosingTheWindow)
                         w->close();
                     else
                         click(w, "CancelButton");
                     cancelled = true;
                 });
            click(w, "FilesNextButton");
            QVERIFY(cancelled);
            QVERIFY(!w->isVisible());
            // The About box stays: nothing is restarted after a cancelled update.
            QWidget* about = TopLevel("FrmAbout");
            QVERIFY(about != nullptr);
            finished = true;
            closeOnFailure.dismiss();
            QTest::mouseClick(about->findChild<QWidget*>("ButtonOK"), Qt::LeftButton);
        });
        When([] { return TopLevel("FrmAbout") != nullptr; },
             [] { QTest::mouseClick(TopLevel("FrmAbout")->findChild<QWidget*>("ButtonGetUpdates"), Qt::LeftButton); });
        QTest::mouseClick(app.Window->Widget<QWidget>("ButtonAbout"), Qt::LeftButton);
        QVERIFY(finished);

        // A cancelled update installs nothing: not the file that had arrived, not the partial
        // download; the one after it was never asked for.
        QCOMPARE(requested(), QStringList({"quorvane.inf", "quorvane.inf.sig", "first.txt", "big.bin"}));
        QStringList left = QDir(programFolder()).entryList(QDir::Files);
        left.sort();
        QCOMPARE(left, QStringList({"Quorvane.ini", "quorvane"}));
        QCOMPARE(ReadFile(programFolder() + "quorvane"), programWithVersion(2, 4));
        QVERIFY(!app.Host->Update().Terminating());
        QVERIFY(app.Window->isVisible());
        QVERIFY(!QFileInfo::exists(updaterArgs()));
    }
};

QUORVANE_GUI_TEST_MAIN(UpdateWizardTest)
#include "update_wizard_test.moc"
