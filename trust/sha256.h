// SHA-256, fed chunk by chunk so that a file is hashed while it is written
// or read, never read a second time for it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace trust {

using Sha256Digest = std::array<std::uint8_t, 32>;

// A moved-from hasher may only be assigned to or destroyed.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(Sha256&&) noexcept;
    Sha256& operator=(Sha256&&) noexcept;

    void Update(const void* data, std::size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // The digest of everything fed since construction or the last Final();
    // the hasher starts over afterwards.
    Sha256Digest Final();

private:
    struct Context;
    std::unique_ptr<Context> context_;
};

Sha256Digest Sha256Of(std::string_view bytes);

// Reads `file` from where it stands to its end into the hash. False when a
// read fails (platform::last_error() tells why).
bool Sha256OfFile(platform::File& file, Sha256Digest& digest);

// 64 lowercase hex digits, as sha256sum prints them.
std::string ToHex(const Sha256Digest& digest);
// Only 64 lowercase hex digits are taken.
bool FromHex(std::string_view hex, Sha256Digest& digest);

}  // namespace trust
