// Child processes for tests, and waiting for what they do.
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
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"

namespace testsupport {

using namespace std::chrono_literals;
using Environment = std::vector<std::pair<std::string, std::string>>;

// Checks `condition` every 10 ms until it holds (true) or `limit` has passed.
inline bool wait_until(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = 20s) {
    for (const auto end = std::chrono::steady_clock::now() + limit;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(10ms);
    }
}

// The exit status of child `pid` (128 + signal), or nothing after `limit`.
inline std::optional<int> reap(pid_t pid, std::chrono::milliseconds limit) {
    std::optional<int> result;
    wait_until(
        [&] {
            int status = 0;
            const pid_t r = ::waitpid(pid, &status, WNOHANG);
            if (r == pid) result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            if (r < 0) result = -1;
            return result.has_value();
        },
        limit);
    return result;
}

// The web engine's processes whose parent is this process: those of a
// launcher that has ended, when the test is the subreaper of its children.
inline int web_engine_orphans() {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        const std::string text = read_bytes(e.path() / "stat");
        const std::size_t end = text.rfind(") ");
        if (end == std::string::npos || text[end + 2] == 'Z') continue;  // a zombie has ended
        if (std::stoi(text.substr(end + 4)) == ::getpid() &&
            text.find("(QtWebEngineProc") != std::string::npos) {
            ++n;
        }
    }
    return n;
}

// Runs `body` in a forked child, a process of its own, to its end.
inline void run_in_child(const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    reap(pid, 60s);
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
    Child(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
          const Environment& env = {}, const std::filesystem::path& output = "/dev/null") {
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

// Runs a program to its end (at most `limit`): its exit status and output.
inline Result run(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
                  const Environment& env = {}, std::chrono::milliseconds limit = 60s) {
    const auto out = std::filesystem::temp_directory_path() /
                     ("valdora-test-output-" + std::to_string(::getpid()));
    std::filesystem::remove(out);
    Result result{Child(argv, cwd, env, out).wait_for(limit).value_or(-1), ""};
    result.output = read_bytes(out);
    std::filesystem::remove(out);
    return result;
}

}  // namespace testsupport
