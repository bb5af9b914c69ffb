// A game build published by valdora-publish and served by nginx through
// deploy/serve-site.sh, the configuration the project ships.
#pragma once

#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/process.h"

namespace testsupport {

// Publishes `build` as `site` at `baseUrl`, with the web pages and `extra`
// arguments: "" when it worked, else the publisher's output.
inline std::string publish(const std::filesystem::path& build, const std::filesystem::path& site,
                           const std::string& baseUrl, std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), {VALDORA_PUBLISH_EXE, build.string(), site.string(), "--base-url",
                                 baseUrl, "--pages", VALDORA_PAGE_TEMPLATES});
    const Result r = run(extra, build.parent_path());
    return r.status == 0 ? "" : r.output;
}

// nginx serving `site` on 127.0.0.1:`port`, every download at most `rate`
// bytes a second (nginx's limit_rate: "1m", "0").
class Nginx {
public:
    Nginx(std::filesystem::path site, std::filesystem::path runDir, int port,
          std::string rate = "0")
        : site_(std::move(site)), run_(std::move(runDir)), port_(port), rate_(std::move(rate)) {}

    // Starts it (again); true once it listens, else its complaint in `error`.
    bool start(std::string& error) {
        nginx_.reset();
        std::filesystem::create_directories(run_);
        const auto pid = run_ / "nginx.pid";  // written once nginx listens
        std::filesystem::remove(pid);
        std::vector<std::string> argv{"bash",   VALDORA_SERVE_SITE, site_.string(), "--listen",
                                      listen(), "--run-dir",        run_.string(),  "--rate",
                                      rate_,    "--foreground"};
        argv.insert(argv.end(), tls_.begin(), tls_.end());
        nginx_.emplace(argv, run_, Environment{}, run_ / "nginx.out");
        wait_until([&] { return nginx_->wait_for(0ms) || std::filesystem::exists(pid); }, 10s);
        if (!nginx_->wait_for(0ms) && std::filesystem::exists(pid)) return true;
        error = read_bytes(run_ / "nginx.out") + read_bytes(run_ / "logs" / "error.log");
        return false;
    }
    // Ends nginx (serve-site.sh has become its master process) the way
    // serve-site.sh does, and waits until it has ended.
    void stop() {
        if (!nginx_) return;
        run({"bash", VALDORA_SERVE_SITE, "--stop", run_.string()}, run_);
        nginx_->wait_for(10s);
        nginx_.reset();
    }
    // The user ids nginx's worker processes run as.
    std::vector<int> worker_users() const {
        std::vector<int> users;
        for (const auto& e : std::filesystem::directory_iterator("/proc")) {
            const std::string status = read_bytes(e.path() / "status");
            const std::size_t ppid = status.find("\nPPid:\t"), uid = status.find("\nUid:\t");
            if (nginx_ && ppid != std::string::npos && uid != std::string::npos &&
                std::stoi(status.substr(ppid + 7)) == nginx_->pid()) {
                users.push_back(std::stoi(status.substr(uid + 6)));
            }
        }
        return users;
    }
    std::string listen() const { return "127.0.0.1:" + std::to_string(port_); }
    // Over https by the name "localhost": Schannel matches a certificate
    // to a host name only, never to an IP address.
    std::string url(const std::string& path = "") const {
        return tls_.empty() ? "http://" + listen() + path
                            : "https://localhost:" + std::to_string(port_) + path;
    }
    // At most `rate` bytes a second from the next start on.
    void set_rate(std::string rate) { rate_ = std::move(rate); }
    // https with this certificate and key from the next start on.
    void use_tls(const std::string& certificate, const std::string& key) {
        tls_ = {"--tls", certificate, key};
    }
    // Every request's path so far, in order, as the bytes nginx looked up
    // (the log's \xHH and the URL's %HH undone), "\" as "/".
    std::vector<std::string> requests() const {
        std::vector<std::string> paths;
        std::istringstream log(read_bytes(run_ / "logs" / "access.log"));
        for (std::string line; std::getline(log, line);) {
            const std::size_t start = line.find(' ', line.find('"')) + 1;
            const std::string logged = line.substr(start, line.find(' ', start) - start);
            std::string path;
            for (std::size_t i = 0; i < logged.size(); ++i) {
                const std::size_t n = logged[i] == '%' ? 1 : logged.compare(i, 2, "\\x") ? 0 : 2;
                if (n != 0 && i + n + 2 <= logged.size()) {
                    path += static_cast<char>(std::stoi(logged.substr(i + n, 2), nullptr, 16));
                    i += n + 1;
                } else {
                    path += logged[i];
                }
            }
            for (char& c : path) c = c == '\\' ? '/' : c;
            paths.push_back(path);
        }
        return paths;
    }
    std::size_t count(const std::string& prefix) const {
        std::size_t n = 0;
        for (const std::string& p : requests()) n += p.rfind(prefix, 0) == 0;
        return n;
    }

private:
    std::filesystem::path site_, run_;
    int port_;
    std::string rate_;
    std::vector<std::string> tls_;
    std::optional<Child> nginx_;
};

}  // namespace testsupport
