#include "support/http_server.h"

#include <httplib.h>
#include <zlib.h>

#include <chrono>
#include <set>
#include <stdexcept>

namespace testsupport {

std::string gzip(const std::string& data) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2");
    }
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

HttpServer::HttpServer(int port) : server_(std::make_unique<httplib::Server>()) {
    server_->set_keep_alive_max_count(100000);
    server_->set_keep_alive_timeout(1);
    server_->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        const Reply reply = next_reply(req.path, req.remote_port);
        res.status = reply.status;
        auto body = std::make_shared<std::string>(reply.body);
        const std::size_t half = body->size() / 2;
        switch (reply.mode) {
            case Reply::Mode::Plain:
                res.set_content(*body, reply.contentType.c_str());
                break;
            case Reply::Mode::Gzip:
                res.set_header("Content-Encoding", "gzip");
                res.set_content(gzip(*body), reply.contentType.c_str());
                break;
            case Reply::Mode::Chunked:
                res.set_chunked_content_provider(
                    reply.contentType, [body](std::size_t, httplib::DataSink& sink) {
                        for (std::size_t at = 0; at < body->size(); at += 4096) {
                            sink.write(body->data() + at,
                                       std::min<std::size_t>(4096, body->size() - at));
                        }
                        sink.done();
                        return true;
                    });
                break;
            case Reply::Mode::DropMidBody:
            case Reply::Mode::Stall:
                res.set_content_provider(
                    body->size(), reply.contentType,
                    [this, body, half, mode = reply.mode](std::size_t offset, std::size_t,
                                                          httplib::DataSink& sink) {
                        if (offset == 0) return sink.write(body->data(), half);
                        if (mode == Reply::Mode::DropMidBody || !wait_released()) return false;
                        return sink.write(body->data() + offset, body->size() - offset);
                    });
                break;
            case Reply::Mode::Trickle:
                res.set_content_provider(
                    body->size(), reply.contentType,
                    [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                        return sink.write(body->data() + offset,
                                          std::min<std::size_t>(512, body->size() - offset));
                    });
                break;
        }
    });
    port_ = port == 0 ? server_->bind_to_any_port("127.0.0.1")
                      : (server_->bind_to_port("127.0.0.1", port) ? port : -1);
    if (port_ <= 0) throw std::runtime_error("test server: no port");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

HttpServer::~HttpServer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        releasing_ = true;
    }
    released_.notify_all();
    server_->stop();
    thread_.join();
}

void HttpServer::serve(const std::string& path, std::vector<Reply> replies) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[path] = std::move(replies);
}

Reply HttpServer::next_reply(const std::string& path, int port) {
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.push_back({path, port});
    auto it = replies_.find(path);
    if (it == replies_.end() || it->second.empty()) {
        return Reply{404, "<html><body>404 Not Found</body></html>\r\n"};
    }
    Reply reply = it->second.front();
    if (it->second.size() > 1) it->second.erase(it->second.begin());
    return reply;
}

bool HttpServer::wait_released() {
    std::unique_lock<std::mutex> lock(mutex_);
    released_.wait(lock, [this] { return releasing_; });
    return server_->is_running();
}

void HttpServer::release_stalls() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        releasing_ = true;
    }
    released_.notify_all();
}

std::string HttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int HttpServer::requests(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const Seen& s : seen_) n += s.path == path;
    return n;
}

int HttpServer::requests_under(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const Seen& s : seen_) n += s.path.rfind(prefix, 0) == 0;
    return n;
}

int HttpServer::connections_under(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::set<int> ports;
    for (const Seen& s : seen_) {
        if (s.path.rfind(prefix, 0) == 0) ports.insert(s.port);
    }
    return static_cast<int>(ports.size());
}

}  // namespace testsupport
