#include "trust/release.h"

#include <chrono>
#include <cstdio>

#include "trust/signature.h"

namespace trust {

namespace {

// Decimal digits only, no leading zero, no overflow.
bool ParseNumber(std::string_view text, std::uint64_t& value) {
    if (text.empty() || text.size() > 20 || (text[0] == '0' && text.size() > 1)) return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

}  // namespace

std::string FormatUtcTime(std::int64_t unixSeconds) {
    using namespace std::chrono;
    const sys_seconds time{seconds(unixSeconds)};
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss<seconds> clock{time - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                  int(clock.minutes().count()), int(clock.seconds().count()));
    return text;
}

bool ParseUtcTime(std::string_view text, std::int64_t& unixSeconds) {
    // Each field: where it starts, its digits, its largest value.
    static constexpr struct {
        int at, digits, max;
    } kFields[] = {{0, 4, 9999}, {5, 2, 12}, {8, 2, 31}, {11, 2, 23}, {14, 2, 59}, {17, 2, 59}};
    if (text.size() != 20 || text.substr(4, 1) != "-" || text.substr(7, 1) != "-" ||
        text[10] != 'T' || text[13] != ':' || text[16] != ':' || text[19] != 'Z') {
        return false;
    }
    int v[6];
    for (int i = 0; i < 6; ++i) {
        std::uint64_t n = 0;
        const std::string_view digits = text.substr(kFields[i].at, kFields[i].digits);
        if (digits.find_first_not_of("0123456789") != std::string_view::npos) return false;
        for (const char c : digits) n = n * 10 + static_cast<std::uint64_t>(c - '0');
        if (n > static_cast<std::uint64_t>(kFields[i].max)) return false;
        v[i] = static_cast<int>(n);
    }
    using namespace std::chrono;
    const year_month_day date{year(v[0]), month(static_cast<unsigned>(v[1])),
                              day(static_cast<unsigned>(v[2]))};
    if (v[0] < 1970 || !date.ok()) return false;
    unixSeconds =
        sys_days(date).time_since_epoch().count() * 86400LL + v[3] * 3600 + v[4] * 60 + v[5];
    return true;
}

bool ParseTrustedComment(std::string_view comment, ReleaseInfo& info, std::string& error) {
    info = ReleaseInfo();
    bool haveVersion = false, haveProduct = false;
    for (std::size_t at = 0; at <= comment.size();) {
        const std::size_t end = std::min(comment.find(' ', at), comment.size());
        const std::string_view field = comment.substr(at, end - at);
        at = end + 1;
        const std::size_t equals = field.find('=');
        if (equals == 0 || equals == std::string_view::npos) {
            error = "the trusted comment holds \"" + std::string(field) + "\", not name=value";
            return false;
        }
        const std::string_view name = field.substr(0, equals), value = field.substr(equals + 1);
        bool ok = true, twice = false;
        if (name == "version") {
            twice = haveVersion;
            haveVersion = true;
            ok = ParseNumber(value, info.version) && info.version <= kMaxVersion;
        } else if (name == "product") {
            twice = haveProduct;
            haveProduct = true;
            info.product = value;
            ok = !value.empty();
        } else if (name == "expires") {
            twice = info.expiresUnix.has_value();
            std::int64_t when = 0;
            ok = ParseUtcTime(value, when);
            info.expiresUnix = when;
        }
        if (!ok || twice) {
            error = "the trusted comment's " + std::string(name) + " is " +
                    (twice ? "there twice" : "not valid");
            return false;
        }
    }
    if (!haveVersion || !haveProduct) {
        error = "the trusted comment has no version or no product";
        return false;
    }
    return true;
}

std::string FormatTrustedComment(const ReleaseInfo& info) {
    std::string text = "version=" + std::to_string(info.version) + " product=" + info.product;
    if (info.expiresUnix) text += " expires=" + FormatUtcTime(*info.expiresUnix);
    return text;
}

bool VerifySignedInfo(const std::vector<PublicKey>& trusted, std::string_view text,
                      std::string_view signatureText, ReleaseInfo& info, std::string& error) {
    Signature signature;
    std::string why;
    if (!ReadSignature(signatureText, signature, why) || !Verify(trusted, text, signature, why)) {
        error = "signature: " + why;
        return false;
    }
    return ParseTrustedComment(signature.trustedComment, info, error);
}

bool VerifySignedComment(const std::vector<PublicKey>& trusted, std::string_view signatureText,
                         ReleaseInfo& info, std::string& error) {
    Signature signature;
    std::string why;
    if (!ReadSignature(signatureText, signature, why) ||
        !VerifyTrustedComment(trusted, signature, why)) {
        error = "signature: " + why;
        return false;
    }
    if (!ParseTrustedComment(signature.trustedComment, info, error)) return false;
    if (info.product == kProduct) return true;
    error = "the release is for product \"" + info.product + "\", not \"valdora\"";
    return false;
}

bool VerifyServerList(const std::vector<PublicKey>& trusted, std::string_view listText,
                      std::string_view signatureText, std::int64_t nowUnix, std::string& error) {
    ReleaseInfo info;
    error.clear();
    if (!VerifySignedInfo(trusted, listText, signatureText, info, error)) return false;
    if (info.product != kServerListProduct) {
        error = "signed for product \"" + info.product + "\"";
    } else if (!info.expiresUnix) {
        error = "the signature has no expiry";
    } else if (*info.expiresUnix <= nowUnix) {
        error = "expired at " + FormatUtcTime(*info.expiresUnix);
    }
    return error.empty();
}

bool VerifyRelease(const std::vector<PublicKey>& trusted, std::string_view manifestText,
                   std::string_view signatureText, std::int64_t nowUnix,
                   std::uint64_t minimumVersion, Release& release, std::string& error) {
    release = Release();
    error.clear();
    ReleaseInfo& info = release.info;
    std::string why;
    if (!VerifySignedInfo(trusted, manifestText, signatureText, info, error)) return false;
    if (info.product != kProduct) {
        error = "the release is for product \"" + info.product + "\", not \"valdora\"";
    } else if (info.expiresUnix && *info.expiresUnix <= nowUnix) {
        error = "the release expired at " + FormatUtcTime(*info.expiresUnix);
    } else if (info.version < minimumVersion) {
        error = "the release's version " + std::to_string(info.version) +
                " is older than version " + std::to_string(minimumVersion) + " accepted before";
    } else if (!Manifest::Parse(manifestText, release.manifest, why)) {
        error = "manifest: " + why;
    }
    if (!error.empty()) release = Release();
    return error.empty();
}

}  // namespace trust
