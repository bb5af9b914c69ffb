// An unnamed manual-reset event: once set it stays set, and every waiter
// sees it. The launcher's events are made for one run and never reset.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

class ManualResetEvent {
public:
    ManualResetEvent() = default;
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void set();
    // Tests without waiting.
    bool is_set() const;
    // Waits without limit.
    void wait() const;
    // True when the event was set within the limit.
    bool wait_for(std::chrono::milliseconds limit) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool set_ = false;
};

}  // namespace platform
