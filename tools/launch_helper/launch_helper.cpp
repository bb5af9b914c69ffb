// launch_helper.exe: installs a launcher update. The launcher starts it from
// the game directory and ends; this waits for that launcher to be gone,
// puts "_launcher.dll" in place of "launcher.exe" in one step, and starts
// the new launcher.
#include <unistd.h>

#include <chrono>
#include <thread>

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

// The launcher that started us ends at once; give it a generous moment.
void wait_for_launcher(pid_t launcher) {
    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (launcher > 1 && ::getppid() == launcher && platform::process_alive(launcher) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
}

}  // namespace

int main() {
    wait_for_launcher(::getppid());

    if (!platform::copy_file(kUpdate, kLauncher) || !platform::make_executable(kLauncher)) {
        WriteLauncherLog("launch_helper: launcher.exe güncellenemedi: %s"_cp1254,
                         platform::error_text(platform::last_error()).c_str());
        // Start the old launcher all the same: the player is not left with
        // nothing, and the next start tries the update again.
    } else {
        WriteLauncherLog("launch_helper: _launcher.dll, launcher.exe olarak kuruldu."_cp1254);
    }

    if (!platform::spawn_process(kLauncher, {})) {
        WriteLauncherLog("launch_helper: launcher.exe başlatılamadı: %s"_cp1254,
                         platform::error_text(platform::last_error()).c_str());
        return 1;
    }
    WriteLauncherLog("launch_helper: launcher.exe yeniden başlatıldı."_cp1254);
    return 0;
}
