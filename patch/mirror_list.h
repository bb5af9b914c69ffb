// The mirrors of a signed site: copies of the whole site folder on other
// servers, object stores or CDNs, named by the publisher in
// "Patcher/mirrors.txt" beside the update list and covered by the signed
// manifest, so a launcher takes them only from a release it verified. Every
// byte a mirror gives is checked as the primary's are: a mirror is never
// trusted, only used.
//
// The text: one URL per line, "\n" after each, the URL of the copy's root
// (what the primary's "http://host" is to it): "http://" or "https://", a
// host, an optional path, no final "/", no query or fragment, no blank or
// control byte; no URL twice; at most kMaxMirrors of them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "trust/keys.h"

// The list's place on the site (its manifest path too) and in base/.
inline constexpr const char* kMirrorListPath = "Patcher/mirrors.txt";
inline constexpr const char* kKeptMirrors = "base\\mirrors.txt";
inline constexpr std::size_t kMaxMirrors = 32;
inline constexpr std::size_t kMaxMirrorUrlBytes = 1024;

// "" when `url` may stand in a list; else why not.
std::string MirrorUrlRefusal(std::string_view url);
// False (and why in `error`) for a text the publisher would not have
// written; `mirrors` then holds none.
bool ParseMirrorList(std::string_view text, std::vector<std::string>& mirrors, std::string& error);
std::string FormatMirrorList(const std::vector<std::string>& mirrors);

// "scheme://host[:port]" of `url`; "" for no http(s) URL.
std::string OriginOf(const std::string& url);
// The list URL, or any URL of the primary's site (its path from the host
// on: a manifest path), on the copy of the site at `site`.
std::string OnSite(const std::string& site, const std::string& url);

// The mirrors of the release kept in base/ (signature, manifest and
// mirrors.txt), when its signature verifies with `keys` and the kept list
// of mirrors is the one its manifest names; else none. Whether the kept
// release has expired does not matter: a mirror only gives bytes that are
// checked.
std::vector<std::string> KeptMirrors(const std::vector<trust::PublicKey>& keys);
