#include "trust/sha256_behind.h"

#include <cstring>

namespace trust {

namespace {

constexpr std::size_t kBlockSize = 256 << 10;
constexpr std::size_t kMaxBlocks = 3;  // besides the one being filled

}  // namespace

// The first block grows as it fills: a small file costs no block of its own.
Sha256Behind::Sha256Behind() = default;

Sha256Behind::~Sha256Behind() {
    Final();
}

void Sha256Behind::Update(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const std::size_t n = std::min(size, kBlockSize - filling_.size());
        filling_.insert(filling_.end(), bytes, bytes + n);
        bytes += n;
        size -= n;
        if (filling_.size() < kBlockSize) continue;
        Hand(std::move(filling_));
        std::unique_lock<std::mutex> lock(mutex_);
        if (free_.empty() && blocks_ < kMaxBlocks) {
            ++blocks_;
            free_.emplace_back().reserve(kBlockSize);
        }
        changed_.wait(lock, [this] { return !free_.empty(); });
        filling_ = std::move(free_.back());
        free_.pop_back();
    }
}

void Sha256Behind::Hand(Block block) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        full_.push_back(std::move(block));
    }
    if (!thread_.joinable()) {
        ending_ = false;
        thread_ = std::thread([this] { Work(); });
    }
    changed_.notify_all();
}

void Sha256Behind::Work() {
    for (;;) {
        Block block;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !full_.empty() || ending_; });
            if (full_.empty()) return;
            block = std::move(full_.front());
            full_.pop_front();
        }
        hash_.Update(block.data(), block.size());
        block.clear();
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            free_.push_back(std::move(block));
        }
        changed_.notify_all();
    }
}

Sha256Digest Sha256Behind::Final() {
    if (thread_.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            ending_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    hash_.Update(filling_.data(), filling_.size());
    filling_.clear();
    return hash_.Final();
}

}  // namespace trust
