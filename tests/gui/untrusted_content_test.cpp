// Content from the card that the window decodes or shows: decoders held to their limits, files
// decoded by what their bytes are, metafiles drawn in a child that is killed when it loops,
// pictures that take too long left blank, and card text never read as markup.
#include "gui_test_support.h"

#include "app/controls.h"
#include "gui/control_binding.h"
#include "gui/metafile_child.h"
#include "gui/qt_user_interface.h"
#include "gui/thumbnail_loader.h"
#include "gui/thumbnails.h"

#include <QBuffer>
#include <QImageWriter>
#include <QLabel>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStandardPaths>

#include <future>

using namespace quorvane;
using namespace quorvane::testing;

Q_DECLARE_METATYPE(quorvane::gui::JpegStop)
Q_DECLARE_METATYPE(quorvane::gui::MetafileStop)

namespace {

QByteArray be16(int v) {
    QByteArray b(2, 0);
    b[0] = static_cast<char>((v >> 8) & 0xFF);
    b[1] = static_cast<char>(v & 0xFF);
    return b;
}

QByteArray segment(int marker, const QByteArray& body) { return be16(marker) + be16(static_cast<int>(body.size()) + 2) + body; }

// The segments before the first scan of a JPEG with the given frame marker (C0 baseline, C2
// progressive): one quantisation table, the frame, and a DC and an AC table of one code each.
QByteArray jpegHead(int frameMarker, int width, int height, int components) {
    QByteArray frame = QByteArray(1, 8) + be16(height) + be16(width) + QByteArray(1, static_cast<char>(components));
    for (int c = 1; c <= components; ++c) frame += QByteArray(1, static_cast<char>(c)) + QByteArray("\x11\x00", 2);
    QByteArray oneCode(16, 0);
    oneCode[0] = 1;  // one code of one bit, for symbol 0
    return be16(0xFFD8) + segment(0xFFDB, QByteArray(1, 0) + QByteArray(64, 1)) + segment(frameMarker, frame) +
           segment(0xFFC4, QByteArray(1, 0x00) + oneCode + QByteArray(1, 0)) +
           segment(0xFFC4, QByteArray(1, 0x10) + oneCode + QByteArray(1, 0));
}

// A scan over the first `components` components, spectral band ss..se, without any data.
QByteArray emptyScan(int components, int ss, int se) {
    QByteArray body(1, static_cast<char>(components));
    for (int c = 1; c <= components; ++c) body += QByteArray(1, static_cast<char>(c)) + QByteArray(1, 0);
    body += QByteArray(1, static_cast<char>(ss)) + QByteArray(1, static_cast<char>(se)) + QByteArray(1, 0);
    return segment(0xFFDA, body);
}

QByteArray progressiveJpeg(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.write(image);
    return bytes;
}

}  // namespace

class UntrustedContentTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    int serial_ = 0;

    QString stage(const QString& name, const QByteArray& bytes) {
        const QString path = QString("%1/%2-%3").arg(dir_.path()).arg(++serial_).arg(name);
        WriteFile(path, bytes);
        return path;
    }

private slots:
    void jpegBombsStopAtTheirLimit_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("maxScans");
        QTest::addColumn<int>("budgetMs");
        QTest::addColumn<gui::JpegStop>("stop");
        const QByteArray eoi = be16(0xFFD9);
        // About 140 bytes claiming 65500 x 65500 pixels.
        QTest::newRow("huge frame") << jpegHead(0xFFC0, 65500, 65500, 3) + emptyScan(3, 0, 63) + eoi << 100 << 2000
                                    << gui::JpegStop::TooManyPixels;
        // Under the pixel limit, but a progressive picture keeps every coefficient of its 225
        // megapixels in three components: 1.35 GB of libjpeg's memory.
        QTest::newRow("progressive frame too big for memory")
            << jpegHead(0xFFC2, 15000, 15000, 3) + emptyScan(3, 0, 0) + eoi << 100 << 60000 << gui::JpegStop::MemoryLimit;
        // Each empty scan costs a pass over every block of the picture.
        QByteArray scans = jpegHead(0xFFC2, 2048, 2048, 1);
        for (int i = 0; i < 3000; ++i) scans += emptyScan(1, 0, 0);
        scans += eoi;
        QTest::newRow("thousands of scans") << scans << 100 << 60000 << gui::JpegStop::TooManyScans;
        QTest::newRow("thousands of scans, no scan limit: the clock stops it")
            << scans << 1000000 << 1 << gui::JpegStop::TimeBudget;
        QImage photo(1600, 1200, QImage::Format_RGB32);
        photo.fill(Qt::darkCyan);
        QTest::newRow("a real progressive photo decodes") << progressiveJpeg(photo) << 100 << 60000 << gui::JpegStop::None;
    }
    void jpegBombsStopAtTheirLimit() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, maxScans);
        QFETCH(int, budgetMs);
        QFETCH(gui::JpegStop, stop);
        gui::JpegLimits limits;
        limits.maxScans = maxScans;
        limits.budget = std::chrono::milliseconds(budgetMs);
        const gui::JpegThumbnail t = gui::DecodeJpegThumbnailBounded(bytes, QSize(90, 90), limits);
        QCOMPARE(t.stop, stop);
        QCOMPARE(t.image.isNull(), stop != gui::JpegStop::None);
    }

    void theBytesChooseTheDecoderNotTheName() {
        // QtSvg draws this when it is asked to: it must not be asked.
        const QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' width='40' height='30'>"
                               "<rect width='40' height='30' fill='red'/></svg>";
        QVERIFY(!QImage::fromData(svg, "svg").isNull());
        QImage small(40, 30, QImage::Format_RGB32);
        small.fill(Qt::darkGreen);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        small.save(&buffer, "PNG");
        struct Case {
            const char* name;
            QByteArray bytes;
            bool picture;
        };
        for (const Case& c : {Case{"drawing.JPG", svg, false}, Case{"drawing.svg", svg, false},
                              Case{"notes.JPG", "just some text, no picture", false},
                              Case{"misnamed.GIF", png, true}, Case{"misnamed.JPG", MakeJpeg(64, 48, 1), true}}) {
            QCOMPARE(gui::LoadThumbnail(stage(c.name, c.bytes), QSize(90, 90)).isNull(), !c.picture);
        }
    }

    void metafileHelperIsBounded_data() {
        QTest::addColumn<QStringList>("helper");
        QTest::addColumn<int>("memoryMb");  // 0: the default
        QTest::addColumn<gui::MetafileStop>("stop");
        const auto sh = [](const QString& script) { return QStringList{"/bin/sh", "-c", script, "helper"}; };
        QTest::newRow("loops forever") << sh("while :; do :; done") << 0 << gui::MetafileStop::TimeBudget;
        QTest::newRow("loops, with a child holding its output")
            << sh("sleep 600 & while :; do :; done") << 0 << gui::MetafileStop::TimeBudget;
        QTest::newRow("fails") << sh("exit 1") << 0 << gui::MetafileStop::Failed;
        QTest::newRow("floods its output") << sh("exec head -c 10000000 /dev/zero") << 0 << gui::MetafileStop::BadOutput;
        // A picture of 1 x 1 whose size says 100 x 100: larger than the box.
        QTest::newRow("picture larger than the box")
            << sh("printf 'd\\000\\000\\000d\\000\\000\\000'") << 0 << gui::MetafileStop::BadOutput;
        QTest::newRow("missing") << QStringList{dir_.path() + "/no-such-helper"} << 0 << gui::MetafileStop::NoHelper;
        // 2 GB is refused under a 256 MB limit (MemoryError, exit 1); it would be granted without.
        QTest::newRow("memory over the limit")
            << QStringList{QStandardPaths::findExecutable("python3"), "-c", "import sys; x = bytearray(2 << 30); sys.exit(3)"} << 256
            << gui::MetafileStop::Failed;
    }
    void metafileHelperIsBounded() {
        QFETCH(QStringList, helper);
        QFETCH(int, memoryMb);
        QFETCH(gui::MetafileStop, stop);
        std::vector<std::string> command;
        for (const QString& part : helper) command.push_back(part.toStdString());
        gui::SetThumbnailHelperCommand(command);
        gui::MetafileLimits limits;
        limits.timeoutMs = 500;
        if (memoryMb > 0) limits.memory = static_cast<std::uint64_t>(memoryMb) << 20;
        const QString path = stage("clip.WMF", QByteArray(64, 0));
        const gui::MetafileThumbnail t = gui::RenderMetafileInChild(path, gui::MetafileKind::Wmf, QSize(90, 90), limits);
        gui::SetThumbnailHelperCommand({QUORVANE_BINARY_DIR "/quorvane-thumbnail"});
        QCOMPARE(t.stop, stop);
        QVERIFY(t.image.isNull());
    }

    void theRealHelperRefusesWhatItCannotDraw() {
        for (const QByteArray& bytes : {QByteArray(), QByteArray(4096, '\xFF'), QByteArray("\xD7\xCD\xC6\x9A", 4) + QByteArray(40, 0)}) {
            const gui::MetafileThumbnail t =
                gui::RenderMetafileInChild(stage("bad.WMF", bytes), gui::MetafileKind::Wmf, QSize(90, 90));
            QCOMPARE(t.stop, gui::MetafileStop::Failed);
        }
    }

    void aSlowFileGetsABlankPictureAndHoldsUpNoOther() {
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        QImage dot(8, 8, QImage::Format_RGB32);
        dot.fill(Qt::blue);
        {
            gui::ThumbnailLoader loader(QSize(90, 90), [released, dot](const QString& path, QSize) {
                // The slow file decodes until the test lets it go.
                if (path.endsWith("slow")) released.wait();
                return dot;
            });
            loader.SetBudget(std::chrono::milliseconds(100));
            QSignalSpy ready(&loader, &gui::ThumbnailLoader::Ready);
            for (int k = 0; k < 4; ++k) loader.Request(k, QString("file%1-%2").arg(k).arg(k < 2 ? "slow" : "fast"));
            QTRY_COMPARE(ready.size(), 4);
            for (const QList<QVariant>& r : ready) {
                const bool slow = r.at(1).toString().endsWith("slow");
                QCOMPARE(r.at(2).value<QImage>().isNull(), slow);
            }
            release.set_value();
        }
    }

    void cardTextIsNeverMarkup() {
        const QString markup = "<img src='/etc/passwd'><b>LABEL</b>";
        // A message box.
        const auto saved = gui::QtUserInterface::DefaultAnswer;
        gui::QtUserInterface::DefaultAnswer = nullptr;
        gui::QtUserInterface ui;
        bool seen = false;
        When([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; }, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            seen = box->textFormat() == Qt::PlainText && box->text() == markup;
            box->accept();
        }, 5000, "the message box");
        ui.MessageBox(markup.toStdString(), "", MsgIcon::Error, MsgButtons::Ok, MsgResult::Ok);
        gui::QtUserInterface::DefaultAnswer = saved;
        QVERIFY(seen);
        // A label bound to a window's caption.
        TLabel caption("LabelInfoMedia", "");
        QLabel label;
        gui::bindLabel(caption, &label);
        caption.SetCaption(markup.toStdString());
        QCOMPARE(label.textFormat(), Qt::PlainText);
        QCOMPARE(label.text(), markup);
    }
};

QUORVANE_GUI_TEST_MAIN(UntrustedContentTest)
#include "untrusted_content_test.moc"
