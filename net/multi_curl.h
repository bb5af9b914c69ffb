// Several easy_curl transfers at once over libcurl's multi interface, run
// by the calling thread: up to a number at a time (HTTP/2 streams where an
// https server offers them, else keep-alive connections of their own), and
// a cap on the bytes a second that all of them receive together, counted
// as they come over the wire (headers, and bodies compressed or not).
//
// Use: fill a transfer as for perform(), add() it, and call run() until it
// is among those that ended. A transfer's slots are called from inside
// run(), add() and remove(); they must not add or remove transfers.
#pragma once

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "net/easy_curl.h"

namespace talvo::utility {

class multi_curl {
public:
    using clock = std::function<std::chrono::steady_clock::time_point()>;
    // `now` is the time the speed cap goes by.
    explicit multi_curl(std::size_t maxTransfers, clock now = std::chrono::steady_clock::now);
    // Ends what still runs.
    ~multi_curl();
    multi_curl(const multi_curl&) = delete;
    multi_curl& operator=(const multi_curl&) = delete;

    // Transfers in flight at most: as constructed, and kStreamsPerTransfer
    // times that (kMostStreams at most) once a server has answered over
    // HTTP/2, whose requests share a connection as streams; one at a time
    // stays one at a time.
    static constexpr std::size_t kStreamsPerTransfer = 8, kMostStreams = 64;
    std::size_t max_transfers() const {
        return multiplexed_ && max_ > 1 ? std::min(max_ * kStreamsPerTransfer, kMostStreams) : max_;
    }
    std::size_t running() const { return running_.size(); }
    // All transfers together at most `bytesPerSecond` (0: no cap).
    void set_limit_rate(std::uint64_t bytesPerSecond);

    // Starts `transfer` (prepare() is done here). False when max_transfers()
    // run already or libcurl refuses it.
    bool add(easy_curl& transfer);
    // Ends a transfer that runs; its end is not reported.
    void remove(easy_curl& transfer);

    struct ended {
        easy_curl* transfer;
        CURLcode code;
    };
    // Lets the transfers run for at most `wait`, less when one ends: the
    // transfers that ended, with their results (CURLE_HTTP_RETURNED_ERROR
    // for an HTTP status of 400 or more).
    std::vector<ended> run(std::chrono::milliseconds wait);
    // The body bytes all transfers received since the last call, as sent.
    std::uint64_t take_received();

private:
    struct Running {
        easy_curl* transfer;
        std::uint64_t body;     // of its received(), counted
        std::uint64_t headers;  // of its header_bytes(), counted
        bool held;              // paused by the cap
    };
    void Count();
    void Collect(std::vector<ended>& done);
    // The allowance grown by the time since it was last grown.
    void Refill();
    // From inside a transfer's write slot: whether its piece may go on now.
    bool Admit(easy_curl& transfer);
    // Lets the transfers the cap held go on once the run is no longer ahead
    // of it; the time until it will be, while it is.
    std::chrono::milliseconds Pace();

    CURLM* multi_;
    const std::size_t max_;
    bool multiplexed_ = false;
    const clock now_;
    std::vector<Running> running_;
    std::uint64_t received_ = 0;
    std::uint64_t rate_ = 0;
    double allowance_ = 0;  // bytes that may still come (below 0: ahead of the cap)
    std::chrono::steady_clock::time_point paced_;
};

}  // namespace talvo::utility
