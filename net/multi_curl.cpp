#include "net/multi_curl.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace talvo::utility {

namespace {

// What the cap lets come at once after a quiet moment: a tenth of a
// second's worth, at least one of libcurl's pieces.
double Burst(std::uint64_t rate) {
    return std::max(static_cast<double>(rate) / 10, double{CURL_MAX_WRITE_SIZE});
}

}  // namespace

multi_curl::multi_curl(std::size_t maxTransfers, clock now)
    : multi_((init_library(), curl_multi_init())),
      max_(std::max<std::size_t>(maxTransfers, 1)),
      now_(std::move(now)) {
    if (multi_ == nullptr) throw std::runtime_error("cURL multi handle initialization failed !");
    curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(max_));
    curl_multi_setopt(multi_, CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(max_));
    curl_multi_setopt(multi_, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
}

multi_curl::~multi_curl() {
    for (const Running& r : running_) curl_multi_remove_handle(multi_, r.transfer->handle());
    curl_multi_cleanup(multi_);
}

void multi_curl::set_limit_rate(std::uint64_t bytesPerSecond) {
    rate_ = bytesPerSecond;
    allowance_ = rate_ ? Burst(rate_) : 0;
    paced_ = now_();
}

bool multi_curl::add(easy_curl& transfer) {
    if (running_.size() >= max_transfers()) return false;
    transfer.prepare();
    // Under a cap libcurl's own small pieces: the pace is kept by them.
    if (rate_ != 0)
        curl_easy_setopt(transfer.handle(), CURLOPT_BUFFERSIZE, long{CURL_MAX_WRITE_SIZE});
    if (rate_ != 0) transfer.admit = [this, &transfer] { return Admit(transfer); };
    if (curl_multi_add_handle(multi_, transfer.handle()) != CURLM_OK) {
        transfer.admit = nullptr;
        return false;
    }
    running_.push_back({&transfer, 0, 0, false});
    return true;
}

void multi_curl::remove(easy_curl& transfer) {
    const auto it = std::find_if(running_.begin(), running_.end(),
                                 [&](const Running& r) { return r.transfer == &transfer; });
    if (it == running_.end()) return;
    transfer.admit = nullptr;
    curl_multi_remove_handle(multi_, transfer.handle());
    running_.erase(it);
}

std::uint64_t multi_curl::take_received() {
    Count();
    const std::uint64_t bytes = received_;
    received_ = 0;
    return bytes;
}

void multi_curl::Count() {
    // The cap counts headers too: they are bytes on the wire.
    for (Running& r : running_) {
        const std::uint64_t body = r.transfer->received(), headers = r.transfer->header_bytes();
        if (body > r.body) received_ += body - r.body;
        allowance_ -= static_cast<double>(body - std::min(body, r.body)) +
                      static_cast<double>(headers - std::min(headers, r.headers));
        r.body = body;
        r.headers = headers;
    }
}

void multi_curl::Collect(std::vector<ended>& done) {
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
        if (message->msg != CURLMSG_DONE) continue;
        const auto it = std::find_if(running_.begin(), running_.end(), [&](const Running& r) {
            return r.transfer->handle() == message->easy_handle;
        });
        if (it == running_.end()) continue;
        const CURLcode code = message->data.result;
        long version = 0;
        curl_easy_getinfo(message->easy_handle, CURLINFO_HTTP_VERSION, &version);
        multiplexed_ |= code == CURLE_OK && version >= CURL_HTTP_VERSION_2_0;
        it->transfer->admit = nullptr;
        curl_multi_remove_handle(multi_, message->easy_handle);
        done.push_back({it->transfer, code});
        running_.erase(it);
    }
}

void multi_curl::Refill() {
    const auto now = now_();
    allowance_ = std::min(allowance_ + std::chrono::duration<double>(now - paced_).count() *
                                           static_cast<double>(rate_),
                          Burst(rate_));
    paced_ = now;
}

// libcurl counts a piece's bytes as they came over the wire before it hands
// the piece on: the piece that goes past the cap waits, and none after it.
bool multi_curl::Admit(easy_curl& transfer) {
    Count();
    Refill();
    if (allowance_ >= 0) return true;
    for (Running& r : running_) r.held |= r.transfer == &transfer;
    return false;
}

std::chrono::milliseconds multi_curl::Pace() {
    using namespace std::chrono;
    if (rate_ == 0) return milliseconds::max();
    Refill();
    if (allowance_ < 0) {
        return milliseconds(static_cast<long>(-allowance_ * 1000 / static_cast<double>(rate_)) + 1);
    }
    // Going on may hand pieces to write slots at once, which may hold a
    // transfer again.
    for (std::size_t i = 0; i < running_.size(); ++i) {
        if (!running_[i].held) continue;
        running_[i].held = false;
        curl_easy_pause(running_[i].transfer->handle(), CURLPAUSE_CONT);
    }
    return milliseconds::max();
}

std::vector<multi_curl::ended> multi_curl::run(std::chrono::milliseconds wait) {
    std::vector<ended> done;
    int still = 0;
    curl_multi_perform(multi_, &still);
    Count();
    Collect(done);
    if (!done.empty() || running_.empty()) return done;
    const auto limit = std::min(wait, Pace());
    curl_multi_poll(multi_, nullptr, 0, static_cast<int>(limit.count()), nullptr);
    curl_multi_perform(multi_, &still);
    Count();
    Pace();
    Collect(done);
    return done;
}

}  // namespace talvo::utility
