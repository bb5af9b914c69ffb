#include "patch/download_plan.h"

#include <functional>
#include <memory>

#include "delta/file_chunks.h"
#include "net/multi_curl.h"
#include "patch/resume_record.h"
#include "patch/run_progress.h"

namespace {

// An index of a file of 4 GiB holds 1.3 MB: more is refused, as is more
// than the chunker could make for the file's listed size.
constexpr std::uint64_t kMaxIndexBytes = 8 << 20;
// The indexes fetched at a time: as many as fit in this together, by what
// each may take, so that any number of them costs no more memory.
constexpr std::uint64_t kIndexBatchBytes = 8 << 20;
// The records one delta fetches at most: those of some 400 MiB of changed
// chunks. A file that needs more comes whole.
constexpr std::uint64_t kMaxRecordBytes = 8 << 20;

// One body fetched into memory: all of it, or the range first..last.
struct MemoryFetch {
    std::string url;
    std::uint64_t first = 1, last = 0;  // first > last: all of it
    std::uint64_t cap = 0;
    std::string body;
    bool fetched = false;
};

// Runs `fetches` over `transfers`, as many at a time as they take, each
// handed to `arrived` (when given) as soon as it ends. Bodies come as the
// server keeps them (no encoding), ranges exactly as asked. False when a
// stop cut them short.
bool FetchAll(std::vector<MemoryFetch>& fetches, const PatchOptions& options,
              const platform::ManualResetEvent& stop, talvo::utility::multi_curl& transfers,
              const std::function<void(MemoryFetch&)>& arrived = {}) {
    struct Slot {
        talvo::utility::easy_curl transfer;
        MemoryFetch* fetch = nullptr;
        bool refused = false;
    };
    std::vector<std::unique_ptr<Slot>> slots;
    std::size_t next = 0;
    const auto take = [](Slot& slot, const char* data, std::size_t bytes) {
        MemoryFetch& f = *slot.fetch;
        if (f.body.empty() && f.first <= f.last) {
            // Only the range asked for will do: all of the body is refused.
            const auto& t = slot.transfer;
            const std::string encoding = t.response_header("Content-Encoding");
            slot.refused = t.response_code() != 206 ||
                           !(encoding.empty() || encoding == "identity") ||
                           !RangeIs(t.response_header("Content-Range"), f.first, f.last, 0);
        }
        if (slot.refused || bytes > f.cap - f.body.size()) return false;
        f.body.append(data, bytes);
        return true;
    };
    for (;;) {
        while (next < fetches.size() && transfers.running() < transfers.max_transfers()) {
            Slot* slot = nullptr;
            for (const auto& s : slots) slot = slot || s->fetch ? slot : s.get();
            if (slot == nullptr) {
                slot = slots.emplace_back(std::make_unique<Slot>()).get();
                ConfigureTransfer(slot->transfer, options);
                slot->transfer.identity = true;
                slot->transfer.write_function = [slot, &take](char* data, std::size_t size,
                                                              std::size_t count, void*) {
                    return take(*slot, data, size * count) ? size * count : 0;
                };
            }
            slot->fetch = &fetches[next++];
            slot->refused = false;
            slot->transfer.url = slot->fetch->url;
            slot->transfer.set_range(slot->fetch->first, slot->fetch->last);
            if (!transfers.add(slot->transfer)) slot->fetch = nullptr;
        }
        if (transfers.running() == 0) return true;
        if (stop.is_set()) {
            for (const auto& s : slots) transfers.remove(s->transfer);
            return false;
        }
        for (const auto& ended : transfers.run(std::chrono::milliseconds(100))) {
            for (const auto& s : slots) {
                if (&s->transfer != ended.transfer) continue;
                MemoryFetch& f = *s->fetch;
                // A range that ended short is no range either.
                f.fetched = ended.code == CURLE_OK && !s->refused &&
                            (f.first > f.last || f.body.size() == f.last - f.first + 1);
                s->fetch = nullptr;
                if (arrived) arrived(f);
            }
        }
    }
}

// The records of the groups `planner` lacks, fetched and taken: false when
// one could not be fetched, or (`fetched`) was not what the index says.
bool TakeRecords(delta::DeltaPlanner& planner, const std::string& listUrl,
                 const PatchOptions& options, const platform::ManualResetEvent& stop,
                 talvo::utility::multi_curl& transfers, bool& fetched) {
    std::vector<MemoryFetch> fetches;
    std::uint64_t bytes = 0;
    for (const delta::ListRange& range : planner.Missing()) bytes += range.length;
    if (bytes > kMaxRecordBytes) return false;
    for (const delta::ListRange& range : planner.Missing()) {
        fetches.push_back(
            {listUrl, range.offset, range.offset + range.length - 1, range.length, "", false});
    }
    if (!FetchAll(fetches, options, stop, transfers)) return false;
    for (const MemoryFetch& f : fetches) {
        if (!f.fetched) return false;
    }
    fetched = true;
    for (std::size_t i = 0; i < fetches.size(); ++i) {
        if (!planner.TakeRecords(planner.Missing()[i], fetches[i].body)) return false;
    }
    return true;
}

// Read in pieces, a stop asked between them.
bool HoldsSignedBytes(platform::File& local, const trust::Sha256Digest& hash,
                      const platform::ManualResetEvent& stop) {
    std::vector<char> buffer(4 << 20);
    trust::Sha256 digest;
    for (long n; (n = local.read_some(buffer.data(), buffer.size())) != 0;) {
        if (n < 0 || stop.is_set()) return false;
        digest.Update(buffer.data(), static_cast<std::size_t>(n));
    }
    return digest.Final() == hash;
}

// A file that may come as a delta, and its index: read as soon as it
// arrived, when its bytes are the signed ones; else why not.
struct Candidate {
    PlannedFile* file = nullptr;
    IndexLocation where;
    bool arrived = false;
    delta::ChunkIndex index;
    std::string error;
};

void ReadIndex(Candidate& c, const SignedRelease& release, const std::string& body) {
    if (trust::Sha256Of(body) != *release.Listed(c.where.indexPath)) {
        c.error = "not the signed bytes";
    } else if (delta::ChunkIndex::Parse(body, c.index, c.error) &&
               c.index.fileSize != c.file->entry->size) {
        c.error = "of another size than listed";
    }
}

// A candidate's way from its index: a delta, a stamp, or whole as it is.
// False when a stop cut it short.
bool PlanDelta(Candidate& c, const PatchOptions& options, const platform::ManualResetEvent& stop,
               talvo::utility::multi_curl& transfers) {
    PlannedFile& file = *c.file;
    const UpdateListEntry& entry = *file.entry;
    if (!c.arrived) return true;  // none: the file comes whole
    if (!c.error.empty()) {
        LogRefusal(c.where.indexPath + ": " + c.error + "; " + entry.path + " fetched whole");
        return true;
    }
    // The old copy, cut as the index was; the signed bytes already, when its
    // hash says so.
    platform::File local = platform::File::open_for_reading(entry.path);
    std::uint64_t size = 0;
    delta::OldCopy old;
    trust::Sha256Digest whole;
    const bool sameSize = local.size(size) && size == entry.size;
    if (!delta::ChunkFile(local, old, sameSize ? &whole : nullptr,
                          [&stop] { return stop.is_set(); })) {
        return !stop.is_set();
    }
    if (sameSize && whole == *file.hash) {
        file.way = PlannedFile::Way::Stamp;
        return true;
    }
    old.Finish();
    delta::DeltaPlanner planner(std::move(c.index), old);
    if (planner.NothingInCommon()) return true;
    bool fetched = false;
    if (!TakeRecords(planner, c.where.listUrl, options, stop, transfers, fetched)) {
        // A server that does not answer ranges just gets the whole file.
        if (fetched) {
            LogRefusal(c.where.indexPath + ": its chunk list is not the signed one; " + entry.path +
                       " fetched whole");
        }
        return !stop.is_set();
    }
    if (planner.Plan(file.delta) && file.delta.FetchBytes() < entry.size) {
        file.way = PlannedFile::Way::Delta;
    } else {
        file.delta = delta::DeltaPlan();
    }
    return true;
}

}  // namespace

std::uint64_t PlannedFile::FetchBytes() const {
    return way == Way::Whole ? entry->size : way == Way::Delta ? delta.FetchBytes() : 0;
}

IndexLocation LocateIndex(const std::string& baseUrl, const trust::Sha256Digest& fileHash) {
    const std::string index = std::string(kIndexFolder) + "/" + delta::IndexName(fileHash);
    const std::string list = std::string(kIndexFolder) + "/" + delta::ChunkListName(fileHash);
    return {SiteFolderOf(baseUrl) + index, baseUrl + "/" + index, baseUrl + "/" + list};
}

bool PlanDownloads(const std::string& baseUrl, const std::list<UpdateListEntry>& entries,
                   const PatchOptions& options, const SignedRelease& release,
                   const platform::ManualResetEvent& stop, talvo::utility::multi_curl& transfers,
                   DownloadPlan& plan) {
    plan.clear();
    for (const UpdateListEntry& entry : entries) {
        if (!entry.needsDownload) continue;
        PlannedFile& file = plan.emplace_back();
        file.entry = &entry;
        file.url = FileUrl(baseUrl, entry.path);
        if (options.signedOnly) file.hash = release.HashOf(entry.path);
    }
    // A file with a copy here and an index on the site may come as a delta;
    // one whose copy has the listed size may hold the signed bytes already.
    std::vector<Candidate> candidates;
    std::uint64_t due = 0;  // what the files not among them fetch
    for (PlannedFile& file : plan) {
        if (stop.is_set()) return false;
        platform::File local = platform::File::open_for_reading(file.entry->path);
        std::uint64_t size = 0;
        const bool copy = file.hash != nullptr && local && local.size(size);
        const IndexLocation where = copy ? LocateIndex(baseUrl, *file.hash) : IndexLocation();
        if (copy && file.entry->size >= delta::kMinIndexedSize && release.Listed(where.indexPath)) {
            candidates.push_back({&file, where, false, {}, ""});
            continue;
        }
        if (copy && size == file.entry->size && HoldsSignedBytes(local, *file.hash, stop)) {
            file.way = PlannedFile::Way::Stamp;
        }
        due += file.FetchBytes();
    }
    // The indexes a batch at a time, each body read and let go as it
    // arrives; once the run is past the size limit whatever the rest
    // costs, the rest comes whole.
    for (std::size_t begin = 0, end = 0; begin < candidates.size(); begin = end) {
        if (static_cast<double>(due) > kMaxDownloadBytes) break;
        std::vector<MemoryFetch> indexes;
        for (std::uint64_t held = 0; end < candidates.size(); ++end) {
            const std::uint64_t cap =
                std::min(kMaxIndexBytes, delta::MostIndexBytes(candidates[end].file->entry->size));
            if (end > begin && held + cap > kIndexBatchBytes) break;
            held += cap;
            indexes.push_back({candidates[end].where.indexUrl, 1, 0, cap, "", false});
        }
        const auto arrived = [&](MemoryFetch& f) {
            Candidate& c = candidates[begin + static_cast<std::size_t>(&f - indexes.data())];
            c.arrived = f.fetched;
            if (c.arrived) ReadIndex(c, release, f.body);
            std::string().swap(f.body);
        };
        if (!FetchAll(indexes, options, stop, transfers, arrived)) return false;
        for (std::size_t i = begin; i < end; ++i) {
            if (static_cast<double>(due) <= kMaxDownloadBytes &&
                !PlanDelta(candidates[i], options, stop, transfers)) {
                return false;
            }
            candidates[i].index = delta::ChunkIndex();
            due += candidates[i].file->FetchBytes();
        }
    }
    return true;
}
