#include "servers/retry_delay.h"

#include <algorithm>
#include <cmath>
#include <random>

RetryDelay::RetryDelay(std::function<double()> uniform) : uniform_(std::move(uniform)) {
    if (!uniform_) {
        uniform_ = [generator = std::mt19937(std::random_device{}())]() mutable {
            return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
        };
    }
}

std::chrono::milliseconds RetryDelay::Next() {
    const double factor = 1.0 + kJitter * (2.0 * std::clamp(uniform_(), 0.0, 1.0) - 1.0);
    const auto wait = std::chrono::milliseconds(std::llround(nominalMs_ * factor));
    nominalMs_ = std::min(nominalMs_ * 2.0, kLongestMs);
    return wait;
}
