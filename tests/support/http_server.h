// An HTTP server inside the test process, on 127.0.0.1 and a free port,
// that serves what the test tells it to and misbehaves on request. It
// counts requests and connections (client ports).
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
        Plain,    // with Content-Length
        Gzip,     // Content-Encoding: gzip, asked for or not
        Drop,     // half the body, then the connection is closed
        Stall,    // half the body, then nothing for 3 s (or until the server ends)
        Endless,  // the body, then more and more of it until the client gives up
        Ranged,   // with Content-Length, a Range answered as a static server does
    };
    int status = 200;
    std::string body;
    Mode mode = Mode::Plain;
    // Sent as they are, whatever Range a request asks for.
    std::vector<std::pair<std::string, std::string>> headers = {};
};

class HttpServer {
public:
    HttpServer();
    ~HttpServer();

    // `path` as the server sees it, percent-decoded. The replies come in
    // turn and the last one repeats; unknown paths answer 404.
    void serve(const std::string& path, std::vector<Reply> replies);
    void serve(const std::string& path, const std::string& body) { serve(path, {{200, body}}); }

    std::string url(const std::string& path) const;  // "http://127.0.0.1:PORT" + path
    // Requests and distinct connections of the paths beginning with `prefix`.
    int requests(const std::string& prefix) const;
    int connections(const std::string& prefix) const;
    // "Range If-Range" of each request for `path` ("" when it asked for all).
    std::vector<std::string> ranges(const std::string& path) const;

private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable ending_;
    bool ended_ = false;
    std::map<std::string, std::vector<Reply>> replies_;
    std::vector<std::pair<std::string, int>> seen_;            // path, client port
    std::vector<std::pair<std::string, std::string>> ranges_;  // path, "Range If-Range"
};

// `data` compressed as a gzip stream.
std::string gzip(const std::string& data);

}  // namespace testsupport
