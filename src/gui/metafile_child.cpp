#include "gui/metafile_child.h"

#include "platform/process_runner.h"

#include <QMutex>
#include <QtEndian>

#include <cstring>
#include <filesystem>

namespace quorvane::gui {
namespace {

QMutex commandLock;
std::vector<std::string> commandOverride;

constexpr int HeaderBytes = 8;

}  // namespace

std::vector<std::string> ThumbnailHelperCommand() {
    {
        const QMutexLocker locked(&commandLock);
        if (!commandOverride.empty()) return commandOverride;
    }
    // Beside the program in a build tree, in the package's libexec folder once installed; never
    // from the current folder.
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path beside = self.parent_path() / "quorvane-thumbnail";
        if (std::filesystem::is_regular_file(beside, error)) return {beside.string()};
    }
    const std::filesystem::path installed = std::filesystem::path(QUORVANE_LIBEXEC_DIR) / "quorvane-thumbnail";
    if (std::filesystem::is_regular_file(installed, error)) return {installed.string()};
    return {};
}

void SetThumbnailHelperCommand(std::vector<std::string> command) {
    const QMutexLocker locked(&commandLock);
    commandOverride = std::move(command);
}

MetafileThumbnail RenderMetafileInChild(const QString& path, MetafileKind kind, QSize box,
                                        const MetafileLimits& limits) {
    if (box.isEmpty()) return {{}, MetafileStop::BadOutput};
    std::vector<std::string> arguments = ThumbnailHelperCommand();
    if (arguments.empty()) return {{}, MetafileStop::NoHelper};
    arguments.push_back(kind == MetafileKind::Wmf ? "wmf" : "emf");
    arguments.push_back(std::to_string(box.width()));
    arguments.push_back(std::to_string(box.height()));
    arguments.push_back(path.toStdString());
    ProcessOptions options;
    options.program = arguments[0];
    options.captureOutput = true;
    const auto expectedMost = HeaderBytes + static_cast<std::size_t>(box.width()) * static_cast<std::size_t>(box.height()) * 4;
    // One byte more than a picture of the whole box: more than that is not a picture of ours.
    options.outputLimit = expectedMost + 1;
    options.timeoutMs = limits.timeoutMs;
    options.memoryLimit = limits.memory;
    const ProcessResult result = RunProcess(arguments, options);
    if (!result.started) return {{}, MetafileStop::NoHelper};
    if (result.timedOut) return {{}, MetafileStop::TimeBudget};
    if (!result.exited || result.exitCode != 0) return {{}, MetafileStop::Failed};

    const std::string& out = result.output;
    if (out.size() < HeaderBytes || out.size() > expectedMost) return {{}, MetafileStop::BadOutput};
    const auto width = qFromLittleEndian<quint32>(out.data());
    const auto height = qFromLittleEndian<quint32>(out.data() + 4);
    if (width == 0 || height == 0 || width > static_cast<quint32>(box.width()) ||
        height > static_cast<quint32>(box.height()) ||
        out.size() != HeaderBytes + static_cast<std::size_t>(width) * height * 4) {
        return {{}, MetafileStop::BadOutput};
    }
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGBA8888);
    for (int y = 0; y < image.height(); ++y) {
        std::memcpy(image.scanLine(y), out.data() + HeaderBytes + static_cast<std::size_t>(y) * width * 4,
                    static_cast<std::size_t>(width) * 4);
    }
    return {image, MetafileStop::None};
}

QByteArray EncodeHelperPicture(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_RGBA8888);
    QByteArray out(HeaderBytes, 0);
    qToLittleEndian<quint32>(static_cast<quint32>(image.width()), out.data());
    qToLittleEndian<quint32>(static_cast<quint32>(image.height()), out.data() + 4);
    for (int y = 0; y < image.height(); ++y) {
        out.append(reinterpret_cast<const char*>(image.constScanLine(y)), static_cast<qsizetype>(image.width()) * 4);
    }
    return out;
}

}  // namespace quorvane::gui
