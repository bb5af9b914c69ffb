// The patch run's side of a signed site: the manifest and the signature
// fetched beside the list and checked with it, the refusals logged, in the
// verify-all mode every file that looks current hashed as well, and the hash
// each file was installed with (installed_hashes.h).
#pragma once

#include <string>

#include "patch/installed_hashes.h"
#include "patch/patch_options.h"
#include "patch/signed_release.h"
#include "patch/update_list.h"
#include "platform/event.h"

namespace talvo::utility {
class fetch_url;
}  // namespace talvo::utility

// What every fetch of a run shares: the stop, the stall and speed limits,
// the authorities.
void PrepareFetch(talvo::utility::fetch_url& fetch, const PatchOptions& options,
                  const platform::ManualResetEvent& stop);

class SignedRun {
public:
    SignedRun(const PatchOptions& options, const platform::ManualResetEvent& stop)
        : options_(options), stop_(stop) {}

    // Fetches the manifest and the signature beside the list at `listUrl`
    // (`fresh`: every cache asked for fresh copies) and checks them, before
    // the list is fetched: "" when they pass, else the check that refused
    // them. One whose transfer failed is no refusal: "" and why in `error`,
    // as for the list itself (fresh copies would not mend it).
    std::string FetchRelease(bool fresh, const std::string& listUrl, std::string& error);
    // In the verify-all mode, a file that looks current is hashed too.
    bool BytesDiffer(const UpdateListEntry& entry);
    // A file that looks current whose signed hash is not the one it was
    // installed with.
    bool HashChanged(const UpdateListEntry& entry);

    SignedRelease& release() { return release_; }
    InstalledHashes& installed() { return installed_; }

private:
    const PatchOptions& options_;
    const platform::ManualResetEvent& stop_;
    SignedRelease release_;
    // The hash each file was installed with, kept in base/.
    InstalledHashes installed_;
};
