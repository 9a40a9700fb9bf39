// The preview window: paging, type labels, pictures, condition marks, check marks and its
// buttons, through the Qt view over the staged list.
#include "gui_test_support.h"

#include "app/frm_analyze_drive.h"
#include "app/frm_main.h"
#include "app/frm_preview.h"
#include "gui/preview_placement.h"
#include "gui/preview_window.h"
#include "gui/qt_user_interface.h"
#include "gui/thumbnails.h"

#include <QBuffer>
#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QtEndian>

using namespace quorvane;
using namespace quorvane::testing;

namespace {

QByteArray le16(int v) {
    QByteArray b(2, 0);
    qToLittleEndian<quint16>(static_cast<quint16>(v), b.data());
    return b;
}
QByteArray le32(qint64 v) {
    QByteArray b(4, 0);
    qToLittleEndian<quint32>(static_cast<quint32>(v), b.data());
    return b;
}

// A placeable WMF of 100 x 50 units holding one rectangle.
QByteArray makeWmf() {
    QByteArray records;
    auto record = [&](int function, std::initializer_list<int> params) {
        records += le32(3 + static_cast<int>(params.size())) + le16(function);
        for (int p : params) records += le16(p);
    };
    record(0x020B, {0, 0});      // SETWINDOWORG y, x
    record(0x020C, {50, 100});   // SETWINDOWEXT y, x
    record(0x041B, {40, 90, 10, 10});  // RECTANGLE bottom, right, top, left
    record(0x0000, {});          // end of file
    QByteArray header = le16(1) + le16(9) + le16(0x0300) + le32((18 + records.size()) / 2) + le16(0) + le32(7) + le16(0);
    QByteArray placeable = le32(0x9AC6CDD7) + le16(0) + le16(0) + le16(0) + le16(100) + le16(50) + le16(1440) + le32(0);
    quint16 sum = 0;
    for (int i = 0; i < 20; i += 2) sum ^= qFromLittleEndian<quint16>(placeable.constData() + i);
    placeable += le16(sum);
    return placeable + header + records;
}

// An EMF of 100 x 50 pixels holding one rectangle.
QByteArray makeEmf() {
    QByteArray rect = le32(10) + le32(10) + le32(90) + le32(40);
    QByteArray rectangle = le32(43) + le32(24) + rect;                 // EMR_RECTANGLE
    QByteArray eof = le32(14) + le32(20) + le32(0) + le32(16) + le32(20);  // EMR_EOF
    const int total = 88 + rectangle.size() + eof.size();
    QByteArray header = le32(1) + le32(88) + le32(0) + le32(0) + le32(100) + le32(50) + le32(0) + le32(0) + le32(2646) +
                        le32(1323) + le32(0x464D4520) + le32(0x10000) + le32(total) + le32(3) + le16(1) + le16(0) +
                        le32(0) + le32(0) + le32(0) + le32(1024) + le32(768) + le32(270) + le32(203);
    return header + rectangle + eof;
}

// A file made by a command line tool in dir (its arguments name the file "%1"); empty when the
// tool failed.
QByteArray madeBy(const QString& dir, const QString& name, const QString& program, const QStringList& args) {
    const QString path = dir + "/" + name;
    QStringList filled;
    for (const QString& a : args) filled << QString(a).replace("%1", path);
    QString out;
    if (Run(program, filled, &out) != 0) qWarning("%s: %s", qPrintable(program), qPrintable(out));
    return QFile::exists(path) ? ReadFile(path) : QByteArray();
}

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

}  // namespace

class PreviewWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    int serial_ = 0;

    // A staged file of this name holding these bytes.
    QString stage(const QString& name, const QByteArray& bytes) {
        const QString path = QString("%1/%2-%3").arg(dir_.path()).arg(++serial_).arg(name);
        WriteFile(path, bytes);
        return path;
    }

private slots:
    void pagesShowFivePerRow_data() {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QList<int>>("shown");  // staged index per slot, -1 hidden
        QTest::newRow("no files") << 0 << 0 << 0 << QList<int>{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
        QTest::newRow("seven files, first page") << 7 << 0 << 1 << QList<int>{0, 1, 2, 3, 4, 5, 6, -1, -1, -1};
        QTest::newRow("seven files, second row on top") << 7 << 1 << 1 << QList<int>{5, 6, -1, -1, -1, -1, -1, -1, -1, -1};
        QTest::newRow("ten files, past the end") << 10 << 2 << 2 << QList<int>{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
        QTest::newRow("twelve files, second page") << 12 << 1 << 2 << QList<int>{5, 6, 7, 8, 9, 10, 11, -1, -1, -1};
    }
    void pagesShowFivePerRow() {
        QFETCH(int, files);
        QFETCH(int, position);
        QFETCH(int, maximum);
        QFETCH(QList<int>, shown);
        TFrmMain main;
        TFrmPreview preview(main);
        gui::PreviewWindow view(preview, nullptr);
        for (int i = 0; i < files; ++i) preview.AddFile(stage(QString("f%1.PNG").arg(i), "x").toStdString());
        auto* scroll = view.findChild<QScrollBar*>("ScrollBarPreview");
        QCOMPARE(scroll->maximum(), maximum);
        scroll->setValue(position);  // as a user's scroll: the page follows
        for (int k = 1; k <= 10; ++k) {
            const int expected = shown[k - 1];
            auto* panel = view.findChild<QWidget*>(QString("PnPreview%1").arg(k));
            QCOMPARE(panel->isVisibleTo(&view), expected >= 0);
            if (expected >= 0) QCOMPARE(preview.Slot(k).Index, expected);
        }
    }

    void slotsShowPicturesOrTypeLabels_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("picture");
        QTest::addColumn<QString>("label");
        QImage small(40, 30, QImage::Format_RGB32);
        small.fill(Qt::darkGreen);
        QTest::newRow("jpeg") << "IMG_0001.JPG" << MakeJpeg(320, 240, 1) << true << "";
        QTest::newRow("jpeg in lower case") << "photo.jpeg" << MakeJpeg(320, 240, 2) << true << "";
        QTest::newRow("bmp") << "paint.BMP" << encoded(small, "BMP") << true << "";
        // Qt reads GIF but does not write it: the smallest GIF there is, one white pixel.
        const QByteArray gif = QByteArray::fromHex("47494638396101000100800000000000FFFFFF2C00000000010001000002024401003B");
        QTest::newRow("gif") << "anim.GIF" << gif << true << "";
        QTest::newRow("ico") << "icon.ICO" << encoded(small.scaled(32, 32), "ICO") << true << "";
        QTest::newRow("wmf") << "clip.WMF" << makeWmf() << true << "";
        QTest::newRow("emf") << "clip.EMF" << makeEmf() << true << "";
        // PNG and TIFF as ImageMagick writes them, TIFF in both byte orders.
        const QByteArray png = madeBy(dir_.path(), "convert.png", "convert", {"-size", "40x30", "xc:darkgreen", "%1"});
        QTest::newRow("png") << "scan.PNG" << png << true << "";
        QTest::newRow("png in lower case") << "scan.png" << png << true << "";
        QTest::newRow("tif") << "scan.TIF"
                             << madeBy(dir_.path(), "intel.tif", "convert",
                                       {"-size", "40x30", "xc:darkgreen", "-compress", "lzw", "-endian", "LSB", "%1"})
                             << true << "";
        QTest::newRow("tiff") << "scan.TIFF"
                              << madeBy(dir_.path(), "motorola.tif", "convert",
                                        {"-size", "40x30", "xc:darkgreen", "-endian", "MSB", "%1"})
                              << true << "";
        QTest::newRow("damaged jpeg") << "IMG_0002.JPG" << QByteArray(4096, 'Z') << false << "JPG File";
        QTest::newRow("png cut after its header") << "scan.PNG" << png.left(40) << false << "PNG File";
        QTest::newRow("case of the type word kept") << "clip.avi" << QByteArray("RIFF....AVI ") << false << "avi File";
        QTest::newRow("film") << "MVI_0003.AVI" << QByteArray("RIFF....AVI ") << false << "AVI File";
        QTest::newRow("no extension") << "README" << QByteArray("text") << false << "Unknown File";
    }
    void slotsShowPicturesOrTypeLabels() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, picture);
        QFETCH(QString, label);
        TFrmMain main;
        TFrmPreview preview(main);
        gui::PreviewWindow view(preview, nullptr);
        view.show();
        preview.AddFile(stage(name, bytes).toStdString());
        // A file that arrives alone is decoded in the background.
        auto* image = view.Picture(1);
        QTRY_COMPARE(view.findChild<QLabel*>("LBPreview1")->text(), label);
        QTRY_COMPARE(image->isVisibleTo(&view), picture);
        if (picture) {
            QTRY_VERIFY(!image->pixmap().isNull());
            QVERIFY(image->pixmap().width() <= 90 && image->pixmap().height() <= 90);
        }
    }

    void thumbnailsKeepProportionsAndNeverGrow() {
        struct Case {
            int w, h;
            QSize expected;
        };
        for (const Case& c : {Case{4000, 3000, {90, 67}}, Case{3000, 4000, {67, 90}}, Case{60, 40, {60, 40}}}) {
            const QImage t = gui::DecodeJpegThumbnail(MakeJpeg(c.w, c.h, 3), QSize(90, 90));
            QVERIFY2(qAbs(t.width() - c.expected.width()) <= 1 && qAbs(t.height() - c.expected.height()) <= 1,
                     qPrintable(QString("%1x%2 gave %3x%4").arg(c.w).arg(c.h).arg(t.width()).arg(t.height())));
        }
        // A photo cut short after its first third still shows what is there.
        const QByteArray photo = MakeJpeg(800, 600, 4);
        QVERIFY(!gui::DecodeJpegThumbnail(photo.left(photo.size() / 3), QSize(90, 90)).isNull());
        QVERIFY(gui::DecodeJpegThumbnail(photo.left(20), QSize(90, 90)).isNull());
        // A header claiming 65500 x 65500 pixels over a few bytes of data is refused, not decoded.
        QByteArray huge = MakeJpeg(16, 16, 5);
        const int sof = huge.indexOf(QByteArray("\xFF\xC0", 2));
        QVERIFY(sof > 0);
        for (int i = 5; i <= 8; ++i) huge[sof + i] = i % 2 == 1 ? char(0xFF) : char(0xDC);
        QVERIFY(gui::DecodeJpegThumbnail(huge, QSize(90, 90)).isNull());
    }

    void heifPicturesDecodeThroughLibheif() {
        // A 16-bit PNG gives a 10-bit HEIC, as phones write for HDR; AV1 is given 8 bits.
        const QString gradient = dir_.path() + "/gradient.png";
        QCOMPARE(Run("convert", {"-size", "400x300", "gradient:red-blue", gradient}), 0);
        const QString gradient8 = dir_.path() + "/gradient8.png";
        QCOMPARE(Run("convert", {"-size", "400x300", "gradient:red-blue", "-depth", "8", gradient8}), 0);
        const QByteArray plain = madeBy(dir_.path(), "plain.heic", "heif-enc", {gradient, "-o", "%1"});
        const QByteArray withThumbnail = madeBy(dir_.path(), "thumb.heic", "heif-enc", {"-t", "160", gradient, "-o", "%1"});
        const QByteArray avif = madeBy(dir_.path(), "pic.avif", "heif-enc", {"-A", gradient8, "-o", "%1"});
        struct Case {
            const char* what;
            QByteArray bytes;
        };
        for (const Case& c : {Case{"heic", plain}, Case{"heic with a thumbnail", withThumbnail}, Case{"avif", avif}}) {
            QVERIFY2(!c.bytes.isEmpty(), c.what);
            const QImage t = gui::DecodeHeifThumbnail(c.bytes, QSize(90, 90));
            QVERIFY2(qAbs(t.width() - 90) <= 1 && qAbs(t.height() - 67) <= 1,
                     qPrintable(QString("%1 gave %2x%3").arg(c.what).arg(t.width()).arg(t.height())));
            // Red on top, blue below: the channels are where Qt expects them.
            const QColor top = t.pixelColor(45, 2), bottom = t.pixelColor(45, t.height() - 3);
            QVERIFY2(top.red() > 200 && top.blue() < 60 && bottom.blue() > 200 && bottom.red() < 60, c.what);
        }

        // The primary image claims 20000 x 20000 pixels: it is refused, not decoded, but a file
        // with its own thumbnail still shows that.
        auto claimHuge = [](QByteArray bytes) {
            for (qsizetype at = bytes.indexOf("ispe"); at >= 0; at = bytes.indexOf("ispe", at + 1)) {
                if (at + 16 > bytes.size() || qFromBigEndian<quint32>(bytes.constData() + at + 8) != 400) continue;
                qToBigEndian<quint32>(20000, bytes.data() + at + 8);
                qToBigEndian<quint32>(20000, bytes.data() + at + 12);
                return bytes;
            }
            return QByteArray();
        };
        QVERIFY(gui::DecodeHeifThumbnail(claimHuge(plain), QSize(90, 90)).isNull());
        const QImage fromThumbnail = gui::DecodeHeifThumbnail(claimHuge(withThumbnail), QSize(90, 90));
        QVERIFY(qAbs(fromThumbnail.width() - 90) <= 1 && qAbs(fromThumbnail.height() - 67) <= 1);

        for (const QByteArray& broken : {plain.left(plain.size() / 2), plain.left(11), QByteArray()}) {
            QVERIFY(gui::DecodeHeifThumbnail(broken, QSize(90, 90)).isNull());
        }
    }

    void addingToAFullPageDoesNotReloadItsPictures() {
        TFrmMain main;
        TFrmPreview preview(main);
        gui::PreviewWindow view(preview, nullptr);
        for (int i = 0; i < 10; ++i) preview.AddFile(stage(QString("IMG_%1.JPG").arg(i), MakeJpeg(200, 150, i)).toStdString());
        preview.AddFile(stage("IMG_10.JPG", MakeJpeg(200, 150, 10)).toStdString());
        for (int k = 1; k <= 10; ++k) QCOMPARE(preview.Slot(k).PictureLoads, 1);
        // One row down: slots 1-6 get other files, 7-10 go empty; back up, every slot is drawn again.
        view.findChild<QScrollBar*>("ScrollBarPreview")->setValue(1);
        view.findChild<QScrollBar*>("ScrollBarPreview")->setValue(0);
        for (int k = 1; k <= 10; ++k) QCOMPARE(preview.Slot(k).PictureLoads, k <= 6 ? 3 : 2);
    }

    void picturesOfAHiddenWindowAreDrawnWhenItIsShown() {
        TFrmMain main;
        TFrmPreview preview(main);
        gui::PreviewWindow view(preview, nullptr);
        for (int i = 0; i < 3; ++i) preview.AddFile(stage(QString("IMG_%1.JPG").arg(i), MakeJpeg(200, 150, i)).toStdString());
        preview.AddFile(stage("broken.JPG", QByteArray(2048, 'Z')).toStdString());
        for (int k = 1; k <= 4; ++k) QVERIFY(view.Picture(k)->pixmap().isNull());
        view.show();
        for (int k = 1; k <= 3; ++k) QTRY_VERIFY(!view.Picture(k)->pixmap().isNull());
        QTRY_COMPARE(view.findChild<QLabel*>("LBPreview4")->text(), QString("JPG File"));
        QVERIFY(!view.Picture(4)->isVisibleTo(&view));
    }

    void checkMarksFollowTheUser() {
        TFrmMain main;
        TFrmPreview preview(main);
        gui::PreviewWindow view(preview, nullptr);
        view.show();
        for (int i = 0; i < 7; ++i) preview.AddFile(stage(QString("f%1.PNG").arg(i), "x").toStdString());

        QTest::mouseClick(view.findChild<QWidget*>("ButtonSelectNone"), Qt::LeftButton);
        for (const auto& f : preview.Staged()) QVERIFY(!f.Selected);
        for (int k = 1; k <= 10; ++k) QVERIFY(!view.findChild<QCheckBox*>(QString("CBPreview%1").arg(k))->isChecked());

        auto* second = view.findChild<QCheckBox*>("CBPreview2");
        second->click();
        QVERIFY(preview.Staged()[1].Selected);
        QVERIFY(!preview.Staged()[0].Selected);

        // A slot that shows no file changes nothing.
        preview.Slot(9).CBPreview.SetChecked(true);
        preview.CBPreviewClick(9);
        QCOMPARE(std::count_if(preview.Staged().begin(), preview.Staged().end(), [](const auto& f) { return f.Selected; }), 1);

        QTest::mouseClick(view.findChild<QWidget*>("ButtonSelectAll"), Qt::LeftButton);
        for (const auto& f : preview.Staged()) QVERIFY(f.Selected);
        for (int k = 1; k <= 10; ++k) QVERIFY(view.findChild<QCheckBox*>(QString("CBPreview%1").arg(k))->isChecked());
    }

    void conditionMarksFollowTheirFiles() {
        TFrmMain main;
        TFrmPreview preview(main);
        gui::PreviewWindow view(preview, nullptr);
        view.show();
        for (int i = 0; i < 12; ++i) preview.AddFile(stage(QString("f%1.WAV").arg(i), "x").toStdString());
        auto mark = [&](int k) { return view.findChild<QLabel*>(QString("LBCondition%1").arg(k)); };
        // The slots that show a mark, with its tool tip.
        auto marks = [&] {
            QMap<int, QString> shown;
            for (int k = 1; k <= 10; ++k) {
                if (mark(k)->isVisibleTo(&view)) shown.insert(k, mark(k)->toolTip());
            }
            return shown;
        };
        QCOMPARE(marks(), (QMap<int, QString>{}));

        preview.SetCondition(2, TFileCondition::Damaged);
        preview.SetCondition(1, TFileCondition::Whole);
        preview.SetCondition(11, TFileCondition::Damaged);  // below the page
        preview.SetCondition(3, TFileCondition::Unknown);
        preview.SetCondition(12, TFileCondition::Damaged);  // no such file
        QCOMPARE(marks(), (QMap<int, QString>{{2, "Whole"}, {3, "Damaged"}}));
        QCOMPARE(mark(3)->text(), QString("Damaged"));
        QCOMPARE(preview.Staged()[11].Condition, TFileCondition::Damaged);
        // The badge sits inside the picture box's corner.
        QVERIFY(view.Picture(3)->geometry().contains(mark(3)->geometry()));

        // One row down: files 5 .. 11. Slot 7 now shows file 11; slot 3 shows file 7, unchecked.
        view.findChild<QScrollBar*>("ScrollBarPreview")->setValue(1);
        QCOMPARE(marks(), (QMap<int, QString>{{7, "Damaged"}}));
        preview.SetCondition(7, TFileCondition::Whole);
        QCOMPARE(marks(), (QMap<int, QString>{{3, "Whole"}, {7, "Damaged"}}));
        view.findChild<QScrollBar*>("ScrollBarPreview")->setValue(0);
        QCOMPARE(marks(), (QMap<int, QString>{{2, "Whole"}, {3, "Damaged"}, {8, "Whole"}}));
    }

    void okDuringARunHidesTheWindowAndUnticksPreview() {
        TFrmMain main;
        main.StopFlag = false;  // a run is going on
        TFrmPreview preview(main);
        main.FrmPreview = &preview;
        gui::PreviewWindow view(preview, nullptr);
        preview.Form.SetVisible(true);
        QVERIFY(view.isVisible());
        preview.AddFile(stage("a.PNG", "x").toStdString());
        QTest::mouseClick(view.findChild<QWidget*>("ButtonOK"), Qt::LeftButton);
        QVERIFY(!view.isVisible());
        QVERIFY(!main.cb_preview.Checked());
        QCOMPARE(preview.Staged().size(), std::size_t{1});
        QVERIFY(QFile::exists(QString::fromStdString(preview.Staged()[0].Path)));
        main.FrmPreview = nullptr;
    }

    void saveImagesOkSavesAndCancelSavesNothing_data() {
        QTest::addColumn<int>("found");
        QTest::addColumn<QStringList>("buttons");  // pressed in turn
        QTest::addColumn<int>("answer");           // to the question before the files are thrown away
        QTest::addColumn<QString>("question");     // empty: none asked
        QTest::addColumn<int>("saved");
        const QString two = "Throw away the 2 files found without saving them?";
        const int yes = static_cast<int>(MsgResult::Yes), no = static_cast<int>(MsgResult::No);
        QTest::newRow("OK") << 2 << QStringList{"ButtonOK"} << yes << QString() << 2;
        QTest::newRow("Cancel, Yes") << 2 << QStringList{"ButtonCancel"} << yes << two << 0;
        QTest::newRow("Cancel, No keeps them; then OK")
            << 2 << QStringList{"ButtonCancel", "ButtonOK"} << no << two << 2;
        QTest::newRow("one file") << 1 << QStringList{"ButtonCancel"} << yes
                                  << "Throw away the file found without saving it?" << 0;
        QTest::newRow("nothing found: nothing to ask") << 0 << QStringList{"ButtonCancel"} << no << QString() << 0;
    }
    void saveImagesOkSavesAndCancelSavesNothing() {
        QFETCH(int, found);
        QFETCH(QStringList, buttons);
        QFETCH(int, answer);
        QFETCH(QString, question);
        QFETCH(int, saved);
        QTemporaryDir dest;
        gui::QtUserInterface ui;
        QStringList asked;
        ui.Answer = [&](const std::string& text, MsgIcon, MsgButtons) {
            asked << QString::fromStdString(text);
            return static_cast<MsgResult>(answer);
        };
        TFrmMain main;
        main.EditDestPath.SetText(dest.path().toStdString());
        TFrmPreview preview(main);
        gui::PreviewWindow view(preview, nullptr);
        for (int i = 0; i < found; ++i) preview.AddFile(stage("a.JPG", MakeJpeg(100, 80, i)).toStdString());
        preview.ButtonCancel.SetVisible(true);
        When([&] { return view.isVisible(); }, [&] {
            for (int i = 0; i < buttons.size(); ++i) {
                QVERIFY(view.isVisible());
                QTest::mouseClick(view.findChild<QWidget*>(buttons[i].toUtf8().constData()), Qt::LeftButton);
                // Answered No, the window stays with every file still staged.
                if (i + 1 < buttons.size()) {
                    QVERIFY(view.isVisible());
                    QCOMPARE(preview.Staged().size(), static_cast<std::size_t>(found));
                    for (const auto& f : preview.Staged()) QVERIFY(QFile::exists(QString::fromStdString(f.Path)));
                }
            }
        }, 5000, "the modal preview window");
        view.ShowModalCentred();
        QCOMPARE(asked, question.isEmpty() ? QStringList() : QStringList{question});
        QCOMPARE(FolderContents(dest.path()).size(), saved);
        // A save leaves the report of what it saved beside the files.
        QCOMPARE(QFileInfo::exists(dest.path() + "/recovery-report.json"), saved > 0);
    }

    // During a run the preview goes beside the main window and leaves its Cancel button free.
    void previewLeavesTheMainWindowsCancelFree_data() {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QPoint>("mainAt");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("wide screen: right of it") << QRect(0, 0, 1920, 1080) << QPoint(100, 100) << QPoint(810, 100);
        QTest::newRow("narrow screen: below it") << QRect(0, 0, 1024, 768) << QPoint(100, 50) << QPoint(100, 348);
        QTest::newRow("at the right edge, low: left of it")
            << QRect(0, 0, 1920, 1080) << QPoint(1200, 700) << QPoint(633, 700);
        QTest::newRow("near the bottom: right, moved up")
            << QRect(0, 0, 1920, 1080) << QPoint(100, 900) << QPoint(810, 786);
        QTest::newRow("second screen") << QRect(1920, 0, 1280, 1024) << QPoint(1950, 40) << QPoint(1950, 338);
        // No room beside it: over the main window, but clear of Cancel.
        QTest::newRow("small screen, centred") << QRect(0, 0, 800, 600) << QPoint(45, 151) << QPoint(45, 0);
    }
    void previewLeavesTheMainWindowsCancelFree() {
        QFETCH(QRect, screen);
        QFETCH(QPoint, mainAt);
        QFETCH(QPoint, expected);
        const QRect main(mainAt, QSize(710, 298));
        const QRect cancel(mainAt + QPoint(222, 160), QSize(90, 30));
        const QSize preview(TFrmPreview::ClientWidth, TFrmPreview::ClientHeight);
        const QPoint at = gui::PreviewPosition(main, cancel, preview, screen);
        QCOMPARE(at, expected);
        QVERIFY(screen.contains(QRect(at, preview)));
        QVERIFY(!QRect(at, preview).intersects(cancel));
    }
};

QUORVANE_GUI_TEST_MAIN(PreviewWindowTest)
#include "preview_window_test.moc"
