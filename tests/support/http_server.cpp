#include "support/http_server.h"

#include <httplib.h>
#include <zlib.h>

#include <set>
#include <stdexcept>

namespace testsupport {

std::string gzip(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

HttpServer::HttpServer() : server_(std::make_unique<httplib::Server>()) {
    server_->set_keep_alive_max_count(100000).set_keep_alive_timeout(1);
    server_->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        Reply reply{404, "<html><body>404 Not Found</body></html>\r\n"};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.emplace_back(req.path, req.remote_port);
            const std::string range = req.get_header_value("Range");
            ranges_.emplace_back(
                req.path, range.empty() ? "" : range + " " + req.get_header_value("If-Range"));
            auto it = replies_.find(req.path);
            if (it != replies_.end()) {
                reply = it->second.front();
                if (it->second.size() > 1) it->second.erase(it->second.begin());
            }
        }
        // The reply goes as scripted: the server would cut a body to the
        // request's range otherwise.
        if (reply.mode != Reply::Mode::Ranged) const_cast<httplib::Request&>(req).ranges.clear();
        for (const auto& [name, value] : reply.headers) res.set_header(name.c_str(), value);
        res.status = reply.status;
        const auto body = std::make_shared<std::string>(reply.body);
        const char* type = "application/octet-stream";
        using Mode = Reply::Mode;
        switch (reply.mode) {
            case Mode::Gzip:
                res.set_header("Content-Encoding", "gzip");
                return res.set_content(gzip(*body), type);
            case Mode::Ranged:
                if (!req.ranges.empty() && res.status == 200) res.status = 206;
                return res.set_content(*body, type);
            case Mode::Plain:
                return res.set_content(*body, type);
            case Mode::Endless:
                return res.set_chunked_content_provider(
                    type, [body](std::size_t, httplib::DataSink& sink) {
                        return sink.write(body->data(), body->size());
                    });
            default:
                return res.set_content_provider(
                    body->size(), type,
                    [this, body, mode = reply.mode](std::size_t at, std::size_t,
                                                    httplib::DataSink& sink) {
                        if (at == 0) return sink.write(body->data(), body->size() / 2);
                        std::unique_lock<std::mutex> lock(mutex_);
                        // Long past any stall limit of the tests, and then the
                        // server's thread is free again.
                        if (mode == Mode::Stall) {
                            ending_.wait_for(lock, std::chrono::seconds(3),
                                             [this] { return ended_; });
                        }
                        return false;
                    });
        }
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("test server: no port");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) std::this_thread::yield();
}

HttpServer::~HttpServer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
    }
    ending_.notify_all();
    server_->stop();
    thread_.join();
}

void HttpServer::serve(const std::string& path, std::vector<Reply> replies) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[path] = std::move(replies);
}

std::string HttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int HttpServer::requests(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const auto& [path, port] : seen_) n += path.rfind(prefix, 0) == 0;
    return n;
}

std::vector<std::string> HttpServer::ranges(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> found;
    for (const auto& [p, range] : ranges_) {
        if (p == path) found.push_back(range);
    }
    return found;
}

int HttpServer::connections(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::set<int> ports;
    for (const auto& [path, port] : seen_) {
        if (path.rfind(prefix, 0) == 0) ports.insert(port);
    }
    return static_cast<int>(ports.size());
}

}  // namespace testsupport
