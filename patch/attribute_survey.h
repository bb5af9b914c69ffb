// The attributes of the listed files, looked up ahead of the check that
// judges them, on two threads: a helper and the check's own. Paths come in
// as the update list arrives (Add); the helper looks up each block of them
// as soon as it is complete, and the check takes the results in list order
// (Take), looking up itself a block nobody has taken yet and waiting only
// for one the helper is still in. Paths resolve against the current
// directory at construction.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "platform/file.h"

class AttributeSurvey {
public:
    AttributeSurvey();
    // Stops the helper (it ends within one file) and joins it. The paths
    // must outlive it.
    ~AttributeSurvey();
    AttributeSurvey(const AttributeSurvey&) = delete;
    AttributeSurvey& operator=(const AttributeSurvey&) = delete;

    // The next path, from one thread; then Close() once all are in.
    void Add(const std::string* path);
    void Close();
    // After Close(), for each path in order: its handle as
    // File::open_for_attributes gives it (an invalid one with the error in
    // `error`). False when the path was not surveyed (beyond the capacity).
    bool Take(std::size_t i, platform::File& file, int& error);

private:
    static constexpr std::size_t kBlock = 256;
    static constexpr std::size_t kMaxBlocks = 1 << 16;
    enum State : int { Free, Taken, Done };
    struct Block {
        const std::string* paths[kBlock];
        platform::File files[kBlock];
        int errors[kBlock];
        std::size_t count = 0;
        std::atomic<int> state{Free};
    };

    void Publish();
    bool Claim(Block& block);
    void Survey(Block& block, platform::AttributeReader& reader);
    void Helper();

    std::unique_ptr<std::unique_ptr<Block>[]> blocks_;
    std::size_t made_ = 0;                   // blocks begun by Add
    std::atomic<std::size_t> published_{0};  // blocks complete
    std::atomic<unsigned> signal_{0};        // bumped on every publication, close and quit
    std::atomic<bool> closed_{false};
    std::atomic<bool> quit_{false};
    platform::AttributeReader reader_;
    std::thread helper_;
};
