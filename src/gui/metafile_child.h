#pragma once
// Metafile thumbnails drawn in a child process: the thumbnail helper program (quorvane-thumbnail,
// beside this program) reads the file, draws it with the metafile decoders and writes the small
// picture to its output. It runs with a memory limit and is killed when it outruns its time, so
// a hostile metafile costs at most a blank thumbnail.
//
// The helper's output: width and height as 32-bit little-endian numbers, then width x height
// pixels of four bytes each, red, green, blue, alpha.
#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane::gui {

enum class MetafileKind { Wmf, Emf };

// The helper's address space: Qt's libraries, a font cache and a metafile's drawing.
inline constexpr std::uint64_t MetafileHelperMemory = 1ull << 30;
// Metafiles are drawings of kilobytes; the helper reads no more than this of one.
inline constexpr std::int64_t MetafileHelperMaxInput = 16 << 20;

struct MetafileLimits {
    int timeoutMs = 3000;
    std::uint64_t memory = MetafileHelperMemory;
};

enum class MetafileStop {
    None,        // drawn
    NoHelper,    // the helper program could not be started
    Failed,      // the helper could not draw the file, or died
    TimeBudget,  // the helper was killed for outrunning its time
    BadOutput,   // the helper's output is not a picture that fits the box
};

struct MetafileThumbnail {
    QImage image;  // null unless stop is None
    MetafileStop stop = MetafileStop::None;
};

// The helper command, to which the kind ("wmf" or "emf"), the box's width and height and the
// file's path are appended. By default the helper beside the running program.
std::vector<std::string> ThumbnailHelperCommand();
// Tests point it at the helper of the build, or at a stand-in; an empty command restores the default.
void SetThumbnailHelperCommand(std::vector<std::string> command);

MetafileThumbnail RenderMetafileInChild(const QString& path, MetafileKind kind, QSize box,
                                        const MetafileLimits& limits = {});

// The helper's side: the picture written as above.
QByteArray EncodeHelperPicture(const QImage& image);

}  // namespace quorvane::gui
