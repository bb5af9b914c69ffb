#include "patch/download_executor.h"

#include <deque>
#include <memory>
#include <optional>

#include "log/launcher_log.h"
#include "net/multi_curl.h"
#include "patch/file_checks.h"
#include "patch/pack_download.h"
#include "patch/self_update.h"

namespace {

using talvo::utility::multi_curl;

// The scratch slots: which an earlier run left a record in (and for which
// file of this plan), which are in use, and which must stay at the end.
class Slots {
public:
    explicit Slots(const DownloadPlan& plan) : plan_(plan) {
        for (std::size_t slot = 0; slot < kScratchSlots; ++slot) {
            const ScratchNames names = ScratchSlot(slot);
            State& s = slots_[slot];
            s.there = platform::file_exists(names.file) || platform::file_exists(names.record) ||
                      platform::file_exists(names.newRecord);
            std::string text;
            ResumeRecord record;
            if (!s.there || !platform::read_file(names.record, text) ||
                !ParseResumeRecord(text, record)) {
                continue;
            }
            for (std::size_t i = 0; i < plan_.size(); ++i) {
                const UpdateListEntry& e = *plan_[i].entry;
                if (record.url == plan_[i].url && record.size == e.size &&
                    record.timeStamp == e.timeStamp && plan_[i].way != PlannedFile::Way::Stamp) {
                    s.forFile = i;
                }
            }
        }
    }

    // The slot of plan file `i`: the one an earlier run left for it, else
    // the first free one nobody's partial waits in.
    std::size_t Take(std::size_t i) {
        const auto first = [this](auto fits) {
            for (std::size_t slot = 0; slot < kScratchSlots; ++slot) {
                if (!slots_[slot].used && fits(slots_[slot])) return slot;
            }
            return kScratchSlots;
        };
        std::size_t slot = first([i](const State& s) { return s.forFile == i; });
        if (slot == kScratchSlots) slot = first([](const State& s) { return !s.forFile; });
        if (slot == kScratchSlots) slot = first([](const State&) { return true; });
        slots_[slot].used = slots_[slot].there = true;
        slots_[slot].forFile.reset();
        return slot;
    }
    // The file in `slot` has ended; a partial to go on with stays.
    void Release(std::size_t slot, bool keep) {
        slots_[slot].used = false;
        slots_[slot].keep = keep;
    }
    // Removes every scratch file and record that no later run can use: all
    // but the partials kept and those of files this run did not reach.
    void Clean() const {
        for (std::size_t slot = 0; slot < kScratchSlots; ++slot) {
            const State& s = slots_[slot];
            if (!s.there || s.keep || s.forFile) continue;
            const ScratchNames names = ScratchSlot(slot);
            platform::delete_file(names.file);
            platform::delete_file(names.record);
            platform::delete_file(names.newRecord);
        }
    }

private:
    struct State {
        bool there = false, used = false, keep = false;
        std::optional<std::size_t> forFile;
    };
    const DownloadPlan& plan_;
    State slots_[kScratchSlots];
};

// One run of the plan: the files in flight, in list order, and what the
// player is shown.
class Executor {
public:
    Executor(const DownloadPlan& plan, DownloadContext& context, multi_curl& transfers)
        : plan_(plan), context_(context), transfers_(transfers), slots_(plan) {}

    DownloadOutcome Run() {
        while (!outcome_.noScratch && !outcome_.tooMuch) {
            if (context_.stop.is_set()) {
                for (const auto& file : active_) file->Stop(transfers_);
            }
            StartFiles();
            ShowFirst();
            for (const auto& file : active_) file->MoveIfSlow(transfers_);
            for (const auto& file : active_) file->Dispatch(transfers_);
            bool working = false;
            for (const auto& file : active_) working |= file->Work(transfers_);
            if (active_.empty()) break;
            if (transfers_.running() == 0 && !working) {
                for (const auto& file : active_) file->GiveUp(transfers_);
            }
            Collect(std::chrono::milliseconds(working ? 0 : 100));
            Settle();
            ShowFirst();
            if (shown_ != nullptr) context_.progress.Show(shown_->Done(), shown_->entry().size);
        }
        for (const auto& file : active_) {
            file->Stop(transfers_);
            slots_.Release(file->slot(), file->Resumable());
        }
        slots_.Clean();
        return outcome_;
    }

private:
    // The next files start while transfers are free for them and no file
    // in flight waits for one.
    void StartFiles() {
        while (!failed_ && !context_.stop.is_set() && next_ < plan_.size() &&
               active_.size() < std::min(transfers_.max_transfers(), kScratchSlots) &&
               transfers_.running() < transfers_.max_transfers() &&
               std::none_of(active_.begin(), active_.end(),
                            [](const auto& f) { return f->Wants(); })) {
            const PlannedFile& file = plan_[next_];
            if (file.way == PlannedFile::Way::Stamp) {
                // The signed bytes are there already: only the time was wrong.
                WriteLauncherLog("%s download ediliyor...", file.entry->path.c_str());
                SetFileToPatchTime(file.entry->path, file.entry->timeStamp);
                Placed(file);
                ++next_;
                continue;
            }
            if (file.way == PlannedFile::Way::Pack) {
                const std::size_t n = PackDownload::Batch(&file, plan_.size() - next_);
                active_.push_back(
                    std::make_unique<PackDownload>(&file, n, slots_.Take(next_), context_));
                next_ += n;
            } else {
                active_.push_back(
                    std::make_unique<FileDownload>(file, slots_.Take(next_++), context_));
            }
            active_.back()->Start();
            active_.back()->Dispatch(transfers_);
        }
    }

    // The player sees the first file of the list still in flight, named
    // before any file after it is counted done.
    void ShowFirst() {
        if (active_.empty() || shown_ == active_.front().get()) return;
        shown_ = active_.front().get();
        context_.report.ShowFile(shown_->entry().path);
        context_.progress.NewFile();
    }

    // Each transfer that ended goes to its file, found through the transfer.
    void Collect(std::chrono::milliseconds wait) {
        for (const auto& ended : transfers_.run(wait)) {
            if (Download* file = Download::Of(*ended.transfer)) {
                file->Ended(transfers_, ended.transfer, ended.code);
            }
        }
        context_.progress.Received(static_cast<double>(transfers_.take_received()));
    }

    // The files that have ended leave the flight, each with its outcome.
    void Settle() {
        for (auto it = active_.begin(); it != active_.end();) {
            Download& file = **it;
            if (file.state() == Download::State::Running) {
                ++it;
                continue;
            }
            Ended(file);
            slots_.Release(file.slot(), file.Resumable());
            if (shown_ == &file) shown_ = nullptr;
            it = active_.erase(it);
        }
    }

    void Ended(const Download& download) {
        for (const PlannedFile* file : download.PlacedFiles()) Placed(*file);
        switch (download.state()) {
            case Download::State::NoScratch:
                return NoScratch();
            case Download::State::TooMuch:
                outcome_.tooMuch = true;
                return;
            case Download::State::Failed:
                failed_ = true;
                return;
            case Download::State::Placed:
            case Download::State::Running:
            case Download::State::NotPlaced:
            case Download::State::Stopped:
                return;
        }
    }

    void Placed(const PlannedFile& file) {
        context_.progress.FileDone();
        outcome_.launcherPlaced |= file.entry->path == kLauncherFile;
        if (file.hash != nullptr && context_.installed)
            context_.installed->Set(file.entry->path, *file.hash);
    }

    void NoScratch() {
        // Once the window closes, no box and no failure: the run just ends.
        if (!context_.stop.is_set()) {
            context_.report.Notify({u"Could not create ~temp.dat !", u"Error",
                                    platform::BoxIcon::None, platform::BoxOwner::None});
            context_.report.Failed({FailureKind::Write});
        }
        outcome_.noScratch = true;
    }

    const DownloadPlan& plan_;
    DownloadContext& context_;
    multi_curl& transfers_;
    Slots slots_;
    std::deque<std::unique_ptr<Download>> active_;
    std::size_t next_ = 0;
    bool failed_ = false;
    const Download* shown_ = nullptr;
    DownloadOutcome outcome_;
};

}  // namespace

DownloadOutcome RunDownloads(const DownloadPlan& plan, DownloadContext& context,
                             multi_curl& transfers) {
    return Executor(plan, context, transfers).Run();
}
