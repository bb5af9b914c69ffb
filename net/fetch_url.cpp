#include "net/fetch_url.h"

#include <mutex>

namespace talvo::utility {

namespace {

// What the fetches of the process share: their connections (a fetch after
// another to the same host goes over the same connection, no new TCP or TLS
// handshake), TLS sessions and DNS answers. Any thread may fetch: each kind
// of data has its lock.
class Shared {
public:
    Shared() : share_(curl_share_init()) {
        curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &Lock);
        curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &Unlock);
        curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
        for (const curl_lock_data data :
             {CURL_LOCK_DATA_CONNECT, CURL_LOCK_DATA_SSL_SESSION, CURL_LOCK_DATA_DNS}) {
            curl_share_setopt(share_, CURLSHOPT_SHARE, data);
        }
    }
    CURLSH* get() const { return share_; }

private:
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
        static_cast<Shared*>(self)->locks_[data].lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* self) {
        static_cast<Shared*>(self)->locks_[data].unlock();
    }
    CURLSH* const share_;
    std::mutex locks_[CURL_LOCK_DATA_LAST];
};

}  // namespace

fetch_url::fetch_url(const std::string& url) {
    static Shared shared;  // for the life of the process
    if (shared.get() != nullptr) curl_easy_setopt(transfer.handle(), CURLOPT_SHARE, shared.get());
    transfer.url = url;
    transfer.write_function = [this](char* data, std::size_t size, std::size_t count, void* user) {
        return on_write(data, size, count, user);
    };
    transfer.write_data = &response;
}

void fetch_url::abort_when(std::function<bool()> stop_requested) {
    stop_requested_ = std::move(stop_requested);
    transfer.progress_function = [this](double dltotal, double dlnow, double ultotal, double ulnow,
                                        void*) {
        return on_progress(dltotal, dlnow, ultotal, ulnow);
    };
}

std::string fetch_url::fetch() {
    response.clear();
    error_.clear();
    limit_.restart();
    overlong_ = false;
    const CURLcode code = transfer.perform();
    // Moved, never copied: a list may be tens of MiB.
    if (code == CURLE_OK) return std::move(response);
    // libcurl calls a body refused for its size a failed write.
    error_ = overlong_ ? limit_.refusal() : transfer.error_text(code);
    std::string().swap(response);  // what a refused body left
    return std::string();
}

std::size_t fetch_url::on_write(char* data, std::size_t size, std::size_t count, void* user) {
    const std::size_t bytes = size * count;
    if (!limit_.take(bytes)) {
        overlong_ = true;
        return 0;
    }
    std::string& body = *static_cast<std::string*>(user);
    // A capped body gets room for all of the cap at once: pages are taken
    // only as the body fills them, and it is never copied to grow, which
    // would hold it twice for a moment.
    if (limit_.capped() && body.size() + bytes > body.capacity()) {
        body.reserve(static_cast<std::size_t>(limit_.max()));
    }
    body.append(data, bytes);
    return bytes;
}

int fetch_url::on_progress(double, double, double, double) {
    return stop_requested_ && stop_requested_() ? 1 : 0;
}

}  // namespace talvo::utility
