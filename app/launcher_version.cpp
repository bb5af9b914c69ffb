// The stamp itself, in launcher.exe only (cmake/Packaging.cmake adds this
// file to the launcher and sets the version).
#include "app/launcher_version.h"

#if !defined(VALDORA_LAUNCHER_VERSION) || !defined(VALDORA_LAUNCHER_KEYS)
#error "VALDORA_LAUNCHER_VERSION and VALDORA_LAUNCHER_KEYS are set by cmake/Packaging.cmake"
#endif

extern "C" {
// Kept whole in the file, whether or not anything reads it.
extern const char valdora_launcher_version_stamp[];
[[gnu::used]] const char valdora_launcher_version_stamp[] =
    "VALDORA_LAUNCHER_VERSION=" VALDORA_LAUNCHER_VERSION;
// The public key lines it trusts, separated by blanks; none: any unsigned site.
extern const char valdora_launcher_keys_stamp[];
[[gnu::used]] const char valdora_launcher_keys_stamp[] =
    "VALDORA_TRUSTED_KEYS=" VALDORA_LAUNCHER_KEYS;
}

static_assert(sizeof(valdora::kLauncherVersionTag) == sizeof("VALDORA_LAUNCHER_VERSION="));
static_assert(sizeof(valdora::kTrustedKeysTag) == sizeof("VALDORA_TRUSTED_KEYS="));
