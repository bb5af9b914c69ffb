#include "patch/download_executor.h"

#include <deque>
#include <memory>
#include <optional>

#include "log/launcher_log.h"
#include "net/multi_curl.h"
#include "patch/file_checks.h"
#include "patch/messages.h"
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

}  // namespace

DownloadOutcome RunDownloads(const DownloadPlan& plan, DownloadContext& context,
                             multi_curl& transfers,
                             const boost::function<void(const std::string&)>& showFile) {
    DownloadOutcome outcome;
    Slots slots(plan);
    std::deque<std::unique_ptr<FileDownload>> active;
    const std::size_t maxActive = std::min(transfers.max_transfers(), kScratchSlots);
    std::size_t next = 0;
    bool failed = false;
    const FileDownload* shown = nullptr;
    const auto noScratch = [&] {
        // Once the window closes, no box and no failure: the run just ends.
        if (!context.stop.is_set()) {
            context.window->MessageBox(u"Could not create ~temp.dat !", u"Error", platform::MB_OK,
                                       platform::BoxOwner::None);
            context.window->PostMessage(WM_PATCH_FAILED, 1, 0);
        }
        outcome.noScratch = true;
    };
    // The player sees the first file of the list still in flight, named
    // before any file after it is counted done.
    const auto showFirst = [&] {
        if (active.empty() || shown == active.front().get()) return;
        shown = active.front().get();
        showFile(shown->entry().path);
        context.progress.NewFile();
    };
    const auto placed = [&](const PlannedFile& file) {
        context.progress.FileDone();
        outcome.launcherPlaced |= file.entry->path == kLauncherFile;
        if (file.hash != nullptr && context.installed)
            context.installed->Set(file.entry->path, *file.hash);
    };
    while (!outcome.noScratch && !outcome.tooMuch) {
        if (context.stop.is_set()) {
            for (const auto& file : active) file->Stop(transfers);
        }
        // The next file starts when a transfer is free for it.
        while (
            !failed && !context.stop.is_set() && next < plan.size() && active.size() < maxActive &&
            transfers.running() < transfers.max_transfers() &&
            std::none_of(active.begin(), active.end(), [](const auto& f) { return f->Wants(); })) {
            const PlannedFile& file = plan[next];
            if (file.way == PlannedFile::Way::Stamp) {
                // The signed bytes are there already: only the time was wrong.
                WriteLauncherLog("%s download ediliyor...", file.entry->path.c_str());
                SetFileToPatchTime(file.entry->path, file.entry->timeStamp);
                placed(file);
                ++next;
                continue;
            }
            active.push_back(std::make_unique<FileDownload>(file, slots.Take(next++), context));
            active.back()->Start();
            active.back()->Dispatch(transfers);
        }
        showFirst();
        for (const auto& file : active) file->Dispatch(transfers);
        bool working = false;
        for (const auto& file : active) working |= file->Work(transfers);
        if (active.empty()) break;
        if (transfers.running() == 0 && !working) {
            for (const auto& file : active) file->GiveUp(transfers);
        }
        for (const auto& ended : transfers.run(std::chrono::milliseconds(working ? 0 : 100))) {
            for (const auto& file : active) {
                if (file->Owns(ended.transfer)) file->Ended(transfers, ended.transfer, ended.code);
            }
        }
        context.progress.Received(static_cast<double>(transfers.take_received()));
        for (auto it = active.begin(); it != active.end();) {
            FileDownload& file = **it;
            switch (file.state()) {
                case FileDownload::State::Running:
                    ++it;
                    continue;
                case FileDownload::State::Placed:
                    placed(file.planned());
                    break;
                case FileDownload::State::NoScratch:
                    noScratch();
                    break;
                case FileDownload::State::TooMuch:
                    outcome.tooMuch = true;
                    break;
                case FileDownload::State::Failed:
                    failed = true;
                    break;
                case FileDownload::State::NotPlaced:
                case FileDownload::State::Stopped:
                    break;
            }
            slots.Release(file.slot(), file.Resumable());
            if (shown == &file) shown = nullptr;
            it = active.erase(it);
        }
        showFirst();
        if (shown != nullptr) context.progress.Show(shown->Done(), shown->entry().size);
    }
    for (const auto& file : active) {
        file->Stop(transfers);
        slots.Release(file->slot(), file->Resumable());
    }
    slots.Clean();
    return outcome;
}
