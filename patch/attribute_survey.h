// The attributes of every listed file, looked up ahead of the check that
// judges them, on two threads: the caller's and one helper. Each takes the
// next block of the list that nobody has taken yet; the caller takes the
// results in list order, waiting for a block only while the helper is still
// in it. Paths resolve against the current directory at construction.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/file.h"

class AttributeSurvey {
public:
    explicit AttributeSurvey(std::vector<const std::string*> paths);
    // Stops the helper (it ends within one file) and joins it.
    ~AttributeSurvey();
    AttributeSurvey(const AttributeSurvey&) = delete;
    AttributeSurvey& operator=(const AttributeSurvey&) = delete;

    // The i-th path's handle, as File::open_for_attributes gives it, or an
    // invalid one with the error in `error`. Each i once, in order.
    platform::File Take(std::size_t i, int& error);

private:
    static constexpr std::size_t kBlock = 256;
    enum State : int { Free, Taken, Done };

    bool Claim(std::size_t block);
    void Survey(std::size_t block, platform::AttributeReader& reader);
    void Helper();

    const std::vector<const std::string*> paths_;
    std::vector<platform::File> files_;
    std::vector<int> errors_;
    std::unique_ptr<std::atomic<int>[]> blocks_;
    std::size_t blockCount_;
    std::atomic<bool> quit_{false};
    platform::AttributeReader reader_;
    std::thread helper_;
};
