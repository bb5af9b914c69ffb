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
#include "patch/self_update.h"
#include "patch/signed_release.h"
#include "platform/cp1254_literal.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "platform/process.h"
#include "platform/system_info.h"
#include "trusted_keys/trusted_keys.h"

using namespace platform::literals;

namespace {

constexpr const char* kLauncher = "launcher.exe";

// Why an update was not installed goes to the log, and is kept for the
// launcher it starts, whose window deletes the log (an update that was
// installed needs no word there). `detail` is made before either write,
// which changes the last error.
void report(const char* format, const std::string& detail = "") {
    WriteLauncherLog(format, detail.c_str());
    KeepLauncherLogLine(format, detail.c_str());
}

}  // namespace

int main() {
    // The launcher that started us ends at once; give it a generous moment.
    platform::wait_for_parent(kLauncher, std::chrono::seconds(30));

    std::vector<std::string> arguments;
    std::string why;
    const std::vector<std::string> keys(valdora::kTrustedKeys.begin(), valdora::kTrustedKeys.end());
    if (const std::string folder = FolderOthersMayWrite(); !folder.empty()) {
        // Another user may have put the update there: never run it.
        report(
            "launch_helper: _launcher.dll kurulmadı: başka kullanıcılar da yazabiliyor: %s"_cp1254,
            folder);
        arguments.push_back("-test_launcher");
    } else {
        switch (
            InstallLauncherUpdate(!keys.empty(), ReadTrustedKeys(keys), std::time(nullptr), why)) {
            case UpdateInstall::Installed:
                WriteLauncherLog(
                    "launch_helper: _launcher.dll, launcher.exe olarak kuruldu."_cp1254);
                break;
            case UpdateInstall::NotSigned:
                // Gone, so that a later run fetches it again.
                report("launch_helper: _launcher.dll kurulmadı: %s"_cp1254, why);
                platform::delete_file(kLauncherFile);
                arguments.push_back("-test_launcher");
                break;
            case UpdateInstall::Failed:
                report("launch_helper: launcher.exe güncellenemedi: %s"_cp1254, why);
                arguments.push_back("-test_launcher");
                break;
        }
    }

    if (!platform::spawn_process(kLauncher, arguments)) {
        report("launch_helper: launcher.exe başlatılamadı: %s"_cp1254,
               platform::error_text(platform::last_error()));
        return 1;
    }
    return 0;
}
