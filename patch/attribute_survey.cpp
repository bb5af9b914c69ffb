#include "patch/attribute_survey.h"

#include "patch/file_checks.h"

AttributeSurvey::AttributeSurvey() : blocks_(new std::unique_ptr<Block>[kMaxBlocks]) {
    for (std::thread& helper : helpers_) helper = std::thread([this] { Helper(); });
}

AttributeSurvey::~AttributeSurvey() {
    Wake([this] { quit_ = true; });
    for (std::thread& helper : helpers_) helper.join();
}

void AttributeSurvey::Add(const UpdateListEntry* entry) {
    if (made_ == published_.load() && made_ < kMaxBlocks)
        blocks_[made_++] = std::make_unique<Block>();
    if (made_ == published_.load()) return;  // beyond the capacity: looked up by the check
    Block& block = *blocks_[made_ - 1];
    block.entries[block.count++] = entry;
    if (block.count == kBlock) Publish();
}

void AttributeSurvey::Close() {
    if (made_ != published_.load()) Publish();
    Wake([this] { closed_ = true; });
}

void AttributeSurvey::Publish() {
    Wake([this] { published_.store(made_); });
}

template <typename Change>
void AttributeSurvey::Wake(Change change) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        change();
    }
    changed_.notify_all();
}

bool AttributeSurvey::Claim(Block& block) {
    int expected = Free;
    return block.state.compare_exchange_strong(expected, Taken);
}

void AttributeSurvey::Survey(Block& block, platform::AttributeReader& reader) {
    for (std::size_t i = 0; i < block.count && !quit_; ++i) {
        const UpdateListEntry& entry = *block.entries[i];
        platform::File& file = block.files[i];
        file = reader.open(entry.path, block.errors[i]);
        // Judging a file that is there logs nothing; one that is not is
        // left to the check, which logs why.
        block.current[i] = file.valid() && !isFileTimeDifferent(file, entry.timeStamp) &&
                           !isFileSizeDifferentWithHandle(file, entry.size);
    }
    Wake([&block] { block.state.store(Done); });
}

void AttributeSurvey::Helper() {
    platform::AttributeReader reader;
    for (std::size_t b = 0;; ++b) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return quit_ || closed_ || b < published_.load(); });
            if (quit_ || b >= published_.load()) return;
        }
        if (Claim(*blocks_[b])) Survey(*blocks_[b], reader);
    }
}

bool AttributeSurvey::Take(std::size_t i, platform::File& file, int& error, bool& current) {
    const std::size_t b = i / kBlock;
    if (b >= published_.load()) return false;
    Block& block = *blocks_[b];
    if (i % kBlock == 0) {
        if (Claim(block)) {
            Survey(block, reader_);
        } else {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&block] { return block.state.load() == Done; });
        }
    }
    file = std::move(block.files[i % kBlock]);
    error = block.errors[i % kBlock];
    current = block.current[i % kBlock];
    return true;
}
