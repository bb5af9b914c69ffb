// One libcurl easy handle with callback slots that any member function can
// fill (a lambda), so a transfer can stream into whatever object wants
// its bytes and progress.
//
// Use: construct once; per transfer fill the slots, `url` and the user
// pointers, then perform(). The handle (and with it libcurl's connection
// cache) serves every transfer of the object, so connections stay open
// between files. The first object initialises libcurl for the whole process,
// once (curl_global_init); a program with threads of its own calls
// init_library() first, before any thread exists.
//
// An https server's certificate is always checked, name included, against
// the system's store of authorities (Debian: /etc/ssl/certs; Windows: its
// certificate store, revocation checked where it can be), to which
// add_ca_file() can add more; nothing here switches the check off.
//
// Every transfer gives up when it receives less than kSlowestSpeed bytes a
// second on average over kStallSeconds, nothing at all included (libcurl's
// low-speed limit: CURLE_OPERATION_TIMEDOUT, 28), and goes through the proxy
// that http_proxy, https_proxy and no_proxy name, as libcurl reads them.
#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace talvo::utility {

// libcurl's global initialisation, done once per process whoever asks first.
void init_library();

// A transfer that receives less than kSlowestSpeed bytes a second on average
// for kStallSeconds has failed: a server that drips its bytes ends like one
// that sends none. Far below any player's line; a speed cap that leaves a
// transfer less is the caller's to allow for.
inline constexpr long kStallSeconds = 30;
inline constexpr long kSlowestSpeed = 256;

class easy_curl {
public:
    // (data, element size, element count, user pointer) -> bytes taken.
    using io_function = std::function<std::size_t(char*, std::size_t, std::size_t, void*)>;
    // (download total, download now, upload total, upload now, user
    // pointer) -> 0 to go on, anything else to abort.
    using progress_function_type = std::function<int(double, double, double, double, void*)>;

    // Throws std::runtime_error("cURL handle initialization failed !") when
    // libcurl gives no handle.
    easy_curl();
    virtual ~easy_curl();
    easy_curl(const easy_curl&) = delete;
    easy_curl& operator=(const easy_curl&) = delete;

    CURL* handle() const { return handle_; }
    // Whom the transfer belongs to, kept on the handle (CURLOPT_PRIVATE): a
    // multi_curl's ended transfer leads back to it. nullptr until set.
    void set_owner(void* owner);
    void* owner() const;
    // The whole transfer may take at most `seconds`.
    void set_timeout(long seconds);
    // http and https alone, for URLs a server sent (a list's base URL): no
    // local file and no other protocol reached through them.
    void web_only();
    // Trusts the authorities of a PEM file too, besides the system's: for a
    // site with a certificate of its operator's own authority, and for
    // tests. A file that cannot be read fails every https transfer
    // (CURLE_SSL_CACERT_BADFILE). On Windows the file's authorities take
    // the place of the system's store.
    void add_ca_file(const std::string& path);
    // A transfer that receives less than `slowest` bytes a second on average
    // for `seconds` fails (28).
    void set_stall_limit(long seconds, long slowest = kSlowestSpeed);
    // At most `bytesPerSecond` on average (0: no limit).
    void set_limit_rate(std::uint64_t bytesPerSecond);
    // The next transfers ask for the body from byte `from` on, and only if
    // the server's copy still has the validator `ifRange` (an ETag or an
    // HTTP date): "Range: bytes=from-" and "If-Range". 0 asks for all.
    // False, asking for all, when the request cannot be made.
    bool set_resume(std::uint64_t from, const std::string& ifRange);
    // The next transfers ask for bytes `first` to `last` of the body (both
    // included) and nothing else; first > last asks for all. A reply of
    // another range, or all of the body (200), is the caller's to refuse.
    void set_range(std::uint64_t first, std::uint64_t last);
    // Asks every cache on the way for a fresh copy (Cache-Control and Pragma
    // "no-cache") in the next transfers.
    void set_no_cache(bool on);
    // Of the reply being received (from inside a write slot) or the last one:
    // its HTTP status (0 when none came) and a header's value ("" when absent).
    long response_code() const;
    std::string response_header(const char* name) const;
    // Runs one GET of `url` on the calling thread and returns libcurl's
    // result. A reply with an HTTP status of 400 or more fails with
    // CURLE_HTTP_RETURNED_ERROR and delivers no body.
    CURLcode perform();
    // What perform() does before the transfer: the filled slots, `url` and
    // the accepted encodings given to the handle. For a transfer that a
    // multi_curl runs.
    void prepare();
    // The bytes of the last or current reply that came over the wire so
    // far: its body as sent (compressed or not), and its headers.
    std::uint64_t received() const;
    std::uint64_t header_bytes() const;
    // What libcurl said of the failed transfer that ended with `code`: its
    // error buffer, else the code's general text.
    std::string error_text(CURLcode code) const;

private:
    CURL* handle_ = nullptr;
    char error_buffer[CURL_ERROR_SIZE] = {};
    std::string ca_file_;
    curl_slist* headers_ = nullptr;
    std::string if_range_;
    bool no_cache_ = false;
    // The request's own header lines from the two above.
    bool set_headers();

public:
    io_function write_function;
    // Asked before each piece of the body reaches write_function (the speed
    // cap of a multi_curl): false holds the piece back and pauses the
    // transfer until curl_easy_pause lets it go on; the piece comes again.
    std::function<bool()> admit;
    io_function read_function;
    progress_function_type progress_function;
    std::string url;
    // The body as the server keeps it: no encoding asked for nor decoded
    // (byte ranges, and bodies hashed as they come). Else every encoding
    // libcurl can decode, the slots seeing the decoded body.
    bool identity = false;
    void* write_data = nullptr;
    void* read_data = nullptr;
    void* progress_data = nullptr;

private:
    // What libcurl calls; each sees only the object.
    static std::size_t write_callback(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t read_callback(char* buffer, std::size_t size, std::size_t count, void* self);
    static int progress_callback(void* self, double dltotal, double dlnow, double ultotal,
                                 double ulnow);
    static CURLcode ssl_context_callback(CURL* handle, void* context, void* self);
    // The TLS library's own settings for checking with the system's store.
    void use_system_trust();
};

}  // namespace talvo::utility
