// Web servers and caches as Debian ships them, started by a test on a free
// port of 127.0.0.1 with nothing configured but a document root (or, for a
// cache, the server behind it), and stopped with the test.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/process.h"

namespace testsupport {

// True once something accepts connections on 127.0.0.1:`port`.
inline bool listening(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// One raw HTTP/1.0 request, bytes as they are (no client would send some of
// them): the reply's status line and body.
inline std::string raw_get(int port, const std::string& target) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        if (::write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
            char buffer[4096];
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) reply.append(buffer, n);
        }
    }
    ::close(fd);
    const std::size_t body = reply.find("\r\n\r\n");
    return reply.substr(0, reply.find("\r\n")) + "\n" +
           (body == std::string::npos ? "" : reply.substr(body + 4));
}

// A stock server's process on a port of its own, kept over restarts.
class StockServer {
public:
    StockServer(std::string name, std::filesystem::path dir)
        : name_(std::move(name)), dir_(std::move(dir)), port_(free_port()) {
        std::filesystem::create_directories(dir_);
    }
    const std::string& name() const { return name_; }
    int port() const { return port_; }
    std::string url(const std::string& path = "") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::filesystem::path config_file() const { return dir_ / "server.conf"; }
    std::string output() const { return read_bytes(dir_ / "server.out"); }

    // Runs `argv` in the foreground, after writing `config` to config_file()
    // when there is one: true once it accepts connections.
    bool start(const std::vector<std::string>& argv, const std::string& config = "") {
        stop();
        if (!config.empty()) write_bytes(config_file(), config);
        process_.emplace(argv, dir_, Environment{}, dir_ / "server.out");
        return wait_until([&] { return process_->wait_for(0ms) || listening(port_); }, 20s) &&
               !process_->wait_for(0ms);
    }
    void stop() { process_.reset(); }

private:
    std::string name_;
    std::filesystem::path dir_;
    int port_ = 0;
    std::optional<Child> process_;
};

// python's http.server serving `root`.
inline bool start_python(StockServer& server, const std::filesystem::path& root) {
    return server.start({"python3", "-m", "http.server", std::to_string(server.port()), "--bind",
                         "127.0.0.1", "--directory", root.string()});
}

// lighttpd with a document root and an address, nothing else.
inline bool start_lighttpd(StockServer& server, const std::filesystem::path& root) {
    const std::string config =
        "server.document-root = \"" + root.string() +
        "\"\nserver.bind = \"127.0.0.1\"\nserver.port = " + std::to_string(server.port()) + "\n";
    return server.start({"lighttpd", "-D", "-f", server.config_file().string()}, config);
}

// varnish with its default configuration in front of `backend` (host:port).
inline bool start_varnish(StockServer& server, const std::string& backend,
                          const std::filesystem::path& work) {
    return server.start({"varnishd", "-F", "-a", "127.0.0.1:" + std::to_string(server.port()), "-b",
                         backend, "-n", work.string()});
}

}  // namespace testsupport
