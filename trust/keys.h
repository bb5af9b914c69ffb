// Ed25519 keys in minisign's file formats, so that keys made here sign and
// check with the stock minisign tool and keys made there serve here.
//
//   public key file:  "untrusted comment: ..." LF, base64("Ed" id[8] key[32]) LF
//   secret key file:  "untrusted comment: ..." LF,
//                     base64("Ed" kdf[2] "B2" salt[32] ops[8] mem[8] id[8] key[64] chk[32]) LF
//
// Only unencrypted secret keys (kdf 0, as `minisign -G -W` writes them) are
// read; their key is the 32-byte seed followed by the public key.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace trust {

// Names the key a signature was made with; chosen at random with the key.
using KeyId = std::array<std::uint8_t, 8>;

struct PublicKey {
    KeyId id{};
    std::array<std::uint8_t, 32> key{};
};

struct SecretKey {
    KeyId id{};
    std::array<std::uint8_t, 64> key{};  // seed, then public key
};

// The id as minisign shows it: 16 uppercase hex digits, little-endian.
std::string KeyIdText(const KeyId& id);

// A public key file, or its base64 line alone (as `minisign -P` takes it),
// with or without a final LF. False with the reason in `error`.
bool ReadPublicKey(std::string_view text, PublicKey& key, std::string& error);
// The base64 line alone, without LF.
std::string PublicKeyLine(const PublicKey& key);
// A whole public key file.
std::string FormatPublicKey(const PublicKey& key);

// An unencrypted secret key file; an encrypted one is refused with advice.
// The key's public half must be the one its seed makes.
bool ReadSecretKey(std::string_view text, SecretKey& key, std::string& error);
// A whole unencrypted secret key file, as `minisign -G -W` writes it.
std::string FormatSecretKey(const SecretKey& key);

PublicKey PublicKeyOf(const SecretKey& key);

// A new key pair from the system's random source. False when it failed.
bool GenerateKeyPair(SecretKey& secretKey, std::string& error);

}  // namespace trust
