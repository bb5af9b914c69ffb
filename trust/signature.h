// Detached signatures in minisign's prehashed form, so that the stock tool
// checks what is signed here (`minisign -Vm FILE -p KEY.pub`) and signatures
// it made check here:
//
//   "untrusted comment: ..." LF
//   base64("ED" key id[8] Ed25519(BLAKE2b-512(file))[64]) LF
//   "trusted comment: " TEXT LF
//   base64(Ed25519(the 64 signature bytes, then TEXT)[64]) LF
//
// The trusted comment is signed too (the second signature); the untrusted
// one is not. minisign's older unhashed form ("Ed") is refused.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "trust/keys.h"

namespace trust {

struct Signature {
    KeyId keyId{};
    std::array<std::uint8_t, 64> signature{};
    std::string trustedComment;
    std::array<std::uint8_t, 64> globalSignature{};
};

// A signature file, with or without its final LF. False with the reason.
bool ReadSignature(std::string_view text, Signature& signature, std::string& error);
std::string FormatSignature(const Signature& signature);

// Signs `message` and `trustedComment` (one line: no LF, CR or other control
// character but tab). False when the comment cannot be a line or the
// library fails.
bool Sign(const SecretKey& key, std::string_view message, const std::string& trustedComment,
          Signature& signature, std::string& error);

// True when `signature` was made over `message` and its trusted comment by
// the trusted key with its key id. False with the reason: no trusted key
// has the id, the file was changed, or the trusted comment was.
bool Verify(const std::vector<PublicKey>& trusted, std::string_view message,
            const Signature& signature, std::string& error);

// The trusted comment alone: signed by the trusted key with the signature's
// key id together with the signature bytes, whatever file those were made
// over (which need not be at hand). False with the reason.
bool VerifyTrustedComment(const std::vector<PublicKey>& trusted, const Signature& signature,
                          std::string& error);

}  // namespace trust
