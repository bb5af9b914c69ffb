// launch_helper.exe: installs a launcher update. The launcher starts it from
// the game directory and ends; this waits for that launcher to be gone,
// puts "_launcher.dll" in place of "launcher.exe" in one step, and starts
// the new launcher. When the update cannot be put in place, the old launcher
// is started once with "-test_launcher", so that it patches the game and
// shows its window instead of handing over again, for ever.
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "log/launcher_log.h"
#include "platform/cp1254_literal.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "platform/process.h"
#include "platform/system_info.h"

using namespace platform::literals;

namespace {

constexpr const char* kUpdate = "_launcher.dll";
constexpr const char* kLauncher = "launcher.exe";

// The launcher that started us ends at once; give it a generous moment. Only
// that launcher is waited for: a helper started by anything else, or one
// whose launcher is gone already (we then belong to another parent), goes on.
void wait_for_launcher() {
    const pid_t parent = ::getppid();
    if (parent <= 1) return;
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, parent, 0));
    if (fd < 0) return;
    // Asked after the pidfd is held, so the id cannot have been reused.
    if (::getppid() == parent && platform::process_executable_name(parent) == kLauncher) {
        pollfd ended{fd, POLLIN, 0};
        while (::poll(&ended, 1, 30000) < 0 && errno == EINTR) {
        }
    }
    ::close(fd);
}

// What the helper did goes to the log of the launcher it starts, which
// deletes the log when its window starts.
#define REPORT(...)                       \
    do {                                  \
        WriteLauncherLog(__VA_ARGS__);    \
        KeepLauncherLogLine(__VA_ARGS__); \
    } while (false)

}  // namespace

int main() {
    wait_for_launcher();

    std::vector<std::string> arguments;
    if (!platform::copy_file(kUpdate, kLauncher) || !platform::make_executable(kLauncher)) {
        REPORT("launch_helper: launcher.exe güncellenemedi: %s"_cp1254,
               platform::error_text(platform::last_error()).c_str());
        arguments.push_back("-test_launcher");
    } else {
        REPORT("launch_helper: _launcher.dll, launcher.exe olarak kuruldu."_cp1254);
    }

    if (!platform::spawn_process(kLauncher, arguments)) {
        REPORT("launch_helper: launcher.exe başlatılamadı: %s"_cp1254,
               platform::error_text(platform::last_error()).c_str());
        return 1;
    }
    return 0;
}
