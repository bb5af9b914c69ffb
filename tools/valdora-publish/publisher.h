// valdora-publish: turns a game build folder into a patch site that any
// static HTTP server can serve: the update list under
// "Patcher/1000_1.0.0.1_Update.txt", the files under the base URL's folder,
// optionally the launcher's own file and the web pages.
//
// Everything is checked before anything is written (plan.h); the site is
// built in a staging folder inside SITE_DIR (staging.h) and moved into place
// at the end (commit.h), so a refused or failed publication leaves the site
// as it was.
#pragma once

#include <ostream>

#include "tools/valdora-publish/options.h"

namespace publish {

// The whole publication. Reports what it did on `report`, every reason for
// a refusal on `errors`.
Status Publish(const Options& options, std::ostream& report, std::ostream& errors);

}  // namespace publish
