// What the end-to-end tests run: real programs as child processes, nginx
// serving a published site, a virtual X display, xdotool as the player.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

using Environment = std::vector<std::pair<std::string, std::string>>;

// A program started in `cwd` with `env` added to ours; stdout and stderr go
// to `output` (or nowhere). Killed and reaped when destroyed.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
          const Environment& env = {}, const std::filesystem::path& output = "/dev/null");
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    // The exit status (128 + signal for a signal), or nothing while it runs.
    std::optional<int> wait_for(std::chrono::milliseconds limit);

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Runs a program to its end (at most `limit`); its exit status and output.
struct Result {
    int status = -1;
    std::string output;
};
Result run(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
           const Environment& env = {},
           std::chrono::milliseconds limit = std::chrono::milliseconds(60000));

// The exit status of a process that is not our child but was handed to us
// as the subreaper (see adopt_orphans), once it ends.
std::optional<int> wait_for_adopted(pid_t pid, std::chrono::milliseconds limit);
// Orphaned descendants (a launcher started by launch_helper) become our
// children, so their exit statuses can be read.
void adopt_orphans();

// A port on 127.0.0.1 that nothing listens on right now.
int free_port();
// The port of "scheme://host[:port]" (80 or 443 without one).
int port_of(const std::string& host);

// nginx serving `site` on 127.0.0.1:port through deploy/serve-site.sh.
class NginxSite {
public:
    NginxSite(const std::filesystem::path& site, const std::filesystem::path& runDir, int port);
    ~NginxSite();

    // True once nginx answers; false (with its error log in `error`) when it
    // ended first.
    bool start(std::string& error);
    std::string url(const std::string& path = "") const;
    // Paths of every request so far, in order, decoded to the bytes the
    // server looked up, with "\" turned into "/".
    std::vector<std::string> requests() const;

private:
    std::filesystem::path site_, runDir_;
    int port_;
    std::optional<Child> nginx_;
};

// Requests of paths below `prefix`, in order.
std::vector<std::string> under(const std::vector<std::string>& paths, const std::string& prefix);

// Xvfb on a free display number; DISPLAY for the programs of the test.
class VirtualDisplay {
public:
    VirtualDisplay();
    ~VirtualDisplay();
    bool ok() const { return !name_.empty(); }
    const std::string& name() const { return name_; }

private:
    std::optional<Child> server_;
    std::string name_;
};

// xdotool on `display`: the first window whose title matches `pattern`.
std::optional<std::string> find_window(const std::string& display, const std::string& pattern,
                                       std::chrono::milliseconds limit);
// A double click at (x, y) of the window.
void double_click(const std::string& display, const std::string& window, int x, int y);
// Focuses the window and presses Return.
void press_return(const std::string& display, const std::string& window);

// Every file below `root` and its bytes, by relative path.
std::map<std::string, std::string> files_under(const std::filesystem::path& root);
// Last-write time in whole seconds.
std::int64_t write_time(const std::filesystem::path& path);
void set_write_time(const std::filesystem::path& path, std::int64_t unixSeconds);

// Launcher processes ("launcher.exe") whose working directory lies below
// `dir`, ended; what a failed test leaves behind.
void end_launchers_in(const std::filesystem::path& dir);

}  // namespace e2e
