// The launcher's own update: "_launcher.dll" from the update list waits in
// the game directory until "launch_helper.exe" installs it as
// "launcher.exe".
#pragma once

#include <string>

// The launcher's update as the list names it and the game directory keeps it.
inline constexpr const char* kLauncherFile = "_launcher.dll";

// True unless both files can be read and hold the same bytes.
bool isFileContentDifferent(const std::string& first, const std::string& second);

// The start-up check: an update waits when not in test-launcher mode,
// "_launcher.dll" exists and differs from "launcher.exe" (both in the
// current directory). The window then hands over instead of starting.
bool IsLauncherUpdatePending(bool testLauncher);
