#include "patch/attribute_survey.h"

#include <algorithm>

AttributeSurvey::AttributeSurvey(std::vector<const std::string*> paths)
    : paths_(std::move(paths)),
      files_(paths_.size()),
      errors_(paths_.size()),
      blocks_(new std::atomic<int>[(paths_.size() + kBlock - 1) / kBlock]),
      blockCount_((paths_.size() + kBlock - 1) / kBlock) {
    for (std::size_t b = 0; b < blockCount_; ++b) blocks_[b].store(Free);
    // A short list is not worth a thread.
    if (blockCount_ > 1) helper_ = std::thread([this] { Helper(); });
}

AttributeSurvey::~AttributeSurvey() {
    quit_ = true;
    if (helper_.joinable()) helper_.join();
}

bool AttributeSurvey::Claim(std::size_t block) {
    int expected = Free;
    return blocks_[block].compare_exchange_strong(expected, Taken);
}

void AttributeSurvey::Survey(std::size_t block, platform::AttributeReader& reader) {
    const std::size_t end = std::min(paths_.size(), (block + 1) * kBlock);
    for (std::size_t i = block * kBlock; i < end && !quit_; ++i) {
        files_[i] = reader.open(*paths_[i], errors_[i]);
    }
    blocks_[block].store(Done);
    blocks_[block].notify_all();
}

void AttributeSurvey::Helper() {
    platform::AttributeReader reader;
    for (std::size_t b = 0; b < blockCount_ && !quit_; ++b) {
        if (Claim(b)) Survey(b, reader);
    }
}

platform::File AttributeSurvey::Take(std::size_t i, int& error) {
    const std::size_t block = i / kBlock;
    if (i % kBlock == 0) {
        if (Claim(block)) {
            Survey(block, reader_);
        } else {
            blocks_[block].wait(Taken);
        }
    }
    error = errors_[i];
    return std::move(files_[i]);
}
