// quorvane-thumbnail: draws one metafile for the preview window, in a process of its own.
//
//   quorvane-thumbnail wmf|emf WIDTH HEIGHT FILE
//
// Writes the picture, fitted into WIDTH x HEIGHT, to its output as metafile_child.h describes;
// exits 1 when the file cannot be drawn, 2 on wrong arguments. The window kills it when it takes
// too long.
#include "gui/metafile_child.h"
#include "gui/metafile_render.h"

#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Limits that hold from here on, before a byte of the file is read: the window sets the memory
// limit too, but only once the process has started.
void limitSelf() {
    const rlimit memory{quorvane::gui::MetafileHelperMemory, quorvane::gui::MetafileHelperMemory};
    ::setrlimit(RLIMIT_AS, &memory);
    const rlimit cpu{10, 10};
    ::setrlimit(RLIMIT_CPU, &cpu);
    // The decoders' complaints would mix with the picture on the output.
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
}

int parseSide(const char* text) {
    try {
        const int side = std::stoi(text);
        return side > 0 && side <= 1024 ? side : -1;
    } catch (...) {
        return -1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    limitSelf();
    if (argc != 5) return 2;
    const std::string kind = argv[1];
    const int width = parseSide(argv[2]);
    const int height = parseSide(argv[3]);
    if ((kind != "wmf" && kind != "emf") || width < 0 || height < 0) return 2;

    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    QFile file(QString::fromLocal8Bit(argv[4]));
    if (!file.open(QIODevice::ReadOnly) || file.size() > quorvane::gui::MetafileHelperMaxInput) return 1;
    const QByteArray data = file.readAll();
    const QSize box(width, height);
    const QImage image = kind == "wmf" ? quorvane::gui::RenderWmf(data, box) : quorvane::gui::RenderEmf(data, box);
    if (image.isNull() || image.width() > width || image.height() > height) return 1;
    const QByteArray out = quorvane::gui::EncodeHelperPicture(image);
    return std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stdout) ==
                   static_cast<std::size_t>(out.size()) && std::fflush(stdout) == 0
               ? 0
               : 1;
}
