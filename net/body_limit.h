// A cap on what one transfer may deliver: a body that would grow past it is
// refused, so a server that never ends its body cannot fill memory or disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

namespace talvo::utility {

class body_limit {
public:
    explicit body_limit(std::uint64_t max = std::numeric_limits<std::uint64_t>::max())
        : max_(max) {}

    // Counts `bytes` more; false, counting nothing, when they go past the cap.
    bool take(std::size_t bytes) {
        if (bytes > max_ - taken_) return false;
        taken_ += bytes;
        return true;
    }
    // A new body begins.
    void restart() { taken_ = 0; }
    bool capped() const { return max_ != std::numeric_limits<std::uint64_t>::max(); }
    std::uint64_t max() const { return max_; }
    // Why a body it refused was refused.
    std::string refusal() const { return "longer than " + std::to_string(max_) + " bytes"; }

private:
    std::uint64_t max_;
    std::uint64_t taken_ = 0;
};

}  // namespace talvo::utility
