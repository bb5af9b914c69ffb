// What a signed release says about itself, in its signature's trusted
// comment, and the checks a client makes before it uses the release.
//
//   version=N product=valdora [expires=YYYY-MM-DDTHH:MM:SSZ]
//
// Fields are "name=value" with one blank between them. `version` (a decimal
// number, no sign, no leading zero) and `product` must be there, each field
// at most once; fields of other names, as later publishers may add, are
// passed over.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "trust/keys.h"
#include "trust/manifest.h"

namespace trust {

inline constexpr std::string_view kProduct = "valdora";
// No version above this is taken (nor signed): a typo there would raise the
// lowest version every launcher takes for good, out of reach of any later
// release.
inline constexpr std::uint64_t kMaxVersion = std::uint64_t{1} << 53;
// The product of a signed game-server list: "version=N
// product=valdora-servers expires=...", N the time it was signed.
inline constexpr std::string_view kServerListProduct = "valdora-servers";

struct ReleaseInfo {
    std::uint64_t version = 0;                // only goes up from release to release
    std::string product;                      // "valdora" for this game
    std::optional<std::int64_t> expiresUnix;  // not to be used from then on (UTC)
};

bool ParseTrustedComment(std::string_view comment, ReleaseInfo& info, std::string& error);
std::string FormatTrustedComment(const ReleaseInfo& info);

// "YYYY-MM-DDTHH:MM:SSZ", years 1970 to 9999.
std::string FormatUtcTime(std::int64_t unixSeconds);
bool ParseUtcTime(std::string_view text, std::int64_t& unixSeconds);

struct Release {
    ReleaseInfo info;
    Manifest manifest;
};

// The checks of a signed manifest in the order a client makes them: the
// signature file reads and verifies with one of `trusted` over
// `manifestText`; the trusted comment reads; the product is "valdora"; an
// expiry lies after `nowUnix`; the version is at least `minimumVersion` (the
// last one accepted); the manifest reads. False with the failed check in
// `error`, for the log.
bool VerifyRelease(const std::vector<PublicKey>& trusted, std::string_view manifestText,
                   std::string_view signatureText, std::int64_t nowUnix,
                   std::uint64_t minimumVersion, Release& release, std::string& error);

// The signature of `text` reads and verifies with one of `trusted`, and its
// trusted comment reads into `info`: no other check (a release kept earlier
// says its version so). False with the reason.
bool VerifySignedInfo(const std::vector<PublicKey>& trusted, std::string_view text,
                      std::string_view signatureText, ReleaseInfo& info, std::string& error);

// What a release's signature file says of it, without the manifest: the
// file reads, its trusted comment verifies with one of `trusted` (the
// comment is signed on its own, over the signature bytes and the comment),
// reads, and names the product "valdora". The version a release kept
// earlier says so, even when the manifest it was kept with is gone or of
// another release. False with the reason.
bool VerifySignedComment(const std::vector<PublicKey>& trusted, std::string_view signatureText,
                         ReleaseInfo& info, std::string& error);

// The checks of a signed server list: the signature file reads and
// verifies with one of `trusted` over `listText`; the trusted comment reads;
// the product is "valdora-servers"; it carries an expiry, and that lies
// after `nowUnix` (a list of servers goes stale: it is signed again and
// again, for a short time each). False with the failed check in `error`.
bool VerifyServerList(const std::vector<PublicKey>& trusted, std::string_view listText,
                      std::string_view signatureText, std::int64_t nowUnix, std::string& error);

}  // namespace trust
