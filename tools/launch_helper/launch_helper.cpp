// launch_helper.exe: installs a launcher update. The launcher starts it from
// the game directory and ends; this waits for that launcher to be gone,
// puts "_launcher.dll" in place of "launcher.exe" in one step, and starts
// the new launcher. When the update cannot be put in place, the old launcher
// is started once with "-test_launcher", so that it patches the game and
// shows its window instead of handing over again, for ever. Built with
// trusted keys, it installs only a "_launcher.dll" that the release kept in
// base/ vouches for, checked right before the copy; one that is not is
// removed, so that a later run fetches it again, and counts as an update
// that could not be put in place.
#include <chrono>
#include <ctime>
#include <string>
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

// What the helper did goes to the log of the launcher it starts, which
// deletes the log when its window starts. The arguments are evaluated twice,
// and writing the log changes the last error: pass values, not calls.
#define REPORT(...)                       \
    do {                                  \
        WriteLauncherLog(__VA_ARGS__);    \
        KeepLauncherLogLine(__VA_ARGS__); \
    } while (false)

// True unless trusted keys are built in and the update is not the signed one.
bool update_is_signed() {
    if (valdora::kTrustedKeys.empty()) return true;
    const std::vector<std::string> lines(valdora::kTrustedKeys.begin(),
                                         valdora::kTrustedKeys.end());
    std::string why;
    if (CheckKeptLauncher(ReadTrustedKeys(lines), std::time(nullptr), why)) return true;
    REPORT("launch_helper: _launcher.dll kurulmadı: %s"_cp1254, why.c_str());
    platform::delete_file(kUpdate);
    return false;
}

}  // namespace

int main() {
    // The launcher that started us ends at once; give it a generous moment.
    platform::wait_for_parent(kLauncher, std::chrono::seconds(30));

    std::vector<std::string> arguments;
    if (!update_is_signed()) {
        arguments.push_back("-test_launcher");
    } else if (!platform::copy_file(kUpdate, kLauncher) || !platform::make_executable(kLauncher)) {
        const std::string why = platform::error_text(platform::last_error());
        REPORT("launch_helper: launcher.exe güncellenemedi: %s"_cp1254, why.c_str());
        arguments.push_back("-test_launcher");
    } else {
        REPORT("launch_helper: _launcher.dll, launcher.exe olarak kuruldu."_cp1254);
    }

    if (!platform::spawn_process(kLauncher, arguments)) {
        const std::string why = platform::error_text(platform::last_error());
        REPORT("launch_helper: launcher.exe başlatılamadı: %s"_cp1254, why.c_str());
        return 1;
    }
    return 0;
}
