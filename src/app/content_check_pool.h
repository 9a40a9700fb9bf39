#pragma once
// Checks recovered files whole or damaged on worker threads, off the run's reading path: the run
// hands each staged file over and collects the answers when it has a moment (between reads, and
// at its end).
#include "media/content_check.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace quorvane {

// The check a file gets by its extension: the format table's row for it, None when there is none.
ContentCheck ContentCheckForFile(const std::string& path);

class ContentCheckPool {
public:
    // workers 0: as many as the machine has cores.
    explicit ContentCheckPool(unsigned workers = 0);
    ~ContentCheckPool();
    ContentCheckPool(const ContentCheckPool&) = delete;
    ContentCheckPool& operator=(const ContentCheckPool&) = delete;

    // Queues the file at path; id is handed back with its condition.
    void Submit(std::size_t id, const std::string& path);
    // The answers that came in since the last call.
    std::vector<std::pair<std::size_t, TFileCondition>> Take();
    // Waits until every file queued so far has its answer, calling wait every 50 ms or so (to keep
    // a window responsive); returns early, leaving the rest unchecked, when wait answers false.
    template <typename Wait>
    void Drain(Wait wait) {
        while (Pending() > 0) {
            if (!wait()) {
                Abandon();
                return;
            }
            WaitAWhile();
        }
    }
    // Files queued or being checked.
    std::size_t Pending() const;

private:
    void Work();
    void WaitAWhile();
    // Drops the files not started yet; the ones being checked finish.
    void Abandon();

    mutable std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    std::deque<std::pair<std::size_t, std::string>> queue_;
    std::vector<std::pair<std::size_t, TFileCondition>> answers_;
    std::size_t busy_ = 0;
    bool closing_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace quorvane
