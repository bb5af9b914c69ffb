// Start-up's first act: an older launcher still running is ended, so the
// new one (perhaps just updated) takes over.
#pragma once

// Ends the first other process whose executable file name is exactly
// "launcher.exe" (case-sensitive), that runs as this user in this game
// directory and that was started before this one, and waits a moment for it
// to be gone, so its running-launcher marker is free. Never this process,
// nor one started together with it, nor a launcher of another game
// directory or user (the marker decides between those). Every failure is silent: start-up goes on
// whatever happens.
void EndOlderLauncher();

inline constexpr const char* kLauncherExeName = "launcher.exe";
