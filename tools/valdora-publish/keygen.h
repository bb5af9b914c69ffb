// valdora-publish keygen DIR: a new signing key pair for patch sites.
#pragma once

#include <filesystem>
#include <ostream>

#include "tools/valdora-publish/options.h"

namespace publish {

// Writes DIR/valdora.key (the secret key, unencrypted as `minisign -G -W`
// writes it, readable by its owner only) and DIR/valdora.pub, making DIR
// when it is missing. Refuses (kRefused) when either file is there already:
// a lost secret key cannot be made again.
Status Keygen(const std::filesystem::path& dir, std::ostream& report, std::ostream& errors);

}  // namespace publish
