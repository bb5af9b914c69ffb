#include "platform/event.h"

namespace platform {

void ManualResetEvent::set() {
    // Notified under the lock: a waiter that sees the event set may destroy
    // it at once, and set() must not touch it after that.
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = true;
    changed_.notify_all();
}

bool ManualResetEvent::is_set() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return set_;
}

void ManualResetEvent::wait() const {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return set_; });
}

bool ManualResetEvent::wait_for(std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return set_; });
}

}  // namespace platform
