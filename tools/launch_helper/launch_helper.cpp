// launch_helper.exe: installs a launcher update. The launcher starts it from
// the game directory and ends; this waits for that launcher to be gone,
// puts "_launcher.dll" in place of "launcher.exe" in one step, and starts
// the new launcher. Built with trusted keys, it installs only a
// "_launcher.dll" that the release kept in base/ vouches for, checked right
// before the copy; one that is not is removed, so that the next run fetches
// it again.
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "log/launcher_log.h"
#include "patch/signed_release.h"
#include "platform/cp1254_literal.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "platform/process.h"
#include "platform/system_info.h"
#include "trusted_keys/trusted_keys.h"

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

// True unless trusted keys are built in and the update is not the signed one.
bool update_is_signed() {
    if (valdora::kTrustedKeys.empty()) return true;
    const std::vector<std::string> lines(valdora::kTrustedKeys.begin(),
                                         valdora::kTrustedKeys.end());
    std::string why;
    if (CheckKeptLauncher(ReadTrustedKeys(lines), std::time(nullptr), why)) return true;
    WriteLauncherLog("launch_helper: _launcher.dll kurulmadı: %s"_cp1254, why.c_str());
    platform::delete_file(kUpdate);
    return false;
}

}  // namespace

int main() {
    wait_for_launcher(::getppid());

    if (!update_is_signed()) {
        // The old launcher goes on; its next run fetches the update again.
    } else if (!platform::copy_file(kUpdate, kLauncher) || !platform::make_executable(kLauncher)) {
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
