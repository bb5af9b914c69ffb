// An HTTP server inside the test process, on 127.0.0.1 and a free port,
// that serves what the test tells it to and misbehaves on request: error
// statuses, bodies without Content-Length, gzip, a connection dropped
// mid-body, a stall, a slow trickle. It counts requests and connections.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace testsupport {

struct Reply {
    enum class Mode {
        Plain,        // with Content-Length
        Chunked,      // without Content-Length
        Gzip,         // Content-Encoding: gzip
        DropMidBody,  // half the body, then the connection is closed
        Stall,        // half the body, then nothing until released
        Trickle,      // the body in small pieces, slowly
    };
    int status = 200;
    std::string body;
    Mode mode = Mode::Plain;
    std::string contentType = "application/octet-stream";
};

class HttpServer {
public:
    // On a free port, or on `port` (a test of launcher.exe needs the
    // compiled-in one).
    explicit HttpServer(int port = 0);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // `path` as the server sees it after percent-decoding. Replies are
    // given in turn; the last one repeats. Unknown paths answer 404.
    void serve(const std::string& path, std::vector<Reply> replies);
    void serve(const std::string& path, const std::string& body) {
        serve(path, {Reply{200, body}});
    }

    // "http://127.0.0.1:PORT" + path.
    std::string url(const std::string& path) const;
    int requests(const std::string& path) const;
    // Requests and distinct connections (client ports) of paths that begin
    // with `prefix`.
    int requests_under(const std::string& prefix) const;
    int connections_under(const std::string& prefix) const;
    // Lets every stalled reply go on.
    void release_stalls();

private:
    struct Seen {
        std::string path;
        int port;
    };
    Reply next_reply(const std::string& path, int port);
    // Waits until released or the server ends; true when released.
    bool wait_released();

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool releasing_ = false;
    std::map<std::string, std::vector<Reply>> replies_;
    std::vector<Seen> seen_;
};

// gzip of `data`, for replies and their oracle.
std::string gzip(const std::string& data);

}  // namespace testsupport
