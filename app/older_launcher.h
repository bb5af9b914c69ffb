// Start-up's first act: an older launcher still running is ended, so the
// new one (perhaps just updated) takes over.
#pragma once

// Ends the first other process whose executable file name is exactly
// "launcher.exe" (case-sensitive). Never this process. Every failure is
// silent: start-up goes on whatever happens.
void EndOlderLauncher();

inline constexpr const char* kLauncherExeName = "launcher.exe";
