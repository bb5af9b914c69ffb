// Keys, signatures and small text edits for the tests of signed sites.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "trust/signature.h"

namespace testsupport {

inline trust::SecretKey NewKey() {
    trust::SecretKey key;
    std::string error;
    EXPECT_TRUE(trust::GenerateKeyPair(key, error)) << error;
    return key;
}

// A signature file over `text` with the trusted comment `comment`.
inline std::string SignText(const trust::SecretKey& key, const std::string& text,
                            const std::string& comment) {
    trust::Signature signature;
    std::string error;
    EXPECT_TRUE(trust::Sign(key, text, comment, signature, error)) << error;
    return trust::FormatSignature(signature);
}

// `text` with its first `from` replaced by `to`.
inline std::string Swap(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

}  // namespace testsupport
