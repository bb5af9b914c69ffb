// The launcher's version, stamped into launcher.exe as plain text so that the
// player's starter (/usr/bin/valdora) reads it without running the program.
// The starter puts the packaged launcher in the game directory only over an
// older one there: the copy may be a newer launcher that the self-update
// installed from the patch site, and that one carries its own stamp.
#pragma once

namespace valdora {

// The stamp is this text followed by the version, digits and dots, and a NUL.
inline constexpr char kLauncherVersionTag[] = "VALDORA_LAUNCHER_VERSION=";
// The keys it trusts are stamped the same way, for valdora-publish, which
// refuses to sign as an update a launcher that would refuse the site.
inline constexpr char kTrustedKeysTag[] = "VALDORA_TRUSTED_KEYS=";

}  // namespace valdora
