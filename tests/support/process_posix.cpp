#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/process.h"

namespace testsupport {
std::vector<std::string> measuring_peak_memory(const std::vector<std::string>& argv,
                                               const std::filesystem::path& peak) {
    std::vector<std::string> command = {"/usr/bin/time", "-q", "-f", "%M", "-o", peak};
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

std::optional<int> reap(pid_t pid, std::chrono::milliseconds limit, long* peakKiB) {
    std::optional<int> result;
    wait_until(
        [&] {
            int status = 0;
            rusage usage{};
            const pid_t r = ::wait4(pid, &status, WNOHANG, &usage);
            if (r == pid && peakKiB != nullptr) *peakKiB = usage.ru_maxrss;
            if (r == pid) result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            if (r < 0) result = -1;
            return result.has_value();
        },
        limit);
    return result;
}

int web_engine_orphans() {
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

void run_in_child(const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    reap(pid, 60s);
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

Child::Child(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
             const Environment& env, const std::filesystem::path& output) {
    pid_ = ::fork();
    if (pid_ != 0) return;
    for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
    const int fd =
        ::open(output.empty() ? "/dev/null" : output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ::dup2(fd, 1);
    ::dup2(fd, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (::chdir(cwd.c_str()) == 0) ::execvp(args[0], args.data());
    ::_exit(127);
}

Child::~Child() {
    if (status_) return;
    ::kill(pid_, SIGTERM);
    if (!reap(pid_, 3s)) {
        ::kill(pid_, SIGKILL);
        reap(pid_, 3s);
    }
}

std::optional<int> Child::wait_for(std::chrono::milliseconds limit) {
    if (!status_) status_ = reap(pid_, limit, &peak_);
    return status_;
}

void Child::kill() {
    ::kill(pid_, SIGKILL);
}

}  // namespace testsupport
