#pragma once
// Calls an event handler when one is set.
#include <utility>

namespace quorvane {

template <class Handler, class... Args>
void Tell(const Handler& handler, Args&&... args) {
    if (handler) handler(std::forward<Args>(args)...);
}

}  // namespace quorvane
