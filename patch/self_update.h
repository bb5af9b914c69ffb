// The launcher's own update: "_launcher.dll" from the update list waits in
// the game directory until "launch_helper.exe" installs it as
// "launcher.exe".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "trust/keys.h"

// The launcher's update as the list names it and the game directory keeps it.
inline constexpr const char* kLauncherFile = "_launcher.dll";

// True unless both files can be read and hold the same bytes.
bool isFileContentDifferent(const std::string& first, const std::string& second);

// The launcher updates itself only where no one but the player can put a
// "_launcher.dll": "" when the current directory (the game directory) and
// its "base" (the kept release) are the player's alone, else the one that
// others may write ("." or "base").
std::string FolderOthersMayWrite();
// The same for the window's start-up, which logs why not.
bool SelfUpdateAllowedHere();

// The start-up check: an update waits when not in test-launcher mode,
// "_launcher.dll" exists and differs from "launcher.exe" (both in the
// current directory). The window then hands over instead of starting.
bool IsLauncherUpdatePending(bool testLauncher);

// launch_helper.exe's work: "_launcher.dll" put in place of "launcher.exe"
// in one step, runnable. With `signedOnly`, only the bytes of the kept
// release's "_launcher.dll" line (checked with `keys` at `nowUnix`): they
// are hashed as they are copied, so what was checked is what is installed,
// whatever happens to "_launcher.dll" meanwhile.
enum class UpdateInstall { Installed, NotSigned, Failed };
UpdateInstall InstallLauncherUpdate(bool signedOnly, const std::vector<trust::PublicKey>& keys,
                                    std::int64_t nowUnix, std::string& why);
