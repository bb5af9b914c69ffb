// The download phase worked out before anything is fetched, and before the
// size limit judges it: for each due file, in list order, whether it is
// fetched whole, made from its old copy and ranges of the new one (a delta:
// a signed site that publishes the file's chunk index, and a local copy to
// start from), or only stamped (its bytes are the signed ones already,
// under another time). An unsigned site, a small file or a site without
// indexes: every file whole, as always.
#pragma once

#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <vector>

#include "delta/delta_plan.h"
#include "patch/mirror_set.h"
#include "patch/patch_options.h"
#include "patch/signed_release.h"
#include "patch/update_list.h"
#include "platform/event.h"

namespace talvo::utility {
class multi_curl;
}

// Where a small file lies in one of its release's packs.
struct PackPlace {
    std::string url;  // the pack's
    std::size_t number = 0;
    std::uint64_t offset = 0;
};

struct PlannedFile {
    // Pack: a small file of a signed site, fetched with its neighbours as
    // one range of their pack.
    enum class Way { Whole, Delta, Stamp, Pack };
    const UpdateListEntry* entry = nullptr;
    std::string url;
    const trust::Sha256Digest* hash = nullptr;  // a signed site's, else none
    Way way = Way::Whole;
    delta::DeltaPlan delta;
    PackPlace pack;

    // The bytes it takes from the server.
    std::uint64_t FetchBytes() const;
};

using DownloadPlan = std::vector<PlannedFile>;

// Where a signed site keeps a file's chunk index: in the release's folder,
// below kIndexFolder, named by the file's hash and the form of its records
// (delta::IndexName). Its manifest path, its URL and the chunk list's.
inline constexpr const char* kIndexFolder = ".chunks";
struct IndexLocation {
    std::string indexPath, indexUrl, listUrl;
    std::size_t recordBytes = delta::kChunkRecordBytes;
};
IndexLocation LocateIndex(const std::string& baseUrl, const trust::Sha256Digest& fileHash,
                          std::size_t recordBytes = delta::kChunkRecordBytes);

// What making the plan needs of the run: the site and its signed release,
// the run's options, its stop signal and its transfers.
struct PlanContext {
    const std::string& baseUrl;
    const PatchOptions& options;
    const SignedRelease& release;
    const platform::ManualResetEvent& stop;
    talvo::utility::multi_curl& transfers;
    MirrorSet& hosts;
};

// Makes the plan. The small files due come from packs where the release has
// them (its pack index fetched and checked). Indexes and records are fetched
// several at a time, as
// the server keeps them (no encoding) and bounded by what the chunker could
// make for the listed size; each index is read as soon as it arrives and
// only a few MiB of them are held at once. The old copies are read one after
// the other (each held as 16 bytes a chunk). Once the files that come whole
// are past kMaxDownloadBytes no more deltas are planned. None when a stop
// cut it short.
std::optional<DownloadPlan> PlanDownloads(const PlanContext& site,
                                          const std::list<UpdateListEntry>& entries);
