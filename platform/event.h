// An unnamed manual-reset event: once set it stays set until reset, and
// every waiter sees it.
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
    void reset();
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
