#include "platform/process.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/last_error.h"

extern char** environ;

namespace platform {
namespace {

// The text of /proc/PID/NAME (its first KiB), empty when it cannot be read.
std::string proc_text(pid_t pid, const char* name) {
    const std::string path = "/proc/" + std::to_string(pid) + "/" + name;
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "re"), std::fclose);
    if (!f) return "";
    char buffer[1024];
    return std::string(buffer, std::fread(buffer, 1, sizeof buffer, f.get()));
}

}  // namespace

std::optional<std::string> process_executable_name(pid_t pid) {
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    std::string target(4096, '\0');
    const ssize_t n = ::readlink(link.c_str(), target.data(), target.size());
    if (n <= 0) return std::nullopt;
    target.resize(static_cast<std::size_t>(n));
    // A running program whose file was replaced (a launcher update) still
    // runs under its old name.
    constexpr std::string_view kDeleted = " (deleted)";
    if (target.size() > kDeleted.size() && target.ends_with(kDeleted)) {
        target.resize(target.size() - kDeleted.size());
    }
    const auto slash = target.rfind('/');
    return slash == std::string::npos ? target : target.substr(slash + 1);
}

std::optional<std::string> process_name(pid_t pid) {
    if (auto name = process_executable_name(pid)) return name;
    std::string name = proc_text(pid, "comm");
    if (name.size() < 2) return std::nullopt;
    name.pop_back();  // the line feed
    return name;
}

namespace {

// When the process started, in clock ticks since boot (field 22 of its
// stat), or nothing when it cannot be read.
std::optional<unsigned long long> start_ticks(pid_t pid) {
    const std::string stat = proc_text(pid, "stat");
    // The command name may hold blanks and parentheses: count from its end.
    const char* field = std::strrchr(stat.c_str(), ')');
    for (int i = 2; field != nullptr && i < 22; ++i) field = std::strchr(field + 1, ' ');
    unsigned long long ticks = 0;
    if (field == nullptr || std::sscanf(field + 1, "%llu", &ticks) != 1) return std::nullopt;
    return ticks;
}

// Whether the process runs as our user in our current directory (the same
// folder, whatever path it was reached by).
bool ours_here(pid_t pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    struct stat owner, cwd, here;
    return ::stat(proc.c_str(), &owner) == 0 && owner.st_uid == ::geteuid() &&
           ::stat((proc + "/cwd").c_str(), &cwd) == 0 && ::stat(".", &here) == 0 &&
           cwd.st_dev == here.st_dev && cwd.st_ino == here.st_ino;
}

}  // namespace

std::optional<pid_t> find_other_process(std::string_view exeName, bool startedBeforeUs,
                                        bool oursHere) {
    std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
    if (!proc) return std::nullopt;
    const pid_t self = ::getpid();
    const auto ourStart = start_ticks(self);
    if (startedBeforeUs && !ourStart) return std::nullopt;
    std::optional<pid_t> first;
    while (const dirent* entry = ::readdir(proc.get())) {
        char* end = nullptr;
        const long id = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || id <= 0) continue;
        const auto pid = static_cast<pid_t>(id);
        if (pid == self || (first && pid > *first)) continue;
        const auto name = process_executable_name(pid);
        if (!name || *name != exeName || (oursHere && !ours_here(pid))) continue;
        if (startedBeforeUs) {
            const auto started = start_ticks(pid);
            if (!started || *started >= *ourStart) continue;
        }
        first = pid;
    }
    return first;
}

void wait_for_parent(std::string_view exeName, std::chrono::milliseconds limit) {
    const pid_t parent = ::getppid();
    if (parent <= 1) return;
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, parent, 0));
    if (fd < 0) return;
    // Asked once the pidfd is held, so the id cannot have been reused.
    if (::getppid() == parent && process_name(parent) == exeName) {
        pollfd ended{fd, POLLIN, 0};
        while (::poll(&ended, 1, static_cast<int>(limit.count())) < 0 && errno == EINTR) {
        }
    }
    ::close(fd);
}

bool terminate_process(pid_t pid, std::chrono::milliseconds limit) {
    // Through a pidfd, so the id cannot be reused between the signal and the
    // wait; its end shows as the descriptor turning readable.
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) {
        if (::kill(pid, SIGKILL) != 0) return fail_with_errno();
        return true;
    }
    if (::syscall(SYS_pidfd_send_signal, fd, SIGKILL, nullptr, 0) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return fail_with_errno();
    }
    pollfd ended{fd, POLLIN, 0};
    while (::poll(&ended, 1, static_cast<int>(limit.count())) < 0 && errno == EINTR) {
    }
    ::close(fd);
    return true;
}

bool process_alive(pid_t pid) {
    if (::kill(pid, 0) != 0 && errno == ESRCH) return false;
    // A zombie still answers kill(); it has ended all the same.
    const std::string stat = proc_text(pid, "stat");
    if (stat.empty()) return false;
    const std::size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] != 'Z';
}

std::optional<pid_t> spawn_process(const std::string& program,
                                   const std::vector<std::string>& args) {
    const std::string path = program.find('/') == std::string::npos ? "./" + program : program;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    ::posix_spawnattr_init(&attr);
    ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    sigset_t none;
    sigemptyset(&none);
    ::posix_spawnattr_setsigmask(&attr, &none);
    // The program gets none of the launcher's files and sockets, as a
    // Windows program started without inherited handles: a game that held
    // the web panes' sockets open would keep their processes alive after
    // the launcher has ended.
    posix_spawn_file_actions_t files;
    ::posix_spawn_file_actions_init(&files);
    ::posix_spawn_file_actions_addclosefrom_np(&files, 3);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, path.c_str(), &files, &attr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&files);
    ::posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        set_last_error(rc);
        return std::nullopt;
    }
    return pid;
}

void exit_process(int code) {
    std::_Exit(code);
}

}  // namespace platform
