// SHA-256 of a stream, hashed on a thread of its own behind the caller: a
// download is received and written on one core while the hash of what came
// before is worked out on another, so that where a core is free hashing
// costs the transfer no time. Update() copies the bytes into one of four
// blocks of 256 KiB and returns at once (it waits only while every block is
// still being hashed); a stream shorter than one block never starts the
// thread and is hashed by the caller in Final().
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "trust/sha256.h"

namespace trust {

class Sha256Behind {
public:
    Sha256Behind();
    ~Sha256Behind();
    Sha256Behind(const Sha256Behind&) = delete;
    Sha256Behind& operator=(const Sha256Behind&) = delete;

    void Update(const void* data, std::size_t size);
    // The digest of everything fed since construction or the last Final();
    // the thread has ended and the hasher starts over afterwards.
    Sha256Digest Final();

private:
    using Block = std::vector<unsigned char>;
    void Hand(Block block);  // to the thread, which it starts when needed
    void Work();

    Sha256 hash_;  // the thread's while it runs
    Block filling_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Block> full_;  // to hash, in order
    std::vector<Block> free_;
    std::size_t blocks_ = 0;  // made so far
    bool ending_ = false;
};

}  // namespace trust
