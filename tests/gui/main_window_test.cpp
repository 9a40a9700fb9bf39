// The main window: settings kept between sessions, the drive box and its labels, the menu rule
// while Start is disabled, and the folder chooser.
#include "gui_test_support.h"

#include "app/frm_analyze_drive.h"
#include "app/frm_select_folder_dialog.h"
#include "app/program_folder.h"
#include "gui/desktop_app.h"
#include "gui/folder_dialog.h"
#include "platform/drive_table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeView>

using namespace quorvane;
using namespace quorvane::testing;

namespace {

QString label(gui::MainWindow& w, const char* name) { return w.Widget<QLabel>(name)->text(); }

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void settingsSurviveARestart() {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "Quorvane2").clear();
        const QString dest = dir_.path() + "/pictures";
        QDir().mkpath(dest);
        {
            gui::DesktopApp app;
            // A first start: the destination is "Recovered" in the program's folder, made for it.
            QCOMPARE(QString::fromStdString(app.Form.EditDestPath.Text()),
                     QString::fromStdString(ProgramFolder() + "Recovered"));
            QVERIFY(IsFolder(ProgramFolder() + "Recovered"));
            QCOMPARE(app.Window->Widget<QLineEdit>("EditFilenamePrefix")->text(), QString("image"));
            QTest::keyClicks(app.Window->Widget<QLineEdit>("EditDestPath"), "");
            app.Window->Widget<QLineEdit>("EditDestPath")->clear();
            QTest::keyClicks(app.Window->Widget<QLineEdit>("EditDestPath"), dest);
            app.Window->Widget<QLineEdit>("EditFilenamePrefix")->clear();
            QTest::keyClicks(app.Window->Widget<QLineEdit>("EditFilenamePrefix"), "holiday");
            app.Window->Widget<QCheckBox>("cb_preview")->click();
            app.Window->show();
            QVERIFY(app.Window->close());
        }
        QSettings stored(QSettings::NativeFormat, QSettings::UserScope, "Quorvane2");
        QCOMPARE(stored.value("Options/Save Path").toString(), dest);
        QCOMPARE(stored.value("Options/Prefix").toString(), QString("holiday"));
        QCOMPARE(stored.value("Options/Preview").toString(), QString("0"));
        {
            gui::DesktopApp app;
            QCOMPARE(app.Window->Widget<QLineEdit>("EditDestPath")->text(), dest);
            QCOMPARE(app.Window->Widget<QLineEdit>("EditFilenamePrefix")->text(), QString("holiday"));
            QVERIFY(!app.Window->Widget<QCheckBox>("cb_preview")->isChecked());
        }
        // A stored folder that is gone gives way to the default.
        stored.setValue("Options/Save Path", dir_.path() + "/gone");
        stored.sync();
        {
            gui::DesktopApp app;
            QCOMPARE(QString::fromStdString(app.Form.EditDestPath.Text()), QString::fromStdString(ProgramFolder() + "Recovered"));
        }
    }

    void picturesFolderFollowsUserDirs_data() {
        QTest::addColumn<QString>("userDirs");
        QTest::addColumn<QString>("expected");  // below HOME
        QTest::newRow("no user-dirs.dirs") << QString() << "/Pictures";
        QTest::newRow("relative to HOME") << "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n" << "/Bilder";
        QTest::newRow("absolute, among other folders")
            << "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"HOMEDIR/Fotos/\"\n" << "/Fotos";
        QTest::newRow("set to HOME itself: not configured") << "XDG_PICTURES_DIR=\"$HOME/\"\n" << "/Pictures";
    }
    void picturesFolderFollowsUserDirs() {
        QFETCH(QString, userDirs);
        QFETCH(QString, expected);
        const QString home = qEnvironmentVariable("HOME");
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        QDir().mkpath(config);
        QFile::remove(config + "/user-dirs.dirs");
        if (!userDirs.isEmpty()) WriteFile(config + "/user-dirs.dirs", userDirs.replace("HOMEDIR", home).toUtf8());
        QCOMPARE(QString::fromStdString(UserPicturesFolder()), home + expected);
        QFile::remove(config + "/user-dirs.dirs");
    }

    void driveLabelsShowKindCapacityAndSectorSize() {
        const QString image = MakeCameraCard(dir_.path(), "labels.img");
        gui::DesktopApp app({image});
        auto* drives = app.Window->Widget<QComboBox>("ListBoxDrives");
        QVERIFY(drives->currentText().contains("labels.img"));
        QVERIFY(!drives->itemIcon(drives->currentIndex()).isNull());
        QCOMPARE(label(*app.Window, "LabelInfoMedia"), QString("Removable"));
        QCOMPARE(label(*app.Window, "LabelInfoCapacity"), QString("8.00 MB"));
        QCOMPARE(label(*app.Window, "LabelInfoBytesPerSec"), QString("512"));
        QCOMPARE(label(*app.Window, "LabelInfoStatus"), QString("Ready"));
        QVERIFY(app.Window->Widget<QWidget>("ButtonStart")->isEnabled());
        QVERIFY(!app.Window->Widget<QWidget>("ButtonCancel")->isEnabled());
    }

    void menuDoesNotSwitchPagesWhileStartIsDisabled() {
        const std::uint8_t unreadable = AddDriveWithoutMedium("/dev/qvtest-nomedium").number;
        QVERIFY(unreadable != 0);
        gui::DesktopApp app;
        app.Window->show();
        auto* pages = app.Window->Widget<QStackedWidget>("PageControl");
        auto* tools = app.Window->Widget<QToolButton>("ButtonUtil");
        auto* recovery = app.Window->Widget<QToolButton>("ButtonMain");

        QVERIFY(app.Form.SelectDrive(unreadable));
        QCOMPARE(label(*app.Window, "LabelInfoStatus"), QString("Not Ready"));
        QVERIFY(!app.Window->Widget<QWidget>("ButtonStart")->isEnabled());
        QTest::mouseClick(tools, Qt::LeftButton);
        QCOMPARE(pages->currentWidget()->objectName(), QString("TSRecover"));
        QVERIFY(recovery->isChecked());
        QVERIFY(!tools->isChecked());

        // With a ready drive the menu works again.
        std::string error;
        QVERIFY(app.Form.AddImage(MakeCameraCard(dir_.path(), "menu.img").toStdString(), error));
        QTest::mouseClick(tools, Qt::LeftButton);
        QCOMPARE(pages->currentWidget()->objectName(), QString("TSUtil"));
        QTest::mouseClick(app.Window->Widget<QToolButton>("ButtonOptions"), Qt::LeftButton);
        QCOMPARE(pages->currentWidget()->objectName(), QString("TSOptions"));
        // A window whose drive is not ready still closes when no run is going on.
        QVERIFY(app.Form.SelectDrive(unreadable));
        QVERIFY(app.Window->close());
    }

    void folderChooserStartsOnTheFieldAndMakesNewFolders() {
        const QString start = dir_.path() + "/chooser";
        QDir().mkpath(start);
        gui::DesktopApp app;
        app.Form.EditDestPath.SetText(start.toStdString());
        // Cancel keeps the folder; the new folder made before stays on disk.
        When([] { return TopLevel("FrmSelectFolderDialog") != nullptr; }, [] {
            auto* dialog = TopLevel("FrmSelectFolderDialog");
            QTest::mouseClick(dialog->findChild<QWidget*>("NewBtn"), Qt::LeftButton);
            QTest::mouseClick(dialog->findChild<QWidget*>("CancelBtn"), Qt::LeftButton);
        }, 10000, "the folder chooser");
        QTest::mouseClick(app.Window->Widget<QWidget>("ButtonBrowse"), Qt::LeftButton);
        QCOMPARE(QString::fromStdString(app.Form.EditDestPath.Text()), start);
        QVERIFY(QDir(start + "/New Folder").exists());

        // The next new folder takes the next free name and is named in place.
        When([] { return TopLevel("FrmSelectFolderDialog") != nullptr; }, [start] {
            auto* dialog = TopLevel("FrmSelectFolderDialog");
            auto* tree = dialog->findChild<QTreeView*>("ShellTreeView1");
            QTest::mouseClick(dialog->findChild<QWidget*>("NewBtn"), Qt::LeftButton);
            QVERIFY(QDir(start + "/New Folder (2)").exists());
            auto* editor = tree->viewport()->findChild<QLineEdit*>();
            QVERIFY(editor != nullptr);
            editor->selectAll();
            QTest::keyClicks(editor, "Trip");
            // Return hands the name on only once the event loop runs again; OK pressed before
            // that still chooses the renamed folder.
            QTest::keyClick(editor, Qt::Key_Return);
            dialog->findChild<QPushButton*>("OKBtn")->click();
        }, 10000, "the folder chooser");
        QTest::mouseClick(app.Window->Widget<QWidget>("ButtonBrowse"), Qt::LeftButton);
        QCOMPARE(QString::fromStdString(app.Form.EditDestPath.Text()), start + "/Trip");
        QVERIFY(QDir(start + "/Trip").exists());

        // An empty field starts on the Recovered folder, and Cancel gives that back.
        app.Form.EditDestPath.SetText("");
        When([] { return TopLevel("FrmSelectFolderDialog") != nullptr; },
             [] { QTest::mouseClick(TopLevel("FrmSelectFolderDialog")->findChild<QWidget*>("CancelBtn"), Qt::LeftButton); },
             10000, "the folder chooser");
        QTest::mouseClick(app.Window->Widget<QWidget>("ButtonBrowse"), Qt::LeftButton);
        QCOMPARE(QString::fromStdString(app.Form.EditDestPath.Text()), QString::fromStdString(ProgramFolder() + "Recovered"));
    }
};

QUORVANE_GUI_TEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
