// Fetches the whole body of one URL into a string: the update list, the
// server list.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "net/body_limit.h"
#include "net/easy_curl.h"

namespace talvo::utility {

class fetch_url {
public:
    explicit fetch_url(const std::string& url);
    fetch_url(const fetch_url&) = delete;
    fetch_url& operator=(const fetch_url&) = delete;

    void set_timeout(long seconds) { transfer.set_timeout(seconds); }
    // A body longer than `bytes` fails the fetch (as a failed transfer).
    void set_max_size(std::uint64_t bytes) { limit_ = body_limit(bytes); }
    // Aborts a fetch in progress as soon as `stop_requested` answers true
    // (libcurl asks at least once a second, also while nothing arrives).
    void abort_when(std::function<bool()> stop_requested);
    // A new request each call: its body (taken out of `response`), or ""
    // when the transfer failed (an HTTP error status included).
    std::string fetch();
    // Why the last fetch failed (libcurl's text, or the body's size); ""
    // when it did not.
    const std::string& error() const { return error_; }

    easy_curl transfer;
    std::string response;

private:
    std::size_t on_write(char* data, std::size_t size, std::size_t count, void* user);
    int on_progress(double dltotal, double dlnow, double ultotal, double ulnow);

    std::function<bool()> stop_requested_;
    body_limit limit_;
    bool overlong_ = false;
    std::string error_;
};

}  // namespace talvo::utility
