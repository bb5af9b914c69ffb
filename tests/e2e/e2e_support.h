// What the end-to-end tests run: real programs as child processes, nginx
// serving a published site, xdotool as the player on the test's X display.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"

namespace e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Environment = std::vector<std::pair<std::string, std::string>>;

// The exit status of child `pid` (128 + signal), or nothing after `limit`.
inline std::optional<int> reap(pid_t pid, std::chrono::milliseconds limit) {
    for (const auto end = std::chrono::steady_clock::now() + limit;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0) return -1;
        if (std::chrono::steady_clock::now() >= end) return std::nullopt;
        std::this_thread::sleep_for(10ms);
    }
}

// A port on 127.0.0.1 that nobody listens on just now.
inline int free_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

// A program started in `cwd` with `env` added, its output appended to
// `output`. Ended and reaped when destroyed.
class Child {
public:
    Child(const std::vector<std::string>& argv, const fs::path& cwd, const Environment& env = {},
          const fs::path& output = "/dev/null") {
        pid_ = ::fork();
        if (pid_ != 0) return;
        for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
        const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        if (::chdir(cwd.c_str()) == 0) ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ~Child() {
        if (status_) return;
        ::kill(pid_, SIGTERM);
        if (!reap(pid_, 3s)) {
            ::kill(pid_, SIGKILL);
            reap(pid_, 3s);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    std::optional<int> wait_for(std::chrono::milliseconds limit) {
        if (!status_) status_ = reap(pid_, limit);
        return status_;
    }

private:
    pid_t pid_;
    std::optional<int> status_;
};

struct Result {
    int status;
    std::string output;
};

// Runs a program to its end (at most `limit`).
inline Result run(const std::vector<std::string>& argv, const fs::path& cwd,
                  const Environment& env = {}, std::chrono::milliseconds limit = 60s) {
    const fs::path out = fs::temp_directory_path() / ("e2e-" + std::to_string(::getpid()));
    fs::remove(out);
    Result result{Child(argv, cwd, env, out).wait_for(limit).value_or(-1), ""};
    result.output = testsupport::read_bytes(out);
    fs::remove(out);
    return result;
}

// nginx serving `site` on 127.0.0.1:port with the shipped configuration.
class NginxSite {
public:
    NginxSite(fs::path site, fs::path runDir, int port)
        : site_(std::move(site)), run_(std::move(runDir)), port_(port) {}

    // True once nginx answers; otherwise its complaint in `error`.
    bool start(std::string& error) {
        fs::create_directories(run_);
        nginx_.emplace(std::vector<std::string>{"bash", VALDORA_SERVE_SITE, site_, "--listen",
                                                "127.0.0.1:" + std::to_string(port_), "--run-dir",
                                                run_, "--foreground"},
                       run_, Environment{}, run_ / "nginx.out");
        // nginx writes its pid file once it listens.
        for (int i = 0; i < 500 && !nginx_->wait_for(0ms); ++i) {
            if (fs::exists(run_ / "nginx.pid")) return true;
            std::this_thread::sleep_for(20ms);
        }
        error = testsupport::read_bytes(run_ / "nginx.out");
        return false;
    }
    std::string url(const std::string& path = "") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    // Every request's path so far, in order, as the bytes nginx looked up
    // (the log's \xHH and the URL's %HH undone), "\" as "/".
    std::vector<std::string> requests() const {
        std::vector<std::string> paths;
        std::istringstream log(testsupport::read_bytes(run_ / "logs" / "access.log"));
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
    fs::path site_, run_;
    int port_;
    std::optional<Child> nginx_;
};

inline Result xdotool(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, "/", {}, 5s);
}

// The first window whose title matches `pattern`.
inline std::optional<std::string> find_window(const std::string& pattern) {
    for (int i = 0; i < 600; ++i) {
        const Result r = xdotool({"search", "--name", pattern});
        if (r.status == 0 && !r.output.empty()) return r.output.substr(0, r.output.find('\n'));
        std::this_thread::sleep_for(100ms);
    }
    return std::nullopt;
}

}  // namespace e2e
