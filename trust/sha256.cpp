#include "trust/sha256.h"

#include <openssl/evp.h>

#include <cstdlib>
#include <vector>

namespace trust {

struct Sha256::Context {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(ctx); }
    void Start() {
        // Fails only when the library is out of memory or broken; a hash
        // that silently went wrong would pass a bad file, so stop instead.
        if (ctx == nullptr || EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) != 1) std::abort();
    }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
    context_->Start();
}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Update(const void* data, std::size_t size) {
    if (size != 0 && EVP_DigestUpdate(context_->ctx, data, size) != 1) std::abort();
}

Sha256Digest Sha256::Final() {
    Sha256Digest digest;
    if (EVP_DigestFinal_ex(context_->ctx, digest.data(), nullptr) != 1) std::abort();
    context_->Start();
    return digest;
}

Sha256Digest Sha256Of(std::string_view bytes) {
    Sha256 hash;
    hash.Update(bytes);
    return hash.Final();
}

bool Sha256OfFile(platform::File& file, Sha256Digest& digest) {
    // Large reads: the hash keeps up with the disk only when the system
    // call count stays small.
    std::vector<unsigned char> buffer(1 << 20);
    Sha256 hash;
    for (;;) {
        const long n = file.read_some(buffer.data(), buffer.size());
        if (n < 0) return false;
        if (n == 0) break;
        hash.Update(buffer.data(), static_cast<std::size_t>(n));
    }
    digest = hash.Final();
    return true;
}

std::string ToHex(const Sha256Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

bool FromHex(std::string_view hex, Sha256Digest& digest) {
    // A manifest of a whole game reads a hundred thousand of these.
    static constexpr auto kValues = [] {
        std::array<std::int8_t, 256> values{};
        values.fill(-1);
        for (int c = '0'; c <= '9'; ++c) values[static_cast<std::size_t>(c)] = std::int8_t(c - '0');
        for (int c = 'a'; c <= 'f'; ++c)
            values[static_cast<std::size_t>(c)] = std::int8_t(c - 'a' + 10);
        return values;
    }();
    if (hex.size() != 64) return false;
    int bad = 0;
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = kValues[static_cast<unsigned char>(hex[2 * i])];
        const int low = kValues[static_cast<unsigned char>(hex[2 * i + 1])];
        bad |= high | low;  // negative once any digit is not one
        digest[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return bad >= 0;
}

}  // namespace trust
