// Runs a download plan on the worker thread: the due files in list order,
// as many requests in flight at once as the run allows (a delta's ranges
// and small files alike), each file in a scratch file of its own and put in
// place as soon as all of it is there and hashed. What the player and the
// log see stays in list order: "%s download ediliyor..." as each file
// starts, the file shown being the first in list order of those in flight;
// the speed and remaining time are over everything in flight. A failed
// transfer starts no further file (those in flight finish); a stop, or a
// fallback past the size limit, ends every transfer at once. It never goes
// round without a transfer in flight or a delta to copy: a file that would
// wait for nothing fails. The scratch files left from earlier runs are
// gone on with where they fit, and at the end those that no later run can
// use are removed.
#pragma once

#include "patch/download_plan.h"
#include "patch/file_download.h"

namespace talvo::utility {
class multi_curl;
}

struct DownloadOutcome {
    // No scratch file could be made: the box was shown, the run ends.
    bool noScratch = false;
    // A file that fell back to all of it would take the run past the size
    // limit: the run ends (the caller shows the box).
    bool tooMuch = false;
    // "_launcher.dll" was put in place (with its signed bytes, on a signed
    // site).
    bool launcherPlaced = false;
};

// The report is told the path of each file shown in turn (ShowFile).
DownloadOutcome RunDownloads(const DownloadPlan& plan, DownloadContext& context,
                             talvo::utility::multi_curl& transfers);
