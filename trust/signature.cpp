#include "trust/signature.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>

#include "trust/base64.h"
#include "trust/text_lines.h"

namespace trust {

namespace {

using Pkey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

bool Blake2b512(std::string_view message, std::array<std::uint8_t, 64>& out) {
    unsigned int size = 0;
    return EVP_Digest(message.data(), message.size(), out.data(), &size, EVP_blake2b512(),
                      nullptr) == 1 &&
           size == out.size();
}

bool Ed25519Sign(const SecretKey& key, std::string_view message,
                 std::array<std::uint8_t, 64>& out) {
    const Pkey pkey(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, key.key.data(), 32),
                    EVP_PKEY_free);
    const MdCtx ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    std::size_t size = out.size();
    return pkey && ctx &&
           EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) == 1 &&
           EVP_DigestSign(ctx.get(), out.data(), &size,
                          reinterpret_cast<const unsigned char*>(message.data()),
                          message.size()) == 1 &&
           size == out.size();
}

bool Ed25519Verify(const PublicKey& key, std::string_view message,
                   const std::array<std::uint8_t, 64>& signature) {
    const Pkey pkey(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.key.data(), 32),
                    EVP_PKEY_free);
    const MdCtx ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    return pkey && ctx &&
           EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) == 1 &&
           EVP_DigestVerify(ctx.get(), signature.data(), signature.size(),
                            reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}

std::string_view AsText(const std::array<std::uint8_t, 64>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

bool ReadSignature(std::string_view text, Signature& signature, std::string& error) {
    std::vector<std::string_view> lines;
    if (!SplitLines(text, lines, error)) return false;
    if (lines.size() != 4) {
        error = "a signature has four lines";
        return false;
    }
    std::vector<std::uint8_t> bytes, global;
    if (!TakeComment(lines[0], kUntrustedPrefix, error) ||
        !TakeComment(lines[2], kTrustedPrefix, error)) {
        return false;
    }
    if (!DecodeBase64(lines[1], 2 + 8 + 64, bytes) || !DecodeBase64(lines[3], 64, global)) {
        error = "a signature line is not base64 of the right length";
        return false;
    }
    if (bytes[0] != 'E' || bytes[1] != 'D') {
        error = "not a prehashed Ed25519 signature (algorithm bytes are not \"ED\")";
        return false;
    }
    std::copy_n(bytes.begin() + 2, 8, signature.keyId.begin());
    std::copy_n(bytes.begin() + 10, 64, signature.signature.begin());
    signature.trustedComment = lines[2];
    std::copy(global.begin(), global.end(), signature.globalSignature.begin());
    return true;
}

std::string FormatSignature(const Signature& signature) {
    std::vector<std::uint8_t> bytes = {'E', 'D'};
    bytes.insert(bytes.end(), signature.keyId.begin(), signature.keyId.end());
    bytes.insert(bytes.end(), signature.signature.begin(), signature.signature.end());
    return std::string(kUntrustedPrefix) + "signature from minisign secret key\n" +
           EncodeBase64(bytes.data(), bytes.size()) + "\n" + std::string(kTrustedPrefix) +
           signature.trustedComment + "\n" +
           EncodeBase64(signature.globalSignature.data(), signature.globalSignature.size()) + "\n";
}

bool Sign(const SecretKey& key, std::string_view message, const std::string& trustedComment,
          Signature& signature, std::string& error) {
    std::vector<std::string_view> lines;
    if (!SplitLines(trustedComment, lines, error) || lines.size() != 1 ||
        trustedComment.back() == '\n') {
        error = "the trusted comment must be one line without control characters";
        return false;
    }
    std::array<std::uint8_t, 64> prehash;
    signature.keyId = key.id;
    signature.trustedComment = trustedComment;
    if (!Blake2b512(message, prehash) || !Ed25519Sign(key, AsText(prehash), signature.signature) ||
        !Ed25519Sign(key, std::string(AsText(signature.signature)) + trustedComment,
                     signature.globalSignature)) {
        error = "the cryptographic library failed to sign";
        return false;
    }
    return true;
}

namespace {

bool CommentVerifies(const PublicKey& key, const Signature& signature) {
    return Ed25519Verify(key, std::string(AsText(signature.signature)) + signature.trustedComment,
                         signature.globalSignature);
}

}  // namespace

bool VerifyTrustedComment(const std::vector<PublicKey>& trusted, const Signature& signature,
                          std::string& error) {
    error = "signed by key " + KeyIdText(signature.keyId) + ", which is not trusted";
    for (const PublicKey& key : trusted) {
        if (key.id != signature.keyId) continue;
        if (CommentVerifies(key, signature)) {
            error.clear();
            return true;
        }
        error = "the trusted comment does not match its signature";
    }
    return false;
}

bool Verify(const std::vector<PublicKey>& trusted, std::string_view message,
            const Signature& signature, std::string& error) {
    error = "signed by key " + KeyIdText(signature.keyId) + ", which is not trusted";
    std::array<std::uint8_t, 64> prehash;
    if (!Blake2b512(message, prehash)) {
        error = "the cryptographic library failed to hash";
        return false;
    }
    // Two trusted keys could share an id by chance; each is tried.
    for (const PublicKey& key : trusted) {
        if (key.id != signature.keyId) continue;
        if (!Ed25519Verify(key, AsText(prehash), signature.signature)) {
            error = "the signature does not match the signed file";
        } else if (!CommentVerifies(key, signature)) {
            error = "the trusted comment does not match its signature";
        } else {
            error.clear();
            return true;
        }
    }
    return false;
}

}  // namespace trust
