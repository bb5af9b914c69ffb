// Child processes for tests, and waiting for what they do.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"

namespace testsupport {

using namespace std::chrono_literals;
using Environment = std::vector<std::pair<std::string, std::string>>;

// The exit status of a child ended by Child::kill() (128 + SIGKILL).
inline constexpr int kKilled = 137;

// Checks `condition` every 10 ms until it holds (true) or `limit` passed.
inline bool wait_until(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = 20s) {
    for (const auto end = std::chrono::steady_clock::now() + limit;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(10ms);
    }
}

// A port on 127.0.0.1 that nobody listens on just now.
int free_port();

// A program started in `cwd` with `env` added, its output appended to
// `output` (nothing: thrown away). Ended when destroyed.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
          const Environment& env = {}, const std::filesystem::path& output = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    // Its exit status (128 + signal for one a signal ended), or nothing
    // while it runs after `limit`.
    std::optional<int> wait_for(std::chrono::milliseconds limit);
    // Once it has ended (POSIX): the most memory it held, in KiB; at least
    // what this process held when it was started, so keep that small.
    long peak_kib() const { return peak_; }
    // Ends it at once, as SIGKILL does (status kKilled).
    void kill();

private:
    pid_t pid_ = -1;
    std::intptr_t handle_ = 0;  // the process's handle where the system has one
    std::optional<int> status_;
    long peak_ = 0;
};

struct Result {
    int status;
    std::string output;
};

// Runs a program to its end (at most `limit`): its exit status and output.
inline Result run(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
                  const Environment& env = {}, std::chrono::milliseconds limit = 60s) {
    const auto out = std::filesystem::temp_directory_path() /
                     ("valdora-test-output-" + std::to_string(std::random_device{}()));
    Result result{Child(argv, cwd, env, out).wait_for(limit).value_or(-1), ""};
    // As lines: a Windows program ends them CR LF.
    for (const char c : read_bytes(out)) {
        if (c == '\n' && !result.output.empty() && result.output.back() == '\r') {
            result.output.back() = '\n';
        } else {
            result.output += c;
        }
    }
    std::filesystem::remove(out);
    return result;
}

// A small file system of `size` ("1m") on `dir`, to be filled (tmpfs in the
// test's own mount namespace); false where the test may not mount (no
// right to; Windows). resize_small_disk() works on the current directory.
bool mount_small_disk(const std::filesystem::path& dir, const char* size);
bool resize_small_disk(const char* size);
void unmount_small_disk(const std::filesystem::path& dir);

// `argv` run so that GNU time writes the most memory it held (KiB) to `peak`;
// `argv` alone where there is no GNU time.
std::vector<std::string> measuring_peak_memory(const std::vector<std::string>& argv,
                                               const std::filesystem::path& peak);

// POSIX only: the exit status of child `pid` (128 + signal), or nothing
// after `limit`; the most memory it held (KiB) in `peakKiB`.
std::optional<int> reap(pid_t pid, std::chrono::milliseconds limit, long* peakKiB = nullptr);
// The web engine's processes whose parent is this process: those of a
// launcher that has ended, when the test is the subreaper of its children.
int web_engine_orphans();
// Runs `body` in a forked child, a process of its own, to its end.
void run_in_child(const std::function<void()>& body);

}  // namespace testsupport
