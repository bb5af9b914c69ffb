#include "patch/download_plan.h"

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "delta/file_chunks.h"
#include "delta/pack_index.h"
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
    std::string body{};
    bool fetched = false;
    std::size_t host = 0;
    MirrorSet::Hosts tried = 0;  // the hosts it failed on
    // Whether the bytes are the signed ones; those that are not are asked of
    // another host, and arrive as they are once every host has given them.
    std::function<bool(std::string_view)> check = {};
};

// A body's check against its line of the signed manifest.
std::function<bool(std::string_view)> SignedAs(const trust::Sha256Digest& hash) {
    return [hash](std::string_view body) { return trust::Sha256Of(body) == hash; };
}

// Runs fetches over the run's transfers, as many at a time as they take,
// each handed to `arrived` (when given) as soon as it ends, or once every
// host has failed it. Bodies come as
// the server keeps them (no encoding), ranges exactly as asked.
class MemoryFetches {
public:
    using Arrived = std::function<void(MemoryFetch&)>;
    MemoryFetches(const PlanContext& site, std::vector<MemoryFetch>& fetches, Arrived arrived)
        : site_(site), fetches_(fetches), arrived_(std::move(arrived)) {}

    // False when a stop cut them short.
    bool Run() {
        for (;;) {
            StartMore();
            if (site_.transfers.running() == 0 && again_.empty()) return true;
            if (site_.stop.is_set()) {
                for (const auto& s : slots_) site_.transfers.remove(s->transfer);
                return false;
            }
            for (const auto& ended : site_.transfers.run(std::chrono::milliseconds(100))) {
                Ended(ended);
            }
        }
    }

private:
    struct Slot {
        talvo::utility::easy_curl transfer;
        MemoryFetch* fetch = nullptr;
        bool refused = false;
    };

    void StartMore() {
        auto& transfers = site_.transfers;
        while ((!again_.empty() || next_ < fetches_.size()) &&
               transfers.running() < transfers.max_transfers()) {
            Slot& slot = IdleSlot();
            MemoryFetch* f = again_.empty() ? &fetches_[next_++] : again_.back();
            if (!again_.empty()) again_.pop_back();
            slot.fetch = f;
            slot.refused = false;
            f->host = site_.hosts.Pick(f->tried).value_or(0);
            slot.transfer.url = site_.hosts.Url(f->url, f->host);
            slot.transfer.set_range(f->first, f->last);
            if (!transfers.add(slot.transfer)) {
                slot.fetch = nullptr;
                again_.push_back(f);
                return;
            }
            site_.hosts.Began(f->host);
        }
    }

    Slot& IdleSlot() {
        for (const auto& s : slots_) {
            if (s->fetch == nullptr) return *s;
        }
        Slot* slot = slots_.emplace_back(std::make_unique<Slot>()).get();
        ConfigureTransfer(slot->transfer, site_.options);
        slot->transfer.identity = true;
        slot->transfer.write_function = [slot](char* data, std::size_t size, std::size_t count,
                                               void*) {
            return Take(*slot, data, size * count) ? size * count : 0;
        };
        return *slot;
    }

    static bool Take(Slot& slot, const char* data, std::size_t bytes) {
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
    }

    void Ended(const talvo::utility::multi_curl::ended& ended) {
        for (const auto& s : slots_) {
            if (&s->transfer != ended.transfer) continue;
            MemoryFetch& f = *s->fetch;
            // A range that ended short is no range either.
            f.fetched = ended.code == CURLE_OK && !s->refused &&
                        (f.first > f.last || f.body.size() == f.last - f.first + 1);
            const bool valid = f.fetched && (!f.check || f.check(f.body));
            s->fetch = nullptr;
            if (valid) {
                site_.hosts.Served(f.host, f.body.size(), s->transfer.url);
            } else if (!site_.stop.is_set() &&
                       site_.hosts.MoveOn(f.host, f.tried,
                                          f.fetched ? "not the signed bytes"
                                          : s->refused || ended.code == CURLE_OK
                                              ? "not the range asked for"
                                              : s->transfer.error_text(ended.code))) {
                f.body.clear();
                again_.push_back(&f);
                continue;
            }
            if (arrived_) arrived_(f);
        }
    }

    const PlanContext& site_;
    std::vector<MemoryFetch>& fetches_;
    const Arrived arrived_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::size_t next_ = 0;
    std::vector<MemoryFetch*> again_;  // to be asked of another host
};

bool FetchAll(const PlanContext& site, std::vector<MemoryFetch>& fetches,
              MemoryFetches::Arrived arrived = {}) {
    return MemoryFetches(site, fetches, std::move(arrived)).Run();
}

// The records of the groups `planner` lacks, fetched and taken: false when
// one could not be fetched, or (`fetched`) was not what the index says.
bool TakeRecords(const PlanContext& site, delta::DeltaPlanner& planner, const std::string& listUrl,
                 bool& fetched) {
    std::vector<MemoryFetch> fetches;
    std::uint64_t bytes = 0;
    for (const delta::ListRange& range : planner.Missing()) bytes += range.length;
    if (bytes > kMaxRecordBytes) return false;
    for (const delta::ListRange& range : planner.Missing()) {
        fetches.push_back({.url = listUrl,
                           .first = range.offset,
                           .last = range.offset + range.length - 1,
                           .cap = range.length,
                           .check = [&planner, &range](std::string_view body) {
                               return planner.TakeRecords(range, body);
                           }});
    }
    if (!FetchAll(site, fetches)) return false;
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
    } else if (!delta::ChunkIndex::Parse(body, c.index, c.error)) {
        return;
    } else if (c.index.fileSize != c.file->entry->size) {
        c.error = "of another size than listed";
    } else if (c.index.recordBytes != c.where.recordBytes) {
        c.error = "not of the form its name says";
    }
}

// What the old copy of a candidate holds, cut as its index was.
enum class OldCopyIs { Unread, Signed, Chunked };

OldCopyIs ReadOldCopy(const Candidate& c, const platform::ManualResetEvent& stop,
                      delta::OldCopy& old) {
    const UpdateListEntry& entry = *c.file->entry;
    platform::File local = platform::File::open_for_reading(entry.path);
    std::uint64_t size = 0;
    trust::Sha256Digest whole;
    const bool sameSize = local.size(size) && size == entry.size;
    // Its groups hashed as the index's records are.
    const delta::Cutting cutting = delta::FormCutting(c.index.recordBytes);
    const auto stopped = [&stop] { return stop.is_set(); };
    if (!delta::ChunkFile(local, old, sameSize ? &whole : nullptr, stopped, cutting)) {
        return OldCopyIs::Unread;
    }
    if (sameSize && whole == *c.file->hash) return OldCopyIs::Signed;
    old.Finish();
    return OldCopyIs::Chunked;
}

// A candidate's way from its index: a delta, a stamp, or whole as it is.
// False when a stop cut it short.
bool PlanDelta(const PlanContext& site, Candidate& c) {
    PlannedFile& file = *c.file;
    const UpdateListEntry& entry = *file.entry;
    if (!c.arrived) return true;  // none: the file comes whole
    if (!c.error.empty()) {
        LogRefusal(c.where.indexPath + ": " + c.error + "; " + entry.path + " fetched whole");
        return true;
    }
    delta::OldCopy old;
    const OldCopyIs read = ReadOldCopy(c, site.stop, old);
    if (read == OldCopyIs::Unread) return !site.stop.is_set();
    if (read == OldCopyIs::Signed) {
        file.way = PlannedFile::Way::Stamp;
        return true;
    }
    delta::DeltaPlanner planner(std::move(c.index), old);
    if (planner.NothingInCommon()) return true;
    bool fetched = false;
    if (!TakeRecords(site, planner, c.where.listUrl, fetched)) {
        // A server that does not answer ranges just gets the whole file.
        if (fetched) {
            LogRefusal(c.where.indexPath + ": its chunk list is not the signed one; " + entry.path +
                       " fetched whole");
        }
        return !site.stop.is_set();
    }
    if (planner.Plan(file.delta) && file.delta.FetchBytes() < entry.size) {
        file.way = PlannedFile::Way::Delta;
    } else {
        file.delta = delta::DeltaPlan();
    }
    return true;
}

// The plan of one run, made a step at a time.
class Planner {
public:
    explicit Planner(const PlanContext& site) : site_(site) {}

    std::optional<DownloadPlan> Plan(const std::list<UpdateListEntry>& entries) {
        ListDue(entries);
        if (!SortOut()) return std::nullopt;
        // Once the run is past the size limit whatever the rest costs, the
        // rest comes whole.
        for (std::size_t begin = 0, end = 0; begin < candidates_.size(); begin = end) {
            if (PastLimit()) break;
            end = BatchEnd(begin);
            if (!FetchIndexes(begin, end) || !PlanDeltas(begin, end)) return std::nullopt;
        }
        if (!PlanPacks(entries)) return std::nullopt;
        return std::move(plan_);
    }

private:
    // The files due, in list order, each whole until found otherwise.
    void ListDue(const std::list<UpdateListEntry>& entries) {
        for (const UpdateListEntry& entry : entries) {
            if (!entry.needsDownload) continue;
            PlannedFile& file = plan_.emplace_back();
            file.entry = &entry;
            file.url = FileUrl(site_.baseUrl, entry.path);
            if (site_.options.signedOnly) file.hash = site_.release.HashOf(entry.path);
        }
    }

    // A file with a copy here and an index on the site may come as a delta;
    // one whose copy has the listed size may hold the signed bytes already.
    bool SortOut() {
        for (PlannedFile& file : plan_) {
            if (site_.stop.is_set()) return false;
            platform::File local = platform::File::open_for_reading(file.entry->path);
            std::uint64_t size = 0;
            const bool copy = file.hash != nullptr && local && local.size(size);
            IndexLocation where;
            if (copy) {
                // The short form when the site lists it, else the long one.
                where = LocateIndex(site_.baseUrl, *file.hash, delta::kShortRecordBytes);
                if (!site_.release.Listed(where.indexPath)) {
                    where = LocateIndex(site_.baseUrl, *file.hash);
                }
            }
            if (copy && file.entry->size >= delta::kMinIndexedSize &&
                site_.release.Listed(where.indexPath)) {
                candidates_.push_back({&file, where, false, {}, ""});
                continue;
            }
            if (copy && size == file.entry->size &&
                HoldsSignedBytes(local, *file.hash, site_.stop)) {
                file.way = PlannedFile::Way::Stamp;
            }
            due_ += file.FetchBytes();
        }
        return true;
    }

    bool PastLimit() const { return static_cast<double>(due_) > kMaxDownloadBytes; }

    // The indexes a batch at a time: as many as fit in kIndexBatchBytes by
    // what each may take, one at least.
    std::size_t BatchEnd(std::size_t begin) const {
        std::size_t end = begin;
        for (std::uint64_t held = 0; end < candidates_.size(); ++end) {
            if (end > begin && held + IndexCap(candidates_[end]) > kIndexBatchBytes) break;
            held += IndexCap(candidates_[end]);
        }
        return end;
    }

    static std::uint64_t IndexCap(const Candidate& c) {
        return std::min(kMaxIndexBytes,
                        delta::MostIndexBytes(c.file->entry->size, c.where.recordBytes));
    }

    // Each body read and let go as it arrives.
    bool FetchIndexes(std::size_t begin, std::size_t end) {
        std::vector<MemoryFetch> indexes;
        for (std::size_t i = begin; i < end; ++i) {
            const trust::Sha256Digest& hash = *site_.release.Listed(candidates_[i].where.indexPath);
            indexes.push_back({.url = candidates_[i].where.indexUrl,
                               .cap = IndexCap(candidates_[i]),
                               .check = SignedAs(hash)});
        }
        return FetchAll(site_, indexes, [&](MemoryFetch& f) {
            Candidate& c = candidates_[begin + static_cast<std::size_t>(&f - indexes.data())];
            c.arrived = f.fetched;
            if (c.arrived) ReadIndex(c, site_.release, f.body);
            std::string().swap(f.body);
        });
    }

    // The small files that come whole come from the release's packs, when
    // there are two at least and its signed pack index can be had; else
    // each from its own URL.
    bool PlanPacks(const std::list<UpdateListEntry>& entries) {
        std::vector<PlannedFile*> small;
        for (PlannedFile& file : plan_) {
            if (file.way == PlannedFile::Way::Whole && file.hash != nullptr &&
                file.entry->size > 0 && file.entry->size < delta::kPackedFileBelow) {
                small.push_back(&file);
            }
        }
        const std::string index = std::string(delta::kPackFolder) + "/" + delta::kPackIndexName;
        const trust::Sha256Digest* hash = site_.release.Listed(SiteFolderOf(site_.baseUrl) + index);
        if (small.size() < 2 || hash == nullptr) return true;
        // No longer than an index of every listed file could be: a line
        // each, and one for each pack they could fill.
        std::uint64_t cap = 64, bytes = 0;
        for (const UpdateListEntry& entry : entries) {
            cap += SiteName(entry.path).size() + 64;
            bytes += entry.size < delta::kPackedFileBelow ? entry.size : 0;
        }
        cap += (bytes / delta::kMaxPackBytes + 1) * 96;
        std::vector<MemoryFetch> fetch = {
            {.url = site_.baseUrl + "/" + index, .cap = cap, .check = SignedAs(*hash)}};
        if (!FetchAll(site_, fetch)) return false;
        delta::PackIndex packs;
        std::string error;
        if (!fetch[0].fetched || !delta::PackIndex::Parse(fetch[0].body, packs, error)) {
            LogRefusal(index + ": " + (fetch[0].fetched ? error : "not fetched") +
                       "; the small files fetched one by one");
            return true;
        }
        std::unordered_map<std::string_view, const delta::PackedFile*> where;
        for (const delta::PackedFile& f : packs.files) where.emplace(f.name, &f);
        for (PlannedFile* file : small) {
            const auto it = where.find(SiteName(file->entry->path));
            if (it == where.end() || it->second->length != file->entry->size) continue;
            file->way = PlannedFile::Way::Pack;
            file->pack = {site_.baseUrl + "/" + delta::kPackFolder + "/" +
                              delta::PackName(packs.packs[it->second->pack].first),
                          it->second->pack, it->second->offset};
        }
        return true;
    }

    bool PlanDeltas(std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            if (!PastLimit() && !PlanDelta(site_, candidates_[i])) return false;
            candidates_[i].index = delta::ChunkIndex();
            due_ += candidates_[i].file->FetchBytes();
        }
        return true;
    }

    const PlanContext& site_;
    DownloadPlan plan_;
    std::vector<Candidate> candidates_;
    std::uint64_t due_ = 0;  // what the files not among the candidates fetch
};

}  // namespace

std::uint64_t PlannedFile::FetchBytes() const {
    return way == Way::Whole || way == Way::Pack ? entry->size
           : way == Way::Delta                   ? delta.FetchBytes()
                                                 : 0;
}

IndexLocation LocateIndex(const std::string& baseUrl, const trust::Sha256Digest& fileHash,
                          std::size_t recordBytes) {
    const std::string index =
        std::string(kIndexFolder) + "/" + delta::IndexName(fileHash, recordBytes);
    const std::string list =
        std::string(kIndexFolder) + "/" + delta::ChunkListName(fileHash, recordBytes);
    return {SiteFolderOf(baseUrl) + index, baseUrl + "/" + index, baseUrl + "/" + list,
            recordBytes};
}

std::optional<DownloadPlan> PlanDownloads(const PlanContext& site,
                                          const std::list<UpdateListEntry>& entries) {
    return Planner(site).Plan(entries);
}
