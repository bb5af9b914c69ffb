// The stamp itself, in launcher.exe only (cmake/Packaging.cmake adds this
// file to the launcher and sets the version).
#include "app/launcher_version.h"

#ifndef VALDORA_LAUNCHER_VERSION
#error "VALDORA_LAUNCHER_VERSION is set by cmake/Packaging.cmake"
#endif

extern "C" {
// Kept whole in the file, whether or not anything reads it.
extern const char valdora_launcher_version_stamp[];
[[gnu::used]] const char valdora_launcher_version_stamp[] =
    "VALDORA_LAUNCHER_VERSION=" VALDORA_LAUNCHER_VERSION;
}

static_assert(sizeof(valdora::kLauncherVersionTag) == sizeof("VALDORA_LAUNCHER_VERSION="));
