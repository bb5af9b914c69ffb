// The waits of the server-list loop between attempts that brought no list:
// 50 ms after the first, twice as long after each further one up to 10 s,
// each moved by up to 20% either way at random, so that the launchers that
// lost the site do not all ask again at the same moment when it comes back.
#pragma once

#include <chrono>
#include <functional>

class RetryDelay {
public:
    static constexpr double kFirstMs = 50.0;
    static constexpr double kLongestMs = 10000.0;
    static constexpr double kJitter = 0.2;

    // `uniform` answers numbers in [0, 1); by default a generator seeded
    // from the machine's entropy.
    explicit RetryDelay(std::function<double()> uniform = {});

    // The wait after the next failed attempt.
    std::chrono::milliseconds Next();

private:
    std::function<double()> uniform_;
    double nominalMs_ = kFirstMs;
};
