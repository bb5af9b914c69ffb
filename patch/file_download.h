// One due file of the download phase, from its start to its place in the
// game directory: fetched whole (the rest of a partial an earlier run left,
// where the server agrees) or as a delta (ranges of the new file beside the
// chunks of its old copy, several in flight), falling back to all of the
// file when the server answers a range with all of it or a delta does not
// come out as the signed bytes (then once; a second time is a failure),
// the whole file counted against the size limit first.
// A request that fails (an error, a stall, a reply that is not the bytes
// asked for) goes to the next host that has not failed it, going on from
// the bytes already checked; the file fails when every host has.
// On a signed site it is hashed whole; it is put in place and stamped with
// the list's time only once all its bytes are there and are the signed
// ones.
//
// The executor (download_executor.h) drives it from the worker thread:
// Start(), then Dispatch() its requests as transfers are free, Ended() for
// each that ends, Work() for the copying and hashing of a delta, until its
// state() is no longer Running.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "net/easy_curl.h"
#include "patch/delta_writer.h"
#include "patch/download_plan.h"
#include "patch/file_sink.h"
#include "patch/installed_hashes.h"
#include "patch/mirror_set.h"
#include "patch/run_progress.h"
#include "patch/run_report.h"
#include "platform/event.h"

namespace talvo::utility {
class multi_curl;
}

// What the files of one download phase share.
struct DownloadContext {
    RunReport& report;
    const PatchOptions& options;
    RunProgress& progress;
    const platform::ManualResetEvent& stop;
    // The hosts each request may go to.
    MirrorSet& hosts;
    // On a signed site, where each file put in place is noted with its hash.
    InstalledHashes* installed = nullptr;
    // The server answered a range with all of a file: no deltas from it in
    // this run.
    bool rangesRefused = false;
};

// A request of a download, in flight on a transfer of its own.
struct HostRequest {
    talvo::utility::easy_curl curl;
    std::size_t host = 0;  // of the context's hosts
    bool busy = false;     // in flight
    bool begun = false;    // its reply's first bytes came
    bool refused = false;  // the reply was not the bytes asked for
    // Takes it out of `transfers` when it is in flight, its host told.
    void End(talvo::utility::multi_curl& transfers, MirrorSet& hosts);
};

// What the executor drives in flight: one file (FileDownload), or small
// files of one pack (PackDownload).
class Download {
public:
    enum class State {
        Running,
        Placed,     // in place with the list's time
        NotPlaced,  // all there, but the game file could not be replaced
        Failed,     // a transfer failed, or the bytes were not the signed ones
        NoScratch,  // no scratch file could be made: the run ends
        TooMuch,    // all of it would take the run past the size limit: the run ends
        Stopped,
    };
    virtual ~Download() = default;

    // Opens its scratch file (going on with an earlier run's where it can).
    virtual void Start() = 0;
    // It has a request to start.
    virtual bool Wants() const = 0;
    // Starts what it can while `transfers` has room.
    virtual void Dispatch(talvo::utility::multi_curl& transfers) = 0;
    // The download whose transfer `transfer` is (kept on the transfer itself).
    static Download* Of(const talvo::utility::easy_curl& transfer);
    virtual void Ended(talvo::utility::multi_curl& transfers, talvo::utility::easy_curl* transfer,
                       CURLcode code) = 0;
    // Copies and hashes a delta's next bytes; true while there is more of
    // that to do now (nothing to wait for).
    virtual bool Work(talvo::utility::multi_curl&) { return false; }
    // Ends every transfer of it; what a later run can go on with is kept.
    virtual void Stop(talvo::utility::multi_curl& transfers) = 0;
    // Nothing of it is in flight and nothing more will be: it fails rather
    // than wait.
    virtual void GiveUp(talvo::utility::multi_curl& transfers) = 0;
    // A file fetched whole from a host far slower than another would be goes
    // on from its bytes so far on that other host; once a file.
    virtual void MoveIfSlow(talvo::utility::multi_curl&) {}
    // The bytes of it that are there, for the progress shown.
    virtual double Done() const = 0;
    // The files it put in place with the list's time, in list order.
    virtual std::vector<const PlannedFile*> PlacedFiles() const = 0;
    // The first of its files, shown while it is in flight.
    virtual const UpdateListEntry& entry() const = 0;

    State state() const { return state_; }
    // Ended with a partial a later run can go on with, kept with its record.
    bool Resumable() const { return resumable_; }
    std::size_t slot() const { return slot_; }

protected:
    explicit Download(std::size_t slot) : slot_(slot) {}
    State state_ = State::Running;
    bool resumable_ = false;
    const std::size_t slot_;
};

class FileDownload : public Download {
public:
    FileDownload(const PlannedFile& file, std::size_t slot, DownloadContext& context);
    ~FileDownload() override;
    FileDownload(const FileDownload&) = delete;
    FileDownload& operator=(const FileDownload&) = delete;

    void Start() override;
    bool Wants() const override;
    void Dispatch(talvo::utility::multi_curl& transfers) override;
    void Ended(talvo::utility::multi_curl& transfers, talvo::utility::easy_curl* transfer,
               CURLcode code) override;
    bool Work(talvo::utility::multi_curl& transfers) override;
    void Stop(talvo::utility::multi_curl& transfers) override;
    void GiveUp(talvo::utility::multi_curl& transfers) override;
    void MoveIfSlow(talvo::utility::multi_curl& transfers) override;
    double Done() const override;
    std::vector<const PlannedFile*> PlacedFiles() const override;
    const UpdateListEntry& entry() const override { return *file_.entry; }

private:
    struct Transfer;
    void StartWhole(bool resume);
    void StartDelta();
    std::size_t OnWholeWrite(const char* data, std::size_t bytes);
    std::size_t OnRangeWrite(Transfer& t, const char* data, std::size_t bytes);
    void WholeEnded(CURLcode code);
    // The whole file asked of the next host: going on from its bytes so far
    // (`goOn`), or from the start.
    void WholeElsewhere(bool goOn);
    void RangeEnded(talvo::utility::multi_curl& transfers, Transfer& t, CURLcode code);
    void FallBackToWhole(talvo::utility::multi_curl& transfers, const std::string& why);
    // `more` bytes of it due on top of the plan: false (TooMuch) past the limit.
    bool DueWhole(std::uint64_t more);
    void Fail(talvo::utility::multi_curl& transfers, CURLcode code, const std::string& error);
    void WriteFailed();
    void PutInPlace(const std::string& scratch);
    void EndTransfers(talvo::utility::multi_curl& transfers);
    Transfer& FreeTransfer();

    const PlannedFile& file_;
    const ScratchNames scratch_;
    DownloadContext& context_;
    std::vector<std::unique_ptr<Transfer>> transfers_;
    // Fetched whole: one transfer, its sink; the resumed bytes counted.
    std::unique_ptr<FileSink> sink_;
    bool wholeWaiting_ = false;
    bool resumed_ = false;
    double resumedBytes_ = 0;
    bool afterDelta_ = false;
    // A delta: its writer, the next range to ask for, those in flight.
    std::unique_ptr<DeltaWriter> delta_;
    std::size_t nextRange_ = 0;
    bool writeFailed_ = false;
    // The hosts the whole file, and each range, failed on; the ranges to
    // ask for again.
    MirrorSet::Hosts tried_ = 0;
    std::chrono::steady_clock::time_point asked_;  // the whole file, of its host
    bool moved_ = false;
    std::vector<MirrorSet::Hosts> rangeTried_;
    std::vector<std::size_t> retry_;
};
