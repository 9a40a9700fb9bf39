#include "gui_test_support.h"

#include "app/program_folder.h"
#include "gui/metafile_child.h"
#include "gui/qt_user_interface.h"
#include "platform/drive_table.h"

#include <cerrno>

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QTimer>

namespace quorvane::testing {

void IsolateEnvironment() {
    static QTemporaryDir root;
    qputenv("XDG_CONFIG_HOME", (root.path() + "/config").toUtf8());
    qputenv("HOME", (root.path() + "/home").toUtf8());
    QDir().mkpath(root.path() + "/home");
    QDir().mkpath(root.path() + "/tmp");
    qputenv("TMPDIR", (root.path() + "/tmp").toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("MTOOLS_SKIP_CHECK", "1");
    QDir().mkpath(root.path() + "/program");
    SetProgramFolder((root.path() + "/program/").toStdString());
    // The window's thumbnail helper, as built beside the program.
    gui::SetThumbnailHelperCommand({QUORVANE_BINARY_DIR "/quorvane-thumbnail"});
    // A box nobody scripted would wait forever for a click: it fails the test instead.
    gui::QtUserInterface::DefaultAnswer = [](const std::string& text, MsgIcon, MsgButtons buttons) {
        qWarning("unexpected message box: %s", text.c_str());
        QTest::qFail(("unexpected message box: " + text).c_str(), __FILE__, __LINE__);
        return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
    };
}

void When(std::function<bool()> cond, std::function<void()> act, int timeoutMs, const char* what) {
    auto* timer = new QTimer(qApp);
    auto* elapsed = new QElapsedTimer;
    elapsed->start();
    timer->setInterval(10);
    // A wait belongs to the test that set it up: once another test (or data row) runs, its
    // condition and action would reach objects of a test that has ended.
    const QByteArray test = QTest::currentTestFunction() != nullptr ? QTest::currentTestFunction() : "";
    const QByteArray row = QTest::currentDataTag() != nullptr ? QTest::currentDataTag() : "";
    auto sameTest = [test, row] {
        return test == QByteArray(QTest::currentTestFunction() != nullptr ? QTest::currentTestFunction() : "") &&
               row == QByteArray(QTest::currentDataTag() != nullptr ? QTest::currentDataTag() : "");
    };
    QObject::connect(timer, &QTimer::timeout, qApp, [=] {
        if (!sameTest()) {
            timer->stop();
            timer->deleteLater();
            delete elapsed;
        } else if (cond()) {
            timer->stop();
            timer->deleteLater();
            delete elapsed;
            act();
        } else if (elapsed->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            delete elapsed;
            qWarning("gave up waiting: %s", what);
        }
    });
    timer->start();
}

bool WaitFor(std::function<bool()> cond, int timeoutMs) { return QTest::qWaitFor(cond, timeoutMs); }

QWidget* TopLevel(const char* objectName) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->objectName() == objectName) return w;
    }
    return nullptr;
}

QByteArray MakeJpeg(int width, int height, int seed, int quality) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, width, height);
    g.setColorAt(0, QColor::fromHsv((seed * 47) % 360, 200, 230));
    g.setColorAt(1, QColor::fromHsv((seed * 91 + 120) % 360, 180, 90));
    p.fillRect(image.rect(), g);
    p.setPen(Qt::white);
    p.setFont(QFont("Sans", height / 8));
    p.drawText(image.rect(), Qt::AlignCenter, QString("Photo %1").arg(seed));
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", quality);
    return bytes;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(bytes);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

int Run(const QString& program, const QStringList& args, QString* output) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("SOURCE_DATE_EPOCH", "1700000000");
    env.insert("MTOOLS_SKIP_CHECK", "1");
    env.insert("TZ", "UTC");
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(120000)) return -1;
    if (output != nullptr) *output = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QString MakeCameraCard(const QString& dir, const QString& name) {
    const QString image = dir + "/" + name;
    QFile::remove(image);
    QString out;
    if (Run("mkfs.fat", {"-C", "--invariant", "-F", "16", "-s", "2", "-n", "CAMERA", image, "8192"}, &out) != 0) {
        qWarning("mkfs.fat: %s", qPrintable(out));
        return {};
    }
    Run("mmd", {"-i", image, "::DCIM"});
    Run("mmd", {"-i", image, "::DCIM/100CAMRA"});
    for (int i = 1; i <= 6; ++i) {
        const QString photo = QString("%1/photo%2.jpg").arg(dir).arg(i);
        WriteFile(photo, MakeJpeg(640 + 32 * i, 480, i));
        Run("mcopy", {"-m", "-i", image, photo, QString("::DCIM/100CAMRA/IMG_%1.JPG").arg(i, 4, 10, QChar('0'))});
    }
    for (int i : {2, 4, 5}) Run("mdel", {"-i", image, QString("::DCIM/100CAMRA/IMG_%1.JPG").arg(i, 4, 10, QChar('0'))});
    return image;
}

namespace {
class NoMediumOpener : public VolumeOpener {
public:
    explicit NoMediumOpener(std::shared_ptr<int> opens) : opens_(std::move(opens)) {}
    std::unique_ptr<VolumeFile> open(bool forWrite, int& err) override {
        if (forWrite) ++*opens_;
        err = ENOMEDIUM;
        return nullptr;
    }

private:
    std::shared_ptr<int> opens_;
};
}  // namespace

NoMediumDrive AddDriveWithoutMedium(const std::string& path) {
    NoMediumDrive drive;
    drive.opens = std::make_shared<int>(0);
    DriveEntry entry;
    entry.path = path;
    entry.displayName = "Card reader without a card (test)";
    entry.kind = DRIVE_REMOVABLE;
    entry.opener = std::make_shared<NoMediumOpener>(drive.opens);
    drive.number = DriveTable::instance().addVolume(entry).value_or(0);
    return drive;
}

QMap<QString, QByteArray> FolderContents(const QString& dir) {
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(dir).entryList(QDir::Files, QDir::Name)) {
        if (name == "recovery-report.json") continue;  // the run's report, not a recovered file
        files.insert(name, ReadFile(dir + "/" + name));
    }
    return files;
}

}  // namespace quorvane::testing
