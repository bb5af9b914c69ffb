// The trust module against hostile input: every bad key, signature, trusted
// comment and manifest is refused with the check that failed, nothing taken.
#include <gtest/gtest.h>

#include "support/signing.h"
#include "trust/release.h"
#include "trust/sha256_behind.h"

namespace {

using namespace testsupport;

TEST(Trust, RefusesBadInputWithTheCheckThatFailed) {
    const trust::SecretKey key = NewKey();
    const std::string pub = trust::FormatPublicKey(trust::PublicKeyOf(key));
    const std::string h = trust::ToHex(trust::Sha256Of("")) + "  ";
    const std::string m = h + "Patcher/1000_1.0.0.1_Update.txt\n" + h + "game/a b\n";
    const std::string ok = "version=2 product=valdora expires=2099-12-31T23:59:59Z";
    const std::string sig = SignText(key, m, ok);
    std::string otherId = sig;
    char& idLetter = otherId[sig.find('\n') + 5];  // a letter of the key id's base64
    idLetter = idLetter == 'A' ? 'B' : 'A';
    const auto with = [&](const std::string& tc) { return SignText(key, m, tc); };
    std::string badHex = m;
    badHex[0] = 'G';

    // An empty signature here: the manifest as it is, signed with `ok`.
    const struct {
        const char* name;
        std::string pub, manifest, sig;
        const char* error;
    } cases[] = {
        {"good", pub, m, sig, ""},
        {"bare key line", pub.substr(pub.find('\n') + 1), m, sig, ""},
        {"key cut short", pub.substr(0, pub.size() - 5), m, sig, "not base64"},
        {"signature garbage", pub, m, Swap(sig, "\nRU", "\nR*"), "not base64 of the right length"},
        {"key algorithm", Swap(pub, "\nRW", "\nRU"), m, sig, "not an Ed25519 key"},
        {"unhashed signature", pub, m, Swap(sig, "\nRU", "\nRW"), "not a prehashed"},
        {"key id", pub, m, otherId, "which is not trusted"},
        {"another key", pub, m, SignText(NewKey(), m, ok), "which is not trusted"},
        {"changed manifest", pub, m + h + "x\n", sig, "does not match the signed file"},
        {"changed comment", pub, m, Swap(sig, "version=2", "version=7"), "comment does not match"},
        {"expired", pub, m, with("version=2 product=valdora expires=2021-01-01T00:00:00Z"),
         "expired at 2021-01-01T00:00:00Z"},
        {"older", pub, m, with("version=1 product=valdora"), "version 1 is older than version 2"},
        {"version 02", pub, m, with("version=02 product=valdora"), "version is not valid"},
        {"twice", pub, m, with("version=2 version=3 product=valdora"), "version is there twice"},
        {"other product", pub, m, with("version=2 product=kalkan"), "not \"valdora\""},
        {"minisign's own", pub, m, with("timestamp:1700000000\tfile:m"), "not name=value"},
        {"one blank", pub, m + h.substr(0, 65) + "x\n", "", "line 3: no two blanks"},
        {"bad hex", pub, badHex, "", "line 1: no 64 lowercase hex"},
        {"absolute", pub, m + h + "/etc/passwd\n", "", "line 3: an absolute path"},
        {"dot dot", pub, m + h + "game/../x\n", "", "line 3: an empty, . or .. part"},
        {"duplicate", pub, m + h + "game/a b\n", "", "line 3: the path game/a b twice"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        trust::PublicKey trusted;
        trust::Release release;
        std::string error;
        const std::string signature = c.sig.empty() ? SignText(key, c.manifest, ok) : c.sig;
        const bool taken =
            trust::ReadPublicKey(c.pub, trusted, error) &&
            trust::VerifyRelease({trusted}, c.manifest, signature, 1700000000, 2, release, error);
        EXPECT_EQ(taken, *c.error == '\0');
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(release.manifest.entries().size(), taken ? 2u : 0u);
    }
}

// A kept release's signature says its version without the manifest it was
// made over; an edited comment, another key or another product says none.
TEST(Trust, ASignatureVouchesForItsVersionWithoutItsManifest) {
    const trust::SecretKey key = NewKey();
    const std::string good = SignText(key, "a manifest", "version=7 product=valdora");
    const std::pair<std::string, const char*> cases[] = {
        {good, ""},
        {Swap(good, "version=7", "version=9"), "comment does not match"},
        {SignText(NewKey(), "a manifest", "version=7 product=valdora"), "which is not trusted"},
        {SignText(key, "servers", "version=7 product=valdora-servers"), "not \"valdora\""},
        {good.substr(0, 90), "signature: "},
    };
    for (const auto& [signature, why] : cases) {
        trust::ReleaseInfo info;
        std::string error;
        const bool taken =
            trust::VerifySignedComment({trust::PublicKeyOf(key)}, signature, info, error);
        EXPECT_EQ(taken, *why == '\0') << why;
        EXPECT_NE(error.find(why), std::string::npos) << error;
        EXPECT_EQ(taken ? info.version : 7u, 7u);
    }
}

// The hash worked out behind the transfer is the hash of the bytes, in
// order, however they arrive: in one call of many blocks (the hash thread
// then has several waiting), in pieces that straddle the blocks, and again
// for a second stream after Final().
TEST(Trust, HashingBehindTheTransferIsTheHashOfTheBytesInOrder) {
    std::string bytes(3 * (256 << 10) * 2 + 12345, '\0');
    std::uint32_t x = 2463534242u;
    for (char& c : bytes) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = static_cast<char>(x);
    }
    trust::Sha256Behind hash;
    for (const std::size_t piece : {bytes.size(), std::size_t{65537}, std::size_t{1000}}) {
        SCOPED_TRACE(piece);
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            hash.Update(bytes.data() + at, std::min(piece, bytes.size() - at));
        }
        EXPECT_EQ(trust::ToHex(hash.Final()), trust::ToHex(trust::Sha256Of(bytes)));
    }
    hash.Update("abc", 3);
    EXPECT_EQ(trust::ToHex(hash.Final()), trust::ToHex(trust::Sha256Of("abc")));
}

}  // namespace
