#include "patch/file_download.h"

#include "log/launcher_log.h"
#include "net/multi_curl.h"
#include "patch/file_checks.h"
#include "patch/signed_release.h"
#include "platform/cp1254_literal.h"
#include "platform/last_error.h"

using namespace platform::literals;
using talvo::utility::easy_curl;
using talvo::utility::multi_curl;

namespace {

// How much of a delta is copied and hashed at a time, between looks at the
// transfers.
constexpr std::size_t kWorkBytes = 4 << 20;
// A file fetched whole is judged slow no sooner than this after it was asked for.
constexpr double kMoveAfterSeconds = 1.0;

}  // namespace

void HostRequest::End(multi_curl& transfers, MirrorSet& hosts) {
    if (busy) {
        transfers.remove(curl);
        hosts.Dropped(host);
    }
    busy = false;
}

struct FileDownload::Transfer : HostRequest {
    std::size_t range = 0;  // a delta's
    std::uint64_t first = 0;
};

FileDownload::FileDownload(const PlannedFile& file, std::size_t slot, DownloadContext& context)
    : Download(slot), file_(file), scratch_(ScratchSlot(slot)), context_(context) {}

FileDownload::~FileDownload() = default;

FileDownload::Transfer& FileDownload::FreeTransfer() {
    for (const auto& t : transfers_) {
        if (!t->busy) return *t;
    }
    Transfer& t = *transfers_.emplace_back(std::make_unique<Transfer>());
    ConfigureTransfer(t.curl, context_.options);
    t.curl.set_owner(static_cast<Download*>(this));
    return t;
}

void FileDownload::Start() {
    WriteLauncherLog("%s download ediliyor...", file_.entry->path.c_str());
    if (file_.way != PlannedFile::Way::Delta) return StartWhole(true);
    if (!context_.rangesRefused) return StartDelta();
    // The server gave a whole file for a range before: all of this one too.
    if (DueWhole(file_.entry->size - file_.FetchBytes())) StartWhole(true);
}

bool FileDownload::DueWhole(std::uint64_t more) {
    context_.progress.AddDue(static_cast<double>(more));
    if (context_.progress.WithinLimit()) return true;
    state_ = State::TooMuch;
    return false;
}

void FileDownload::StartDelta() {
    delta_ = std::make_unique<DeltaWriter>(file_, scratch_);
    if (!delta_->Open()) {
        // No old copy to read after all, or no scratch file: all of it.
        delta_->Discard(false);
        delta_.reset();
        if (DueWhole(file_.entry->size - file_.FetchBytes())) StartWhole(false);
        return;
    }
    context_.progress.Resumed(static_cast<double>(delta_->Present()));
    nextRange_ = 0;
    rangeTried_.assign(delta_->Ranges().size(), 0);
}

void FileDownload::StartWhole(bool resume) {
    Transfer& t = FreeTransfer();
    sink_ = std::make_unique<FileSink>(t.curl, *file_.entry, file_.url, scratch_);
    if (file_.hash != nullptr) sink_->Expect(*file_.hash);
    for (;; resume = false) {
        if (!sink_->Open(resume)) {
            state_ = State::NoScratch;
            return;
        }
        if (t.curl.set_resume(sink_->Offset(), sink_->Validator())) break;
    }
    resumed_ = sink_->Offset() > 0;
    resumedBytes_ = static_cast<double>(sink_->Offset());
    context_.progress.Resumed(resumedBytes_);
    t.curl.identity = false;
    t.curl.write_function = [this](char* data, std::size_t size, std::size_t count, void*) {
        return OnWholeWrite(data, size * count);
    };
    wholeWaiting_ = true;
}

bool FileDownload::Wants() const {
    if (state_ != State::Running) return false;
    return delta_ ? !retry_.empty() || nextRange_ < delta_->Ranges().size() : wholeWaiting_;
}

void FileDownload::Dispatch(multi_curl& transfers) {
    while (Wants() && transfers.running() < transfers.max_transfers()) {
        Transfer& t = delta_ ? FreeTransfer() : *transfers_.front();
        MirrorSet& hosts = context_.hosts;
        if (delta_) {
            const bool again = !retry_.empty();
            t.range = again ? retry_.back() : nextRange_++;
            if (again) retry_.pop_back();
            t.host = hosts.Pick(rangeTried_[t.range]).value_or(0);
            t.first = delta_->Next(t.range);
            t.begun = t.refused = false;
            t.curl.url = hosts.Url(file_.url, t.host);
            t.curl.identity = true;  // the bytes as they lie in the file
            t.curl.set_range(t.first, delta_->Ranges()[t.range].last);
            t.curl.write_function = [this, &t](char* data, std::size_t size, std::size_t count,
                                               void*) {
                return OnRangeWrite(t, data, size * count);
            };
        } else {
            t.host = hosts.Pick(tried_).value_or(0);
            t.curl.url = hosts.Url(file_.url, t.host);
            asked_ = hosts.Now();
            wholeWaiting_ = false;
        }
        t.busy = transfers.add(t.curl);
        if (!t.busy) {  // asked for again at the next chance
            wholeWaiting_ = !delta_;
            if (delta_) retry_.push_back(t.range);
            return;
        }
        hosts.Began(t.host);
    }
}

Download* Download::Of(const easy_curl& transfer) {
    return static_cast<Download*>(transfer.owner());
}

std::size_t FileDownload::OnWholeWrite(const char* data, std::size_t bytes) {
    if (context_.stop.is_set()) return 0;
    const std::uint64_t resumedFrom = sink_->Offset();
    if (!sink_->Accept(data, bytes)) return 0;
    if (sink_->Offset() != resumedFrom) {  // the whole body came instead of the rest
        context_.progress.Resumed(-resumedBytes_);
        resumedBytes_ = 0;
    }
    if (!sink_->file.write_all(data, bytes)) {
        sink_->Fail();
        WriteFailed();
        return 0;
    }
    return bytes;
}

std::size_t FileDownload::OnRangeWrite(Transfer& t, const char* data, std::size_t bytes) {
    if (context_.stop.is_set()) return 0;
    if (!t.begun) {
        // Exactly the range asked for, as sent: anything else is refused
        // (all of the file, a 200, most often: the server ignores ranges).
        t.begun = true;
        const DeltaWriter::Range& range = delta_->Ranges()[t.range];
        const std::string encoding = t.curl.response_header("Content-Encoding");
        t.refused = t.curl.response_code() != 206 ||
                    !(encoding.empty() || encoding == "identity") ||
                    !RangeIs(t.curl.response_header("Content-Range"), t.first, range.last,
                             file_.entry->size);
    }
    if (t.refused) return 0;
    if (!delta_->Write(t.range, data, bytes)) {
        if (!delta_->Corrupt()) WriteFailed();
        return 0;
    }
    return bytes;
}

void FileDownload::WriteFailed() {
    writeFailed_ = true;
    WriteLauncherLog("Dosya yazma hatası: %d"_cp1254, platform::last_error());
    context_.report.Failed({FailureKind::Write});
}

void FileDownload::Ended(multi_curl& transfers, easy_curl* transfer, CURLcode code) {
    for (const auto& t : transfers_) {
        // The end of a transfer the file took back (a fallback to the whole
        // file ended the delta's ranges) was collected with the others: it
        // is no longer waited for.
        if (&t->curl != transfer || !t->busy) continue;
        t->busy = false;
        if (delta_) return RangeEnded(transfers, *t, code);
        return WholeEnded(code);
    }
}

void FileDownload::WholeEnded(CURLcode code) {
    easy_curl& curl = transfers_.front()->curl;
    const bool rangeRefused =
        sink_->Refused() || (code == CURLE_HTTP_RETURNED_ERROR && curl.response_code() == 416);
    if (resumed_ && sink_->Offset() > 0 && rangeRefused && !context_.stop.is_set()) {
        // The server would not give the rest of that copy: all of it, at
        // once. Nothing of the refused reply counts.
        context_.progress.Resumed(-resumedBytes_ - static_cast<double>(curl.received()));
        return StartWhole(false);
    }
    curl.set_resume(0, "");
    sink_->file.close();
    // A body that ended short of the listed size (a server that closed it
    // early, a page in the file's place) is no more the listed file than a
    // longer one: what libcurl took for a whole body fails as a cut one.
    const bool shorter = code == CURLE_OK && sink_->Taken() < file_.entry->size;
    if (shorter) {
        sink_->Fail();
        code = CURLE_PARTIAL_FILE;
    }
    // libcurl calls a refused body a failed write: not the player's disk.
    const std::string error = sink_->Overlong() || shorter
                                  ? file_.entry->path + (shorter ? ": shorter" : ": longer") +
                                        " than the list says; not the listed file"
                                  : curl.error_text(code);
    const std::string why = file_.entry->path + ": not the signed bytes; not put in place";
    const bool failed = code != CURLE_OK || !sink_->Matches();
    MirrorSet& hosts = context_.hosts;
    if (!failed) {
        hosts.Served(transfers_.front()->host, curl.received(), curl.url);
    } else if (!context_.stop.is_set() && !writeFailed_ &&
               hosts.MoveOn(transfers_.front()->host, tried_, code != CURLE_OK ? error : why)) {
        // A transfer cut short goes on from its bytes (all of them are
        // checked at the end); a reply that was wrong is not kept.
        return WholeElsewhere(code != CURLE_OK && code != CURLE_HTTP_RETURNED_ERROR && !shorter &&
                              !sink_->Overlong());
    }
    if (code != CURLE_OK) {
        // What came stays for the next run when it can go on from there.
        if (code != CURLE_HTTP_RETURNED_ERROR) sink_->KeepRecord();
        resumable_ = code != CURLE_HTTP_RETURNED_ERROR && sink_->Resumable();
        if (!resumable_) sink_->Discard(false);
        WriteLauncherLog("http hatası: %d"_cp1254, static_cast<int>(code));
        // A transfer cut short by a stop is no failure.
        if (!context_.stop.is_set()) context_.report.Failed({FailureKind::Transfer, code, error});
        state_ = context_.stop.is_set() ? State::Stopped : State::Failed;
        return;
    }
    // Bytes that are not the signed ones never take the game file's place,
    // nor stay to be gone on from.
    if (failed) {
        LogRefusal(why);
        context_.report.Failed({FailureKind::NotSigned, 0, why});
        sink_->Discard(false);
        state_ = State::Failed;
        return;
    }
    sink_->Discard(true);
    PutInPlace(scratch_.file);
}

void FileDownload::WholeElsewhere(bool goOn) {
    context_.progress.Resumed(-resumedBytes_);
    if (goOn) {
        sink_->KeepRecord();
    } else {
        sink_->Discard(false);
    }
    StartWhole(goOn);
}

void FileDownload::RangeEnded(multi_curl& transfers, Transfer& t, CURLcode code) {
    if (code == CURLE_OK && delta_->RangeDone(t.range)) {
        return context_.hosts.Served(t.host, t.curl.received(), t.curl.url);
    }
    if (context_.stop.is_set()) return;  // Stop() ends the rest
    const std::string why = t.refused || code == CURLE_OK ? "not the range asked for"
                            : delta_->Corrupt()           ? "not the signed bytes"
                                                          : t.curl.error_text(code);
    if (!writeFailed_ && context_.hosts.MoveOn(t.host, rangeTried_[t.range], why)) {
        delta_->Rewind(t.range);
        retry_.push_back(t.range);
        return;
    }
    // A range that ended "OK" without all its bytes (a 200 with no body, a
    // 206 cut short) is refused as a wrong one is.
    if (t.refused || code == CURLE_OK ||
        (code == CURLE_HTTP_RETURNED_ERROR && t.curl.response_code() == 416)) {
        context_.rangesRefused = true;
        return FallBackToWhole(transfers, "");
    }
    if (delta_->Corrupt()) {
        return FallBackToWhole(transfers, "a range of the file is not the signed bytes");
    }
    Fail(transfers, code, t.curl.error_text(code));
}

// A failed range fails the file; the chunks that came stay for the next run.
void FileDownload::Fail(multi_curl& transfers, CURLcode code, const std::string& error) {
    EndTransfers(transfers);
    resumable_ = !writeFailed_ && delta_->HasRecord();
    if (resumable_) {
        delta_->Close();
    } else {
        delta_->Discard(false);
    }
    WriteLauncherLog("http hatası: %d"_cp1254, static_cast<int>(code));
    context_.report.Failed({FailureKind::Transfer, code, error});
    state_ = State::Failed;
}

void FileDownload::FallBackToWhole(multi_curl& transfers, const std::string& why) {
    EndTransfers(transfers);
    delta_->Discard(false);
    delta_.reset();
    if (!why.empty()) LogRefusal(file_.entry->path + ": " + why + "; fetched whole");
    afterDelta_ = true;
    // The size limit holds for what a run fetches, not only for its plan.
    if (DueWhole(file_.entry->size)) StartWhole(false);
}

void FileDownload::GiveUp(multi_curl& transfers) {
    if (state_ != State::Running) return;
    const std::string why = file_.entry->path + ": nothing more came; not put in place";
    if (delta_) return Fail(transfers, CURLE_PARTIAL_FILE, why);
    EndTransfers(transfers);
    if (sink_) {
        sink_->file.close();
        sink_->Discard(false);
    }
    WriteLauncherLog("http hatası: %d"_cp1254, static_cast<int>(CURLE_PARTIAL_FILE));
    context_.report.Failed({FailureKind::Transfer, CURLE_PARTIAL_FILE, why});
    state_ = State::Failed;
}

void FileDownload::MoveIfSlow(multi_curl& transfers) {
    if (state_ != State::Running || delta_ || moved_ || transfers_.empty() ||
        !transfers_.front()->busy) {
        return;
    }
    Transfer& t = *transfers_.front();
    MirrorSet& hosts = context_.hosts;
    const double seconds = std::chrono::duration<double>(hosts.Now() - asked_).count();
    const std::optional<std::size_t> other = hosts.Pick(tried_ | MirrorSet::Hosts{1} << t.host);
    if (seconds < kMoveAfterSeconds || !other) return;
    if (sink_->Taken() >= file_.entry->size) return;
    const double left = static_cast<double>(file_.entry->size - sink_->Taken());
    const double here = static_cast<double>(t.curl.received()) / seconds;
    const double there = hosts.RequestRate(*other);
    // Moved when it would be done sooner there, with time to spare.
    if (there <= 0 || left / std::max(here, 1.0) < 2 * (left / there) + kMoveAfterSeconds) return;
    moved_ = true;
    tried_ |= MirrorSet::Hosts{1} << t.host;
    EndTransfers(transfers);
    sink_->file.close();
    WholeElsewhere(true);
}

void FileDownload::EndTransfers(multi_curl& transfers) {
    for (const auto& t : transfers_) t->End(transfers, context_.hosts);
}

bool FileDownload::Work(multi_curl& transfers) {
    if (state_ != State::Running || !delta_) return false;
    const std::uint64_t before = delta_->Made();
    if (!delta_->Advance(kWorkBytes)) {
        WriteFailed();
        Fail(transfers, CURLE_WRITE_ERROR, "the file could not be made from its old copy");
        return false;
    }
    if (!delta_->Complete()) return delta_->Made() != before;
    if (!delta_->Matches()) {
        FallBackToWhole(transfers, "made from its old copy, not the signed bytes");
        // The whole file is asked for at the next turn: not a file that
        // waits for nothing.
        return Wants();
    }
    delta_->Discard(true);
    PutInPlace(scratch_.file);
    return false;
}

// The scratch file gets the list's time and then takes the game file's
// place by a rename: the game file changes content and time in one step,
// so no moment leaves it looking current with other bytes. When that fails
// the old file stays as it was, time included.
void FileDownload::PutInPlace(const std::string& scratch) {
    SetFileToPatchTime(scratch, file_.entry->timeStamp);
    if (platform::replace_file(scratch, file_.entry->path)) {
        state_ = State::Placed;
        return;
    }
    WriteLauncherLog("Dosya yazma hatası: %d"_cp1254, platform::last_error());
    context_.report.Failed({FailureKind::Write});
    platform::delete_file(scratch);
    state_ = State::NotPlaced;
}

void FileDownload::Stop(multi_curl& transfers) {
    if (state_ != State::Running) return;
    EndTransfers(transfers);
    if (delta_) {
        // The scratch file and its record stay for the next run.
        resumable_ = !writeFailed_ && delta_->HasRecord();
        if (resumable_) {
            delta_->Close();
        } else {
            delta_->Discard(false);
        }
    } else {
        sink_->file.close();
        sink_->KeepRecord();
        resumable_ = sink_->Resumable();
        if (!resumable_) sink_->Discard(false);
    }
    WriteLauncherLog("http hatası: %d"_cp1254, static_cast<int>(CURLE_ABORTED_BY_CALLBACK));
    state_ = State::Stopped;
}

std::vector<const PlannedFile*> FileDownload::PlacedFiles() const {
    if (state_ == State::Placed) return {&file_};
    return {};
}

double FileDownload::Done() const {
    if (delta_) return static_cast<double>(delta_->Made());
    return sink_ ? static_cast<double>(sink_->Taken()) : 0.0;
}
