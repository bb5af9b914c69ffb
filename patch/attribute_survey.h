// The listed files looked up and judged ahead of the check that logs and
// marks them, by a few helper threads and the check's own. Entries come in
// as the update list arrives (Add); a helper takes each block of them as
// soon as it is complete, and the check takes the results in list order
// (Take), looking up itself a block nobody has taken yet and waiting only
// for one a helper is still in. Several lookups at once keep a disk busy
// when the files are not cached, and a shared machine's processors. Paths
// resolve against the current directory at construction.
//
// The waits go through a mutex and a condition variable, not
// std::atomic::wait: where there is no futex (Windows), libstdc++ 12's
// atomic wait checks the value outside the lock its notify never takes, and
// so may sleep through a notification for good.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "patch/update_list.h"
#include "platform/file.h"

class AttributeSurvey {
public:
    AttributeSurvey();
    // Stops the helpers (each ends within one file) and joins them. The
    // entries must outlive it.
    ~AttributeSurvey();
    AttributeSurvey(const AttributeSurvey&) = delete;
    AttributeSurvey& operator=(const AttributeSurvey&) = delete;

    // The next entry, from one thread; then Close() once all are in.
    void Add(const UpdateListEntry* entry);
    void Close();
    // After Close(), for each entry in order: its file's handle as
    // File::open_for_attributes gives it (an invalid one with the error in
    // `error`), and whether the file is there with the list's size and
    // time. False when the entry was not surveyed (beyond the capacity).
    bool Take(std::size_t i, platform::File& file, int& error, bool& current);

private:
    static constexpr std::size_t kBlock = 256;
    static constexpr std::size_t kHelpers = 3;
    static constexpr std::size_t kMaxBlocks = 1 << 16;
    enum State : int { Free, Taken, Done };
    struct Block {
        const UpdateListEntry* entries[kBlock];
        platform::File files[kBlock];
        int errors[kBlock];
        bool current[kBlock];
        std::size_t count = 0;
        std::atomic<int> state{Free};
    };

    void Publish();
    // Runs `change` under the lock, then wakes every waiter.
    template <typename Change>
    void Wake(Change change);
    bool Claim(Block& block);
    void Survey(Block& block, platform::AttributeReader& reader);
    void Helper();

    std::unique_ptr<std::unique_ptr<Block>[]> blocks_;
    std::size_t made_ = 0;                   // blocks begun by Add
    std::atomic<std::size_t> published_{0};  // blocks complete
    std::atomic<bool> closed_{false};
    std::atomic<bool> quit_{false};
    std::mutex mutex_;  // held to change what a waiter waits for
    std::condition_variable changed_;
    platform::AttributeReader reader_;
    std::thread helpers_[kHelpers];
};
