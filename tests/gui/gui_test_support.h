#pragma once
// Helpers of the window tests: isolated settings, scripted answers to modal windows, and small
// cards made with mkfs.fat and mtools.
#include <QApplication>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quorvane::testing {

// Settings, the program's folder and the temporary folder of runs go into one throw-away folder,
// so a test never reads or writes the user's own.
void IsolateEnvironment();

// Runs act from within whatever event loop is running (a modal dialog's included) as soon as
// cond holds; gives up after timeoutMs and records the failure.
void When(std::function<bool()> cond, std::function<void()> act, int timeoutMs = 30000, const char* what = "");

// Polls cond while processing events. True when it came true in time.
bool WaitFor(std::function<bool()> cond, int timeoutMs = 30000);

// The visible top-level widget of this object name, or null.
QWidget* TopLevel(const char* objectName);

// A JPEG photo of the given size whose pixels depend on seed.
QByteArray MakeJpeg(int width, int height, int seed, int quality = 85);
void WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);

// Runs a program; its exit code (-1 when it could not run).
int Run(const QString& program, const QStringList& args, QString* output = nullptr);

// An 8 MiB FAT16 camera card in dir: six photos in DCIM/100CAMRA, three of them deleted.
QString MakeCameraCard(const QString& dir, const QString& name = "card.img");

// Adds a removable drive without a medium: opening it fails, so it is "Not Ready".
struct NoMediumDrive {
    std::uint8_t number = 0;
    std::shared_ptr<int> opens;  // attempts to open it for writing
};
NoMediumDrive AddDriveWithoutMedium(const std::string& path);

// The names and contents of the recovered files in a folder (not the run's report), sorted by name.
QMap<QString, QByteArray> FolderContents(const QString& dir);

}  // namespace quorvane::testing

#define QUORVANE_GUI_TEST_MAIN(TestClass)                   \
    int main(int argc, char** argv) {                       \
        quorvane::testing::IsolateEnvironment();            \
        QApplication app(argc, argv);                       \
        app.setAttribute(Qt::AA_Use96Dpi, true);            \
        TestClass tc;                                       \
        QTEST_SET_MAIN_SOURCE_PATH                          \
        return QTest::qExec(&tc, argc, argv);               \
    }
