#include "trust/keys.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "trust/base64.h"
#include "trust/text_lines.h"

namespace trust {

namespace {

constexpr std::size_t kPublicBytes = 2 + 8 + 32;
constexpr std::size_t kSecretBytes = 2 + 2 + 2 + 32 + 8 + 8 + 8 + 64 + 32;
constexpr std::size_t kSecretIdAt = 2 + 2 + 2 + 32 + 8 + 8;

// The public key an Ed25519 seed makes.
bool PublicFromSeed(const std::uint8_t* seed, std::array<std::uint8_t, 32>& out) {
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pkey(
        EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed, 32), EVP_PKEY_free);
    std::size_t size = out.size();
    return pkey && EVP_PKEY_get_raw_public_key(pkey.get(), out.data(), &size) == 1 &&
           size == out.size();
}

}  // namespace

std::string KeyIdText(const KeyId& id) {
    std::string text;
    for (auto byte = id.rbegin(); byte != id.rend(); ++byte) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", *byte);
        text += hex;
    }
    return text;
}

bool ReadPublicKey(std::string_view text, PublicKey& key, std::string& error) {
    std::vector<std::string_view> lines;
    if (!SplitLines(text, lines, error)) return false;
    if (lines.size() == 2 && !TakeComment(lines[0], kUntrustedPrefix, error)) return false;
    if (lines.size() != 1 && lines.size() != 2) {
        error = "a public key is one base64 line, or a comment line and a base64 line";
        return false;
    }
    std::vector<std::uint8_t> bytes;
    if (!DecodeBase64(lines.back(), kPublicBytes, bytes)) {
        error = "the key is not base64 of " + std::to_string(kPublicBytes) + " bytes";
        return false;
    }
    if (bytes[0] != 'E' || bytes[1] != 'd') {
        error = "not an Ed25519 key (algorithm bytes are not \"Ed\")";
        return false;
    }
    std::copy_n(bytes.begin() + 2, 8, key.id.begin());
    std::copy_n(bytes.begin() + 10, 32, key.key.begin());
    return true;
}

std::string PublicKeyLine(const PublicKey& key) {
    std::vector<std::uint8_t> bytes = {'E', 'd'};
    bytes.insert(bytes.end(), key.id.begin(), key.id.end());
    bytes.insert(bytes.end(), key.key.begin(), key.key.end());
    return EncodeBase64(bytes.data(), bytes.size());
}

std::string FormatPublicKey(const PublicKey& key) {
    return std::string(kUntrustedPrefix) + "minisign public key " + KeyIdText(key.id) + "\n" +
           PublicKeyLine(key) + "\n";
}

bool ReadSecretKey(std::string_view text, SecretKey& key, std::string& error) {
    std::vector<std::string_view> lines;
    if (!SplitLines(text, lines, error)) return false;
    if (lines.size() != 2) {
        error = "a secret key is a comment line and a base64 line";
        return false;
    }
    std::vector<std::uint8_t> bytes;
    if (!TakeComment(lines[0], kUntrustedPrefix, error)) return false;
    if (!DecodeBase64(lines[1], kSecretBytes, bytes)) {
        error = DecodeBase64(lines[1], kPublicBytes, bytes)
                    ? "a public key; signing needs the secret key"
                    : "the key is not base64 of " + std::to_string(kSecretBytes) + " bytes";
        return false;
    }
    if (bytes[0] != 'E' || bytes[1] != 'd' || bytes[4] != 'B' || bytes[5] != '2') {
        error = "not an Ed25519 key (algorithm bytes are not \"Ed\" and \"B2\")";
        return false;
    }
    if (bytes[2] != 0 || bytes[3] != 0) {
        error =
            "the key is encrypted with a password; sign with an unencrypted key "
            "(valdora-publish keygen, or minisign -G -W)";
        return false;
    }
    std::copy_n(bytes.begin() + kSecretIdAt, 8, key.id.begin());
    std::copy_n(bytes.begin() + kSecretIdAt + 8, 64, key.key.begin());
    std::array<std::uint8_t, 32> derived;
    if (!PublicFromSeed(key.key.data(), derived) ||
        !std::equal(derived.begin(), derived.end(), key.key.begin() + 32)) {
        error = "the key is damaged (its public half is not the one its seed makes)";
        return false;
    }
    return true;
}

std::string FormatSecretKey(const SecretKey& key) {
    // Unencrypted: no KDF, zero salt and limits, and a zero checksum, as
    // minisign leaves them.
    std::vector<std::uint8_t> bytes(kSecretBytes, 0);
    bytes[0] = 'E';
    bytes[1] = 'd';
    bytes[4] = 'B';
    bytes[5] = '2';
    std::copy(key.id.begin(), key.id.end(), bytes.begin() + kSecretIdAt);
    std::copy(key.key.begin(), key.key.end(), bytes.begin() + kSecretIdAt + 8);
    return std::string(kUntrustedPrefix) + "minisign secret key " + KeyIdText(key.id) +
           ", unencrypted\n" + EncodeBase64(bytes.data(), bytes.size()) + "\n";
}

PublicKey PublicKeyOf(const SecretKey& key) {
    PublicKey pub;
    pub.id = key.id;
    std::copy_n(key.key.begin() + 32, 32, pub.key.begin());
    return pub;
}

bool GenerateKeyPair(SecretKey& key, std::string& error) {
    std::array<std::uint8_t, 32> pub;
    if (RAND_bytes(key.id.data(), static_cast<int>(key.id.size())) != 1 ||
        RAND_bytes(key.key.data(), 32) != 1 || !PublicFromSeed(key.key.data(), pub)) {
        error = "no random bytes for a key";
        return false;
    }
    std::copy(pub.begin(), pub.end(), key.key.begin() + 32);
    return true;
}

}  // namespace trust
