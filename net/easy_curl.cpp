// CURLOPT_PROGRESSFUNCTION is what our callbacks are written against; newer
// headers mark it deprecated in favour of the 64-bit variant.
#define CURL_DISABLE_DEPRECATION

#include "net/easy_curl.h"

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace talvo::utility {

namespace {

constexpr long kLargeBuffer = 512L * 1024;

}  // namespace

void init_library() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

easy_curl::easy_curl() {
    init_library();
    handle_ = curl_easy_init();
    if (handle_ == nullptr) throw std::runtime_error("cURL handle initialization failed !");
    curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, error_buffer);
    // An error page must never pass for a file, a list or a server list.
    curl_easy_setopt(handle_, CURLOPT_FAILONERROR, 1L);
    // Large pieces: fewer calls and writes for a big file.
    curl_easy_setopt(handle_, CURLOPT_BUFFERSIZE, kLargeBuffer);
    // libcurl's defaults for https stand, said here so that nothing can
    // quietly lose them.
    curl_easy_setopt(handle_, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle_, CURLOPT_SSL_VERIFYHOST, 2L);
    use_system_trust();
    set_stall_limit(kStallSeconds);
}

easy_curl::~easy_curl() {
    curl_easy_cleanup(handle_);
    curl_slist_free_all(headers_);
}

void easy_curl::set_stall_limit(long seconds, long slowest) {
    // libcurl averages the speed over the last few seconds: a drip of a
    // burst now and then below the floor fails as well. A host that never
    // answers the connection (a firewall dropping it) fails in the
    // launcher's stall window (or this one, if longer), not in libcurl's
    // five minutes.
    curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_LIMIT, slowest);
    curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_TIME, seconds);
    curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT, std::max(seconds, kStallSeconds));
}

void easy_curl::set_limit_rate(std::uint64_t bytesPerSecond) {
    curl_easy_setopt(handle_, CURLOPT_MAX_RECV_SPEED_LARGE,
                     static_cast<curl_off_t>(bytesPerSecond));
    // Under a cap libcurl keeps the pace by its pieces: large ones overshoot.
    curl_easy_setopt(handle_, CURLOPT_BUFFERSIZE,
                     bytesPerSecond == 0 ? kLargeBuffer : long{CURL_MAX_WRITE_SIZE});
}

bool easy_curl::set_resume(std::uint64_t from, const std::string& ifRange) {
    curl_easy_setopt(handle_, CURLOPT_RANGE, nullptr);
    // Never a range without its condition: the rest of another file's bytes.
    if_range_ = from == 0 ? "" : ifRange;
    if (!set_headers()) return false;
    if (from > 0) curl_easy_setopt(handle_, CURLOPT_RANGE, (std::to_string(from) + "-").c_str());
    return true;
}

void easy_curl::set_no_cache(bool on) {
    no_cache_ = on;
    set_headers();
}

bool easy_curl::set_headers() {
    curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers_);
    headers_ = nullptr;
    std::vector<std::string> lines;
    if (!if_range_.empty()) lines.push_back("If-Range: " + if_range_);
    if (no_cache_) lines.insert(lines.end(), {"Cache-Control: no-cache", "Pragma: no-cache"});
    for (const std::string& line : lines) {
        curl_slist* more = curl_slist_append(headers_, line.c_str());
        if (more == nullptr) {
            curl_slist_free_all(headers_);
            headers_ = nullptr;
            if_range_.clear();
            return false;
        }
        headers_ = more;
    }
    if (headers_ != nullptr) curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, headers_);
    return true;
}

void easy_curl::set_range(std::uint64_t first, std::uint64_t last) {
    set_resume(0, "");
    if (first > last) return;
    curl_easy_setopt(handle_, CURLOPT_RANGE,
                     (std::to_string(first) + "-" + std::to_string(last)).c_str());
}

std::uint64_t easy_curl::received() const {
    curl_off_t body = 0;
    curl_easy_getinfo(handle_, CURLINFO_SIZE_DOWNLOAD_T, &body);
    return static_cast<std::uint64_t>(body);
}

std::uint64_t easy_curl::header_bytes() const {
    long headers = 0;
    curl_easy_getinfo(handle_, CURLINFO_HEADER_SIZE, &headers);
    return static_cast<std::uint64_t>(headers);
}

long easy_curl::response_code() const {
    long code = 0;
    curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

std::string easy_curl::response_header(const char* name) const {
    curl_header* header = nullptr;
    if (curl_easy_header(handle_, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK) return "";
    return header->value;
}

void easy_curl::set_timeout(long seconds) {
    curl_easy_setopt(handle_, CURLOPT_TIMEOUT, seconds);
}

void easy_curl::web_only() {
    curl_easy_setopt(handle_, CURLOPT_PROTOCOLS_STR, "http,https");
}

CURLcode easy_curl::perform() {
    prepare();
    return curl_easy_perform(handle_);
}

void easy_curl::set_owner(void* owner) {
    curl_easy_setopt(handle_, CURLOPT_PRIVATE, owner);
}

void* easy_curl::owner() const {
    char* owner = nullptr;
    curl_easy_getinfo(handle_, CURLINFO_PRIVATE, &owner);
    return owner;
}

void easy_curl::prepare() {
    if (write_function) {
        curl_easy_setopt(handle_, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, &easy_curl::write_callback);
    }
    if (read_function) {
        curl_easy_setopt(handle_, CURLOPT_READDATA, this);
        curl_easy_setopt(handle_, CURLOPT_READFUNCTION, &easy_curl::read_callback);
    }
    if (progress_function) {
        curl_easy_setopt(handle_, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(handle_, CURLOPT_PROGRESSFUNCTION, &easy_curl::progress_callback);
        curl_easy_setopt(handle_, CURLOPT_PROGRESSDATA, this);
    }
    curl_easy_setopt(handle_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle_, CURLOPT_ACCEPT_ENCODING, identity ? nullptr : "");
    // Over https, a request waits for a connection that can carry several
    // at once (HTTP/2) rather than opening one more.
    curl_easy_setopt(handle_, CURLOPT_PIPEWAIT, url.rfind("https:", 0) == 0 ? 1L : 0L);
    error_buffer[0] = '\0';
}

std::string easy_curl::error_text(CURLcode code) const {
    return error_buffer[0] != '\0' ? std::string(error_buffer) : curl_easy_strerror(code);
}

std::size_t easy_curl::write_callback(char* data, std::size_t size, std::size_t count, void* self) {
    auto* curl = static_cast<easy_curl*>(self);
    if (curl == nullptr || !curl->write_function) return 0;
    if (curl->admit && !curl->admit()) return CURL_WRITEFUNC_PAUSE;
    return curl->write_function(data, size, count, curl->write_data);
}

std::size_t easy_curl::read_callback(char* buffer, std::size_t size, std::size_t count,
                                     void* self) {
    auto* curl = static_cast<easy_curl*>(self);
    if (curl == nullptr || !curl->read_function) return 0;
    return curl->read_function(buffer, size, count, curl->read_data);
}

int easy_curl::progress_callback(void* self, double dltotal, double dlnow, double ultotal,
                                 double ulnow) {
    auto* curl = static_cast<easy_curl*>(self);
    if (curl == nullptr || !curl->progress_function) return 0;
    return curl->progress_function(dltotal, dlnow, ultotal, ulnow, curl->progress_data);
}

}  // namespace talvo::utility
