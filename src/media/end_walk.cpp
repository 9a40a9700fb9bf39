#include "media/end_walk.h"

#include <algorithm>
#include <cstring>

namespace quorvane {

void HeaderWalkFinder::Next(std::uint64_t count, std::size_t size) {
    // need_ is still the size of the header being handled.
    if (count > bound_ || pos_ + need_ + count > bound_) {
        SetUnknown();
        return;
    }
    nextSkip_ = count;
    nextNeed_ = std::min(size, MaxHeader);
}

void HeaderWalkFinder::Extend(std::size_t size) {
    extended_ = true;
    nextNeed_ = std::min(size, MaxHeader);
}

void HeaderWalkFinder::EndAt(std::uint64_t end) {
    if (end > bound_) {
        SetUnknown();
    } else {
        SetEnded(end);
    }
}

void HeaderWalkFinder::Feed(std::span<const std::uint8_t> bytes) {
    while (State() == EndState::Open && !bytes.empty()) {
        if (skip_ > 0) {
            const std::uint64_t n = std::min<std::uint64_t>(skip_, bytes.size());
            skip_ -= n;
            pos_ += n;
            bytes = bytes.subspan(static_cast<std::size_t>(n));
            continue;
        }
        const std::uint8_t* header = nullptr;
        const bool direct = have_ == 0 && bytes.size() >= need_;
        if (direct) {
            // The whole header lies in this piece: read it where it is.
            header = bytes.data();
        } else {
            const std::size_t n = std::min(need_ - have_, bytes.size());
            std::memcpy(buf_.data() + have_, bytes.data(), n);
            have_ += n;
            bytes = bytes.subspan(n);
            if (have_ < need_) return;
            header = buf_.data();
        }
        extended_ = false;
        nextSkip_ = 0;
        nextNeed_ = need_;
        OnHeader(header, need_);
        if (extended_) {
            // Looked at again with more bytes; what was copied stays in buf_.
            need_ = std::max(nextNeed_, need_);
            continue;
        }
        if (direct) bytes = bytes.subspan(need_);
        pos_ += need_;
        have_ = 0;
        skip_ = nextSkip_;
        need_ = nextNeed_;
    }
}


}  // namespace quorvane
