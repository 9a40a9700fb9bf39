#include "app/content_check_pool.h"

#include "media/filedet.h"
#include "media/media_formats.h"

#include <algorithm>
#include <chrono>

namespace quorvane {

ContentCheck ContentCheckForFile(const std::string& path) {
    const std::string_view name = std::string_view(path).substr(path.find_last_of('/') + 1);
    const std::string_view extension = FileNameExtension(name);
    if (extension.size() < 2) return ContentCheck::None;
    const MediaFormat* format = FindMediaFormat(extension.substr(1));
    if (format == nullptr) return ContentCheck::None;
    if (format->check != ContentCheck::None) return format->check;
    // A second extension of a kind (JPEG, TIFF) takes the check of its kind's first row.
    for (const MediaFormat& row : MediaFormats) {
        if (row.kind == format->kind && row.check != ContentCheck::None) return row.check;
    }
    return ContentCheck::None;
}

ContentCheckPool::ContentCheckPool(unsigned workers) {
    // Every core: the run's own thread mostly waits for the card, and decoding is the run's
    // largest cost when the card is fast (an image in the page cache).
    if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
}

ContentCheckPool::~ContentCheckPool() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        queue_.clear();
    }
    work_.notify_all();
    for (auto& worker : workers_) worker.join();
}

void ContentCheckPool::Submit(std::size_t id, const std::string& path) {
    {
        std::lock_guard lock(mutex_);
        queue_.emplace_back(id, path);
    }
    work_.notify_one();
}

std::vector<std::pair<std::size_t, TFileCondition>> ContentCheckPool::Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(answers_, {});
}

std::size_t ContentCheckPool::Pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size() + busy_;
}

void ContentCheckPool::WaitAWhile() {
    std::unique_lock lock(mutex_);
    done_.wait_for(lock, std::chrono::milliseconds(50), [this] { return queue_.empty() && busy_ == 0; });
}

void ContentCheckPool::Abandon() {
    std::lock_guard lock(mutex_);
    queue_.clear();
}

void ContentCheckPool::Work() {
    for (;;) {
        std::pair<std::size_t, std::string> job;
        {
            std::unique_lock lock(mutex_);
            work_.wait(lock, [this] { return closing_ || !queue_.empty(); });
            if (closing_) return;
            job = std::move(queue_.front());
            queue_.pop_front();
            ++busy_;
        }
        const TFileCondition condition = CheckFileContent(ContentCheckForFile(job.second), job.second);
        {
            std::lock_guard lock(mutex_);
            answers_.emplace_back(job.first, condition);
            --busy_;
        }
        done_.notify_all();
    }
}

}  // namespace quorvane
