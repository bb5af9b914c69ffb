#include "e2e/e2e_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/process.h"
#include "support/files.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace e2e {

namespace {

int exit_status(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Polls waitpid for `pid` until it ends or `limit` has passed.
std::optional<int> reap(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return exit_status(status);
        if (r < 0) return -1;
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(10ms);
    }
}

bool connects(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

int hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Undoes the access log's "\xHH" escapes, then the URL's "%HH" escapes.
std::string decode_logged_path(const std::string& logged) {
    std::string raw;
    for (std::size_t i = 0; i < logged.size(); ++i) {
        if (logged.compare(i, 2, "\\x") == 0 && i + 3 < logged.size() && hex(logged[i + 2]) >= 0 &&
            hex(logged[i + 3]) >= 0) {
            raw += static_cast<char>(hex(logged[i + 2]) * 16 + hex(logged[i + 3]));
            i += 3;
        } else {
            raw += logged[i];
        }
    }
    std::string path;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '%' && i + 2 < raw.size() && hex(raw[i + 1]) >= 0 && hex(raw[i + 2]) >= 0) {
            path += static_cast<char>(hex(raw[i + 1]) * 16 + hex(raw[i + 2]));
            i += 2;
        } else {
            path += raw[i];
        }
    }
    for (char& c : path) c = c == '\\' ? '/' : c;
    return path;
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const fs::path& cwd, const Environment& env,
             const fs::path& output) {
    pid_ = ::fork();
    if (pid_ != 0) return;
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
    const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ::dup2(fd, 1);
    ::dup2(fd, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

Child::~Child() {
    if (pid_ <= 0 || status_) return;
    ::kill(pid_, SIGTERM);
    if (!reap(pid_, 3000ms)) {
        ::kill(pid_, SIGKILL);
        reap(pid_, 3000ms);
    }
}

std::optional<int> Child::wait_for(std::chrono::milliseconds limit) {
    if (!status_) status_ = reap(pid_, limit);
    return status_;
}

Result run(const std::vector<std::string>& argv, const fs::path& cwd, const Environment& env,
           std::chrono::milliseconds limit) {
    const fs::path output =
        fs::temp_directory_path() / ("valdora-e2e-" + std::to_string(::getpid()) + ".out");
    fs::remove(output);
    Result result;
    {
        Child child(argv, cwd, env, output);
        result.status = child.wait_for(limit).value_or(-1);
    }
    result.output = testsupport::read_bytes(output);
    fs::remove(output);
    return result;
}

void adopt_orphans() {
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
}

std::optional<int> wait_for_adopted(pid_t pid, std::chrono::milliseconds limit) {
    return reap(pid, limit);
}

int free_port() {
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

int port_of(const std::string& host) {
    const std::size_t authority = host.find("//") + 2;
    const std::size_t colon = host.find(':', authority);
    if (colon == std::string::npos) return host.rfind("https", 0) == 0 ? 443 : 80;
    return std::stoi(host.substr(colon + 1));
}

NginxSite::NginxSite(const fs::path& site, const fs::path& runDir, int port)
    : site_(site), runDir_(runDir), port_(port) {}

NginxSite::~NginxSite() = default;

bool NginxSite::start(std::string& error) {
    fs::create_directories(runDir_);
    nginx_.emplace(std::vector<std::string>{"bash", VALDORA_SERVE_SITE, site_.string(), "--listen",
                                            "127.0.0.1:" + std::to_string(port_), "--run-dir",
                                            runDir_.string(), "--foreground"},
                   runDir_, Environment{}, runDir_ / "nginx.out");
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (nginx_->wait_for(0ms)) break;
        if (connects(port_)) return true;
        std::this_thread::sleep_for(20ms);
    }
    error = testsupport::read_bytes(runDir_ / "nginx.out") +
            testsupport::read_bytes(runDir_ / "logs" / "error.log");
    return false;
}

std::string NginxSite::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> NginxSite::requests() const {
    std::vector<std::string> paths;
    std::istringstream log(testsupport::read_bytes(runDir_ / "logs" / "access.log"));
    for (std::string line; std::getline(log, line);) {
        // ... "GET /path HTTP/1.1" 200 ...
        const std::size_t open = line.find('"');
        const std::size_t start = line.find(' ', open);
        const std::size_t end = line.find(' ', start + 1);
        if (open == std::string::npos || start == std::string::npos || end == std::string::npos) {
            continue;
        }
        paths.push_back(decode_logged_path(line.substr(start + 1, end - start - 1)));
    }
    return paths;
}

std::vector<std::string> under(const std::vector<std::string>& paths, const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& p : paths) {
        if (p.rfind(prefix, 0) == 0) out.push_back(p);
    }
    return out;
}

VirtualDisplay::VirtualDisplay() {
    for (int number = 90; number < 190 && name_.empty(); ++number) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
        if (fs::exists(socket) || fs::exists(lock)) continue;
        const std::string display = ":" + std::to_string(number);
        server_.emplace(std::vector<std::string>{"Xvfb", display, "-screen", "0", "1024x768x24",
                                                 "-nolisten", "tcp", "-noreset"},
                        "/");
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline && !server_->wait_for(0ms)) {
            if (fs::exists(socket)) {
                name_ = display;
                break;
            }
            std::this_thread::sleep_for(20ms);
        }
        if (name_.empty()) server_.reset();
    }
}

VirtualDisplay::~VirtualDisplay() = default;

std::optional<std::string> find_window(const std::string& display, const std::string& pattern,
                                       std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        const Result r = run({"xdotool", "search", "--name", pattern}, "/", {{"DISPLAY", display}});
        if (r.status == 0 && !r.output.empty()) return r.output.substr(0, r.output.find('\n'));
        std::this_thread::sleep_for(100ms);
    }
    return std::nullopt;
}

void double_click(const std::string& display, const std::string& window, int x, int y) {
    run({"xdotool", "mousemove", "--window", window, std::to_string(x), std::to_string(y), "click",
         "--repeat", "2", "--delay", "60", "1"},
        "/", {{"DISPLAY", display}}, 5000ms);
}

void press_return(const std::string& display, const std::string& window) {
    run({"xdotool", "windowfocus", "--sync", window, "key", "Return"}, "/", {{"DISPLAY", display}},
        5000ms);
}

std::map<std::string, std::string> files_under(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) {
            files[e.path().lexically_relative(root).generic_string()] =
                testsupport::read_bytes(e.path());
        }
    }
    return files;
}

std::int64_t write_time(const fs::path& path) {
    const auto system = std::chrono::file_clock::to_sys(fs::last_write_time(path));
    return std::chrono::floor<std::chrono::seconds>(system).time_since_epoch().count();
}

void set_write_time(const fs::path& path, std::int64_t unixSeconds) {
    fs::last_write_time(path, std::chrono::file_clock::from_sys(
                                  std::chrono::sys_seconds(std::chrono::seconds(unixSeconds))));
}

void end_launchers_in(const fs::path& dir) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc", ec)) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = std::stoi(name);
        if (platform::process_executable_name(pid) != "launcher.exe") continue;
        const fs::path cwd = fs::read_symlink(e.path() / "cwd", ec);
        if (!ec && cwd.string().rfind(dir.string(), 0) == 0) ::kill(pid, SIGKILL);
    }
}

}  // namespace e2e
