// launcher.exe's window on Windows, as start-up runs it. No system header:
// start-up's own code sees none of the window's.
#pragma once

#include "patch/patch_options.h"

// Readies the window's thread for the window (the common controls, the
// single-threaded apartment the WebBrowser control needs), then runs the
// Win32 window with `start` until its close button.
void RunLauncherWindow(PatchOptions start);
