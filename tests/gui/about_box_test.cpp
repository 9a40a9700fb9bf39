// The About box of the desktop program: what it shows comes from the version resource built into
// the running program, and OK leads back to the main window.
#include "gui_test_support.h"

#include "gui/desktop_app.h"
#include "gui/update_wizard_component.h"
#include "gui/window_host_qt.h"
#include "quorvane_build_info.h"

#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>

using namespace quorvane;
using namespace quorvane::testing;

class AboutBoxTest : public QObject {
    Q_OBJECT

private slots:
    void showsTheEmbeddedVersionAndLegalNotice() {
        gui::DesktopApp app;
        app.Window->show();
        bool checked = false;
        When([] { return TopLevel("FrmAbout") != nullptr; }, [&] {
            QWidget* box = TopLevel("FrmAbout");
            // A failed check must not leave the modal box waiting for a click.
            auto closeOnFailure = qScopeGuard([box] { if (box->isVisible()) box->close(); });
            QVERIFY(box->isModal());
            QCOMPARE(box->windowTitle(), QString("About Quorvane"));
            auto* title = box->findChild<QLabel*>("LabelTitle");
            QCOMPARE(title->text(), QString("Quorvane"));
            QVERIFY(title->font().bold());
            QCOMPARE(title->font().pixelSize(), 19);
            QCOMPARE(box->findChild<QLabel*>("LabelVersion")->text(), QString("Version " QUORVANE_VERSION_TEXT));
            QCOMPARE(box->findChild<QLabel*>("LabelLegal")->text(), QString::fromUtf8(QUORVANE_LEGAL_COPYRIGHT));
            QCOMPARE(box->findChild<QPushButton*>("ButtonGetUpdates")->text(), QString("Get Updates"));
            auto* ok = box->findChild<QPushButton*>("ButtonOK");
            QCOMPARE(ok->text(), QString("OK"));
            checked = true;
            closeOnFailure.dismiss();
            QTest::mouseClick(ok, Qt::LeftButton);
        });
        QTest::mouseClick(app.Window->Widget<QWidget>("ButtonAbout"), Qt::LeftButton);
        QVERIFY(checked);
        QVERIFY(TopLevel("FrmAbout") == nullptr);
        QVERIFY(app.Window->isVisible());
        QVERIFY(!app.Host->Update().Terminating());
    }
};

QUORVANE_GUI_TEST_MAIN(AboutBoxTest)
#include "about_box_test.moc"
