#include "gui/thumbnail_loader.h"

#include "gui/thumbnails.h"

#include <QThread>

#include <algorithm>
#include <array>
#include <atomic>
#include <sys/resource.h>
#include <unistd.h>

namespace quorvane::gui {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int Slots = 32;

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

}  // namespace

// What the window and a worker both look at.
struct ThumbnailLoader::Shared {
    std::array<std::atomic<unsigned>, Slots> generation{};
};

struct ThumbnailLoader::Job {
    int slot = 0;
    QString path;
    unsigned generation = 0;
    std::atomic<long long> startedMs{-1};  // -1 until a worker takes it
    bool settled = false;                  // Ready given (window's thread only)
    bool abandoned = false;                // given up on while its worker still runs
};

ThumbnailLoader::ThumbnailLoader(QSize box, Decoder decoder, QObject* parent)
    : QObject(parent), box_(box), decoder_(std::move(decoder)), shared_(std::make_shared<Shared>()) {
    if (!decoder_) decoder_ = [](const QString& path, QSize box) { return LoadThumbnail(path, box); };
    // One core stays with the run and the window.
    pool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount() - 1));
    watchdog_.setInterval(50);
    connect(&watchdog_, &QTimer::timeout, this, &ThumbnailLoader::watch);
}

ThumbnailLoader::~ThumbnailLoader() {
    pool_.clear();
    pool_.waitForDone();
}

void ThumbnailLoader::Request(int slot, const QString& path) {
    if (slot < 0 || slot >= Slots) return;
    auto job = std::make_shared<Job>();
    job->slot = slot;
    job->path = path;
    job->generation = ++shared_->generation[static_cast<std::size_t>(slot)];
    pending_.push_back(job);
    if (!watchdog_.isActive()) watchdog_.start();
    pool_.start([this, job, shared = shared_, decoder = decoder_, box = box_] {
        if (shared->generation[static_cast<std::size_t>(job->slot)] != job->generation) {
            // The slot shows another file by now.
            QMetaObject::invokeMethod(this, [this, job] { finished(job, {}, false); }, Qt::QueuedConnection);
            return;
        }
        // The run comes first: on a busy machine the decoder gives way to it.
        static thread_local const bool lowered = ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10) == 0;
        (void)lowered;
        job->startedMs = nowMs();
        const QImage image = decoder(job->path, box);
        QMetaObject::invokeMethod(this, [this, job, image] { finished(job, image, true); }, Qt::QueuedConnection);
    });
}

void ThumbnailLoader::finished(const std::shared_ptr<Job>& job, const QImage& image, bool run) {
    std::erase(pending_, job);
    if (pending_.empty()) watchdog_.stop();
    if (job->abandoned) {
        // Its stand-in worker is no longer needed.
        pool_.setMaxThreadCount(std::max(1, pool_.maxThreadCount() - 1));
        return;
    }
    if (job->settled || !run) return;
    job->settled = true;
    emit Ready(job->slot, job->path, image);
}

void ThumbnailLoader::watch() {
    const long long now = nowMs();
    std::vector<std::shared_ptr<Job>> late;
    for (const auto& job : pending_) {
        const long long started = job->startedMs;
        if (job->settled || started < 0 || now - started <= budget_.count()) continue;
        job->settled = true;
        job->abandoned = true;
        // The stuck worker keeps its thread; the files behind it get another.
        pool_.setMaxThreadCount(pool_.maxThreadCount() + 1);
        late.push_back(job);
    }
    // After the walk: a receiver may ask for more pictures.
    for (const auto& job : late) emit Ready(job->slot, job->path, QImage());
}

}  // namespace quorvane::gui
