#include "trust/base64.h"

#include <openssl/evp.h>

namespace trust {

std::string EncodeBase64(const std::uint8_t* data, std::size_t size) {
    std::string text(4 * ((size + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), data,
                                  static_cast<int>(size));
    text.resize(static_cast<std::size_t>(n));
    return text;
}

bool DecodeBase64(std::string_view text, std::size_t size, std::vector<std::uint8_t>& out) {
    if (text.size() != 4 * ((size + 2) / 3)) return false;
    // OpenSSL's decoder forgives blanks and stray bits; anything it
    // forgave does not encode back to the same text.
    std::vector<std::uint8_t> bytes(text.size() / 4 * 3);
    const int n = EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0 || static_cast<std::size_t>(n) < size) return false;
    bytes.resize(size);
    if (EncodeBase64(bytes.data(), bytes.size()) != text) return false;
    out = std::move(bytes);
    return true;
}

}  // namespace trust
