// Whole recovery runs through the real window: Start, the analysis dialog, the method, the
// preview during the run, "Save Images", the files in the destination; Cancel and closing the
// window during a run.
#include "gui_test_support.h"

#include "app/frm_preview.h"
#include "app/recovery_run.h"
#include "gui/busy_strip.h"
#include "gui/desktop_app.h"
#include "gui/preview_window.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSettings>
#include <QStackedWidget>

using namespace quorvane;
using namespace quorvane::testing;

namespace {

QWidget* child(QWidget* w, const char* name) { return w != nullptr ? w->findChild<QWidget*>(name) : nullptr; }

// The file choices the analysis dialog was confirmed with.
struct Choice {
    bool deleted = true;
    bool lost = false;
};

// Answers the analysis dialog: the combined run as preset, confirmed with Enter; the scan method;
// or the folder based method with the proposed files.
void chooseMethod(const QString& method, Choice* choice = nullptr) {
    When([] {
        QWidget* d = TopLevel("FrmAnalyzeDrive");
        return d != nullptr && child(d, "ButtonContinue")->isEnabled();
    }, [method, choice] {
        QWidget* d = TopLevel("FrmAnalyzeDrive");
        auto* pages = d->findChild<QStackedWidget*>("PCDriveMethod");
        QCOMPARE(pages->currentWidget()->objectName(), QString("TSSelectMethod"));
        // The combined run comes first and is preset.
        auto* both = d->findChild<QRadioButton*>("RBBothMethods");
        QVERIFY(both->isChecked());
        QCOMPARE(both->text(), QString("Both methods (recommended)"));
        QVERIFY(both->y() < child(d, "RBFolderMethod")->y());
        QVERIFY(child(d, "RBFolderMethod")->y() < child(d, "RBScanMethod")->y());
        if (method == "scan") QTest::mouseClick(child(d, "RBScanMethod"), Qt::LeftButton, {}, QPoint(5, 10));
        if (method == "folder") QTest::mouseClick(child(d, "RBFolderMethod"), Qt::LeftButton, {}, QPoint(5, 10));
        auto confirm = [d, method] {
            if (method == "both") {
                // Enter where the focus is, which may be Cancel's since the analysis began.
                QTest::keyClick(d->focusWidget() != nullptr ? d->focusWidget() : d, Qt::Key_Return);
            } else {
                QTest::mouseClick(child(d, "ButtonContinue"), Qt::LeftButton);
            }
        };
        confirm();
        if (method != "scan") {
            QCOMPARE(pages->currentWidget()->objectName(), QString("TSSelectType"));
            if (choice != nullptr) {
                choice->deleted = d->findChild<QCheckBox*>("CBRecoverDeletedFiles")->isChecked();
                choice->lost = d->findChild<QCheckBox*>("CBRecoverLostFiles")->isChecked();
            }
            confirm();
        }
    }, 30000, "the analysis dialog");
}

// Presses a button of the preview window once it is shown as "Save Images".
void saveImages(const char* button, std::function<void(QWidget*)> look = {}) {
    When([] {
        QWidget* p = TopLevel("FrmPreview");
        return p != nullptr && p->windowTitle() == "Save Images" && p->isModal();
    }, [button, look] {
        QWidget* p = TopLevel("FrmPreview");
        if (look) look(p);
        QTest::mouseClick(child(p, button), Qt::LeftButton);
    }, 120000, "Save Images");
}

// Calls act whenever the top-level window of this object name is shown, from within the show.
class ShowWatch : public QObject {
public:
    ShowWatch(const char* name, std::function<void(QWidget*)> act) : name_(name), act_(std::move(act)) {
        qApp->installEventFilter(this);
    }
    ~ShowWatch() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType() && watched->objectName() == name_ &&
            static_cast<QWidget*>(watched)->isWindow()) {
            act_(static_cast<QWidget*>(watched));
        }
        return false;
    }

private:
    QString name_;
    std::function<void(QWidget*)> act_;
};

void setDestination(gui::MainWindow& w, const QString& dest, const QString& prefix = "image") {
    w.Widget<QLineEdit>("EditDestPath")->clear();
    QTest::keyClicks(w.Widget<QLineEdit>("EditDestPath"), dest);
    w.Form().EditFilenamePrefix.SetText(prefix.toStdString());
}

// A card image grown to size with unwritten (sparse) space after it: a long scan.
QString growSparse(const QString& image, qint64 size) {
    QFile f(image);
    f.open(QIODevice::ReadWrite);
    f.resize(size);
    return image;
}

}  // namespace

class RecoveryRunTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void wholeRunSavesWhatTheCommandLineSaves_data() {
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("files");
        QTest::newRow("folder based") << "folder" << 3;  // the three deleted photos
        QTest::newRow("scan") << "scan" << 6;            // every photo on the card
        QTest::newRow("both") << "both" << 6;            // the deleted ones by name, the others carved
    }
    void wholeRunSavesWhatTheCommandLineSaves() {
        QFETCH(QString, method);
        QFETCH(int, files);
        const QString work = dir_.path() + "/" + method;
        QDir().mkpath(work + "/gui");
        QDir().mkpath(work + "/cli");
        const QString image = MakeCameraCard(work);
        gui::DesktopApp app({image});
        app.Window->show();
        setDestination(*app.Window, work + "/gui");
        app.Window->Widget<QCheckBox>("cb_preview")->setChecked(true);
        app.Form.cb_preview.SetChecked(true);

        int picturesShown = 0;
        Choice choice;
        chooseMethod(method, &choice);
        // The preview shown for the run sits beside the main window, clear of its Cancel button.
        // A small card's run is over before a poll could see it: its Show event is watched instead.
        bool shownDuringRun = false;
        ShowWatch watch("FrmPreview", [&](QWidget* p) {
            if (p->isModal()) return;
            shownDuringRun = true;
            QCOMPARE(p->windowTitle(), QString("Preview"));
            const QWidget* cancel = app.Window->Widget<QWidget>("ButtonCancel");
            QVERIFY(!p->frameGeometry().intersects(QRect(cancel->mapToGlobal(QPoint(0, 0)), cancel->size())));
        });
        QMap<QString, QByteArray> staged;
        saveImages("ButtonOK", [&](QWidget* p) {
            for (const auto& f : app.Form.FrmPreview->Staged()) {
                const QString path = QString::fromStdString(f.Path);
                staged.insert(QFileInfo(path).fileName(), ReadFile(path));
            }
            auto* view = static_cast<gui::PreviewWindow*>(p);
            // Pictures found during the run may still be on their way from the decoder.
            auto shown = [view, p] {
                int n = 0;
                for (int k = 1; k <= 10; ++k) n += view->Picture(k)->isVisibleTo(p) && !view->Picture(k)->pixmap().isNull();
                return n;
            };
            (void)QTest::qWaitFor([&] { return shown() == files; }, 5000);
            picturesShown = shown();
            // Every file was checked by the end of the run, and the page (all of them) shows what
            // the run counted.
            QMap<QString, int> marks;
            for (int k = 1; k <= files; ++k) {
                auto* mark = p->findChild<QLabel*>(QString("LBCondition%1").arg(k));
                if (mark->isVisibleTo(p)) ++marks[mark->toolTip()];
            }
            QCOMPARE(marks.value("Whole"), app.Form.LastRun.Whole);
            QCOMPARE(marks.value("Damaged"), app.Form.LastRun.Damaged);
            QCOMPARE(child(p, "ButtonOK")->property("text").toString(), QString("Save Images"));
            QVERIFY(child(p, "ButtonCancel")->isVisible());
        });
        QTest::mouseClick(app.Window->Widget<QWidget>("ButtonStart"), Qt::LeftButton);

        QVERIFY(shownDuringRun);
        QCOMPARE(picturesShown, files);
        const auto saved = FolderContents(work + "/gui");
        QVERIFY(QFileInfo::exists(work + "/gui/recovery-report.json"));
        QCOMPARE(saved.size(), files);
        QVERIFY(!QDir(QString::fromStdString(app.Form.WorkFolder)).exists() ||
                QDir(QString::fromStdString(app.Form.WorkFolder)).isEmpty());
        QCOMPARE(app.Window->Widget<QLabel>("LabelInfoStatus")->text(), QString("Ready"));
        QCOMPARE(app.Window->Widget<QLabel>("LabelInfoImagesFound")->text(), QString::number(files));
        QVERIFY(app.Window->Widget<QWidget>("ButtonStart")->isEnabled());

        // A run of the same plan outside the window stages the same files.
        TRecoveryPlan plan;
        plan.Drive = static_cast<std::uint8_t>(app.Form.DriveNumber);
        plan.Method = method == "both" ? TRecoveryMethod::Both
                      : method == "scan" ? TRecoveryMethod::Scan
                                         : TRecoveryMethod::Folder;
        plan.RecoverDeleted = choice.deleted;
        plan.LookForLost = choice.lost;
        RecoveryRun run(plan);
        run.Run();
        QMap<QString, QByteArray> service;
        for (const auto& f : run.Staged().Files()) {
            const QString path = QString::fromStdString(f.Path);
            service.insert(QFileInfo(path).fileName(), ReadFile(path));
        }
        run.Staged().DeleteStagedFiles();
        QCOMPARE(staged.size(), files);
        QCOMPARE(staged, service);

        QString out;
        QStringList args{"recover", image, "--dest", work + "/cli", "--method", method, "--prefix", "image"};
        if (method == "folder") args << "--deleted" << "--no-lost";
        QCOMPARE(Run(QUORVANE_BINARY_DIR "/quorvane-cli", args, &out), 0);
        QCOMPARE(saved, FolderContents(work + "/cli"));
    }

    void cancelInTheAnalysisChangesNothing() {
        const QString image = MakeCameraCard(dir_.path(), "cancel-analysis.img");
        gui::DesktopApp app({image});
        app.Window->show();
        app.Form.LabelInfoImagesFound.SetCaption("7");
        When([] { return TopLevel("FrmAnalyzeDrive") != nullptr; },
             [] { QTest::mouseClick(child(TopLevel("FrmAnalyzeDrive"), "ButtonCancel"), Qt::LeftButton); }, 10000,
             "the analysis dialog");
        QTest::mouseClick(app.Window->Widget<QWidget>("ButtonStart"), Qt::LeftButton);
        QCOMPARE(app.Window->Widget<QLabel>("LabelInfoImagesFound")->text(), QString("7"));
        QVERIFY(app.Form.FrmPreview == nullptr);
        QVERIFY(TopLevel("FrmPreview") == nullptr);
    }

    void cancelDuringARunSavesTheFilesFoundSoFar() {
        const QString work = dir_.path() + "/cancel";
        QDir().mkpath(work + "/dest");
        const QString image = growSparse(MakeCameraCard(work), 1024LL * 1024 * 1024);
        gui::DesktopApp app({image});
        app.Window->show();
        setDestination(*app.Window, work + "/dest");
        app.Form.cb_preview.SetChecked(false);  // no window at the end: the files are saved at once

        QElapsedTimer sinceCancel;
        int progressSeen = 0;
        bool busyShown = false;
        auto* busy = app.Window->Widget<gui::BusyStrip>("Animate1");
        chooseMethod("scan");
        When([&] { return app.Window->Widget<QProgressBar>("GProgress")->value() > 0; }, [&] {
            progressSeen = app.Window->Widget<QProgressBar>("GProgress")->value();
            busyShown = busy->isVisible() && busy->IsActive();
            QWidget* cancel = app.Window->Widget<QWidget>("ButtonCancel");
            QVERIFY(cancel->isEnabled());
            // The preview ticked during the run comes up clear of Cancel; unticked, it goes again.
            auto* preview = app.Window->Widget<QCheckBox>("cb_preview");
            QTest::mouseClick(preview, Qt::LeftButton, {}, QPoint(5, preview->height() / 2));
            QVERIFY(TopLevel("FrmPreview") != nullptr);
            QVERIFY(!TopLevel("FrmPreview")->frameGeometry().intersects(
                QRect(cancel->mapToGlobal(QPoint(0, 0)), cancel->size())));
            QTest::mouseClick(preview, Qt::LeftButton, {}, QPoint(5, preview->height() / 2));
            QVERIFY(TopLevel("FrmPreview") == nullptr);
            sinceCancel.start();
            QTest::mouseClick(app.Window->Widget<QWidget>("ButtonCancel"), Qt::LeftButton);
        }, 60000, "the progress bar to move");
        QTest::mouseClick(app.Window->Widget<QWidget>("ButtonStart"), Qt::LeftButton);
        qInfo("run ended %lld ms after Cancel", static_cast<long long>(sinceCancel.elapsed()));

        QVERIFY(progressSeen > 0);
        // The busy animation runs with the run and stops with it.
        QVERIFY(busyShown);
        QVERIFY(!busy->IsActive());
        QVERIFY(app.Form.LastRun.Cancelled);
        QVERIFY(app.Form.LastRun.SectorsRead < app.Form.DriveParams->TotalSectors);
        QCOMPARE(FolderContents(work + "/dest").size(), 6);
        QVERIFY(app.Window->Widget<QWidget>("ButtonStart")->isEnabled());
        QVERIFY(!app.Window->Widget<QWidget>("ButtonCancel")->isEnabled());
    }

    void closingDuringARunStopsItSavesAndEnds() {
        const QString work = dir_.path() + "/close";
        QDir().mkpath(work + "/dest");
        const QString image = growSparse(MakeCameraCard(work), 1024LL * 1024 * 1024);
        gui::DesktopApp app({image});
        app.Window->show();
        setDestination(*app.Window, work + "/dest", "closing");
        app.Form.cb_preview.SetChecked(true);

        bool refused = false;
        chooseMethod("scan");
        When([&] { return app.Form.ImagesFound >= 6; }, [&] {
            app.Window->close();
            refused = app.Window->isVisible();
        }, 60000, "the run to find the photos");
        saveImages("ButtonOK");
        QTest::mouseClick(app.Window->Widget<QWidget>("ButtonStart"), Qt::LeftButton);

        QVERIFY(refused);
        QVERIFY(app.Form.LastRun.SectorsRead < app.Form.DriveParams->TotalSectors);
        QCOMPARE(FolderContents(work + "/dest").size(), 6);
        QVERIFY(QFile::exists(work + "/dest/closing0.JPG"));
        // The program ends by itself once the files are saved, keeping its settings.
        QVERIFY(WaitFor([&] { return !app.Window->isVisible(); }, 5000));
        QCOMPARE(QSettings(QSettings::NativeFormat, QSettings::UserScope, "Quorvane2").value("Options/Prefix").toString(),
                 QString("closing"));
    }
};

QUORVANE_GUI_TEST_MAIN(RecoveryRunTest)
#include "recovery_run_test.moc"
