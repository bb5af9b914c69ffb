#include "patch/mirror_list.h"

#include <algorithm>

#include "patch/signed_release.h"
#include "platform/file.h"
#include "trust/manifest.h"
#include "trust/release.h"
#include "trust/sha256.h"

std::string MirrorUrlRefusal(std::string_view url) {
    const std::size_t scheme = url.starts_with("http://") ? 7 : url.starts_with("https://") ? 8 : 0;
    if (scheme == 0) return "not an http:// or https:// URL";
    if (url.size() > kMaxMirrorUrlBytes) return "longer than 1024 bytes";
    if (scheme == url.size() || url[scheme] == '/') return "no host";
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte == 0x7F || c == '?' || c == '#' || c == '\\') {
            return "a blank, control byte, query, fragment or backslash";
        }
    }
    if (url.back() == '/') return "a final /";
    return "";
}

bool ParseMirrorList(std::string_view text, std::vector<std::string>& mirrors, std::string& error) {
    mirrors.clear();
    if (!text.empty() && text.back() != '\n') error = "the last line has no line end";
    while (error.empty() && !text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view url = text.substr(0, end);
        text.remove_prefix(end + 1);
        const std::string why = MirrorUrlRefusal(url);
        if (!why.empty()) {
            error = "line " + std::to_string(mirrors.size() + 1) + ": " + why;
        } else if (std::find(mirrors.begin(), mirrors.end(), url) != mirrors.end()) {
            error = "line " + std::to_string(mirrors.size() + 1) + ": named twice";
        } else if (mirrors.size() == kMaxMirrors) {
            error = "more than " + std::to_string(kMaxMirrors) + " mirrors";
        } else {
            mirrors.emplace_back(url);
        }
    }
    if (!error.empty()) mirrors.clear();
    return error.empty();
}

std::string FormatMirrorList(const std::vector<std::string>& mirrors) {
    std::string text;
    for (const std::string& url : mirrors) text.append(url).append("\n");
    return text;
}

std::string OriginOf(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (!url.starts_with("http://") && !url.starts_with("https://")) return "";
    const std::string origin = url.substr(0, url.find('/', scheme + 3));
    return MirrorUrlRefusal(origin).empty() ? origin : "";
}

std::string OnSite(const std::string& site, const std::string& url) {
    const std::size_t scheme = url.find("://");
    const std::size_t path = scheme == std::string::npos ? scheme : url.find('/', scheme + 3);
    return site + (path == std::string::npos ? "/" : url.substr(path));
}

std::vector<std::string> KeptMirrors(const std::vector<trust::PublicKey>& keys) {
    std::string manifestText, signature, text, error;
    trust::ReleaseInfo info;
    trust::Manifest manifest;
    std::vector<std::string> mirrors;
    if (!platform::read_file(kKeptManifest, manifestText) ||
        !platform::read_file(kKeptSignature, signature) ||
        !platform::read_file(kKeptMirrors, text) ||
        !trust::VerifySignedInfo(keys, manifestText, signature, info, error) ||
        info.product != trust::kProduct || !trust::Manifest::Parse(manifestText, manifest, error)) {
        return mirrors;
    }
    const trust::Sha256Digest* listed = manifest.Find(kMirrorListPath);
    if (listed != nullptr && *listed == trust::Sha256Of(text))
        ParseMirrorList(text, mirrors, error);
    return mirrors;
}
