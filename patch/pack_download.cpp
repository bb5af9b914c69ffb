#include "patch/pack_download.h"

#include "log/launcher_log.h"
#include "net/multi_curl.h"
#include "patch/file_checks.h"
#include "patch/signed_release.h"
#include "platform/cp1254_literal.h"
#include "platform/last_error.h"
#include "trust/sha256.h"

using namespace platform::literals;
using talvo::utility::easy_curl;
using talvo::utility::multi_curl;

// One request: the range of the pack, or a file from its own URL.
struct PackDownload::Fetch : HostRequest {
    std::size_t file = kRange;
    std::string body;
};

std::size_t PackDownload::Batch(const PlannedFile* files, std::size_t count) {
    std::size_t n = 1;
    for (std::uint64_t end = files[0].pack.offset + files[0].entry->size; n < count; ++n) {
        const PlannedFile& f = files[n];
        if (f.way != PlannedFile::Way::Pack || f.pack.url != files[0].pack.url ||
            f.pack.offset < end || f.pack.offset - end > kMostGapBytes ||
            f.pack.offset + f.entry->size - files[0].pack.offset > kMostRangeBytes) {
            break;
        }
        end = f.pack.offset + f.entry->size;
    }
    return n;
}

PackDownload::PackDownload(const PlannedFile* files, std::size_t count, std::size_t slot,
                           DownloadContext& context)
    : Download(slot),
      files_(files),
      count_(count),
      scratch_(ScratchSlot(slot)),
      context_(context),
      first_(files[0].pack.offset),
      last_(files[count - 1].pack.offset + files[count - 1].entry->size - 1),
      placed_(count),
      own_(count),
      asked_(count),
      ownTried_(count) {}

PackDownload::~PackDownload() = default;

void PackDownload::Start() {
    for (std::size_t i = 0; i < count_; ++i) {
        WriteLauncherLog("%s download ediliyor...", files_[i].entry->path.c_str());
    }
}

bool PackDownload::Wants() const {
    if (state_ != State::Running) return false;
    if (!rangeAsked_) return true;
    for (std::size_t i = 0; i < count_; ++i) {
        if (own_[i] && !asked_[i]) return true;
    }
    return false;
}

void PackDownload::Dispatch(multi_curl& transfers) {
    while (Wants() && transfers.running() < transfers.max_transfers()) {
        Fetch* f = nullptr;
        for (const auto& each : fetches_) {
            if (!each->busy && f == nullptr) f = each.get();
        }
        if (f == nullptr) {
            f = fetches_.emplace_back(std::make_unique<Fetch>()).get();
            ConfigureTransfer(f->curl, context_.options);
            f->curl.set_owner(static_cast<Download*>(this));
            f->curl.write_function = [this, f](char* data, std::size_t size, std::size_t n, void*) {
                return Take(*f, data, size * n);
            };
        }
        f->file = kRange;
        for (std::size_t i = 0; rangeAsked_ && i < count_ && f->file == kRange; ++i) {
            if (own_[i] && !asked_[i]) f->file = i;
        }
        Request(*f, transfers);
        if (!f->busy) return;
    }
}

// Asks for `f` on the best host it has not failed on.
void PackDownload::Request(Fetch& f, multi_curl& transfers) {
    MirrorSet& hosts = context_.hosts;
    f.host = hosts.Pick(Tried(f)).value_or(0);
    f.body.clear();
    f.begun = f.refused = false;
    const bool range = f.file == kRange;
    f.curl.url = hosts.Url(range ? files_[0].pack.url : files_[f.file].url, f.host);
    f.curl.identity = range;  // the pack's bytes as they lie
    f.curl.set_range(range ? first_ : 1, range ? last_ : 0);
    f.busy = transfers.add(f.curl);
    if (!f.busy) return;
    hosts.Began(f.host);
    MarkAsked(f, true);
}

MirrorSet::Hosts& PackDownload::Tried(const Fetch& f) {
    return f.file == kRange ? rangeTried_ : ownTried_[f.file];
}

void PackDownload::MarkAsked(const Fetch& f, bool asked) {
    if (f.file == kRange) {
        rangeAsked_ = asked;
    } else {
        asked_[f.file] = asked;
    }
}

std::size_t PackDownload::Take(Fetch& f, const char* data, std::size_t bytes) {
    if (context_.stop.is_set()) return 0;
    const bool range = f.file == kRange;
    if (!f.begun && range) {
        // Exactly the range asked for, as it lies in the pack.
        const std::string encoding = f.curl.response_header("Content-Encoding");
        // A range from the pack's start may come as all of it (200): taken
        // when it is no longer than the range.
        const long status = f.curl.response_code();
        f.refused =
            !(encoding.empty() || encoding == "identity") ||
            !(status == 206 ? RangeIs(f.curl.response_header("Content-Range"), first_, last_, 0)
                            : status == 200 && first_ == 0);
    }
    f.begun = true;
    const std::uint64_t most = range ? last_ - first_ + 1 : files_[f.file].entry->size;
    if (f.refused || bytes > most - f.body.size()) return 0;
    f.body.append(data, bytes);
    done_ += static_cast<double>(bytes);
    return bytes;
}

void PackDownload::Ended(multi_curl&, easy_curl* transfer, CURLcode code) {
    for (const auto& each : fetches_) {
        Fetch& f = *each;
        if (&f.curl != transfer || !f.busy) continue;
        f.busy = false;
        const bool range = f.file == kRange;
        const std::uint64_t size = range ? last_ - first_ + 1 : files_[f.file].entry->size;
        const bool whole = code == CURLE_OK && !f.refused && f.body.size() == size;
        const bool good = whole && (range || trust::Sha256Of(f.body) == *files_[f.file].hash);
        if (good) {
            context_.hosts.Served(f.host, f.body.size(), f.curl.url);
            if (range) {
                TookRange(f.body);
            } else {
                Place(f.file, f.body);
            }
            std::string().swap(f.body);
            return Settle();
        }
        if (context_.stop.is_set()) return;
        const std::string why = whole              ? "not the signed bytes"
                                : f.refused        ? "not the range asked for"
                                : code != CURLE_OK ? f.curl.error_text(code)
                                                   : "shorter than asked for";
        std::string().swap(f.body);
        if (context_.hosts.MoveOn(f.host, Tried(f), why)) {
            MarkAsked(f, false);
        } else if (range) {
            LogRefusal(files_[0].pack.url + ": " + why + "; its files fetched one by one");
            own_.assign(count_, true);
        } else {
            // Said and reported once, as a whole file's failure is.
            const std::string what = files_[f.file].entry->path + ": " + why + "; not put in place";
            if (whole) {
                LogRefusal(what);
            } else {
                WriteLauncherLog("http hatası: %d"_cp1254, static_cast<int>(code));
            }
            context_.report.Failed(
                {whole ? FailureKind::NotSigned : FailureKind::Transfer, whole ? 0 : code, what});
            failed_ = true;
        }
        return Settle();
    }
}

// Each file of the range in its place, or, when its bytes are not the
// signed ones, from its own URL.
void PackDownload::TookRange(const std::string& body) {
    bool forged = false;
    for (std::size_t i = 0; i < count_; ++i) {
        const std::string_view bytes =
            std::string_view(body).substr(files_[i].pack.offset - first_, files_[i].entry->size);
        if (trust::Sha256Of(bytes) == *files_[i].hash) {
            Place(i, bytes);
        } else {
            forged = own_[i] = true;
        }
    }
    if (forged) {
        LogRefusal(files_[0].pack.url + ": not the signed bytes; those files fetched one by one");
    }
}

// Through the scratch file, with the list's time, in one rename.
void PackDownload::Place(std::size_t i, std::string_view bytes) {
    const UpdateListEntry& entry = *files_[i].entry;
    platform::File out = platform::File::create_always(scratch_.file);
    const bool written = out && out.write_all(bytes.data(), bytes.size());
    out.close();
    if (written) SetFileToPatchTime(scratch_.file, entry.timeStamp);
    if (written && platform::replace_file(scratch_.file, entry.path)) {
        placed_[i] = true;
        return;
    }
    WriteLauncherLog("Dosya yazma hatası: %d"_cp1254, platform::last_error());
    context_.report.Failed({FailureKind::Write});
    platform::delete_file(scratch_.file);
    failed_ = true;
}

void PackDownload::Settle() {
    for (const auto& f : fetches_) {
        if (f->busy) return;
    }
    if (Wants()) return;
    if (failed_) {
        state_ = State::Failed;
    } else {
        state_ = State::Placed;
        for (std::size_t i = 0; i < count_; ++i) {
            if (!placed_[i]) state_ = State::NotPlaced;
        }
    }
}

void PackDownload::EndTransfers(multi_curl& transfers) {
    for (const auto& f : fetches_) f->End(transfers, context_.hosts);
}

void PackDownload::Stop(multi_curl& transfers) {
    if (state_ != State::Running) return;
    EndTransfers(transfers);
    state_ = State::Stopped;
}

void PackDownload::GiveUp(multi_curl& transfers) {
    if (state_ != State::Running) return;
    EndTransfers(transfers);
    WriteLauncherLog("http hatası: %d"_cp1254, static_cast<int>(CURLE_PARTIAL_FILE));
    context_.report.Failed({FailureKind::Transfer, CURLE_PARTIAL_FILE,
                            entry().path + ": nothing more came; not put in place"});
    state_ = State::Failed;
}

double PackDownload::Done() const {
    return done_;
}

std::vector<const PlannedFile*> PackDownload::PlacedFiles() const {
    std::vector<const PlannedFile*> placed;
    for (std::size_t i = 0; i < count_; ++i) {
        if (placed_[i]) placed.push_back(&files_[i]);
    }
    return placed;
}
