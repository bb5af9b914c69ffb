// What a promotional pane may show and what goes to the player's browser:
// the same rules for every toolkit's browser. The pages are remote content:
// a pane shows web pages (and the browser's own about: and data: pages),
// never a local file; a new window the player asked for opens in the
// player's own browser, and only when it is a web page.
#pragma once

#include <string_view>

namespace window {

// The URL's scheme, without its colon, as written ("" when there is none).
inline std::string_view UrlScheme(std::string_view url) {
    const std::size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0) return {};
    for (const char c : url.substr(0, colon)) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!letter && !other) return {};
    }
    return url.substr(0, colon);
}

inline bool SchemeIs(std::string_view url, std::string_view scheme) {
    const std::string_view s = UrlScheme(url);
    if (s.size() != scheme.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = (s[i] >= 'A' && s[i] <= 'Z') ? static_cast<char>(s[i] - 'A' + 'a') : s[i];
        if (c != scheme[i]) return false;
    }
    return true;
}

// http and https: what the player's browser is handed.
inline bool IsWebAddress(std::string_view url) {
    return SchemeIs(url, "http") || SchemeIs(url, "https");
}

// What a pane's page may navigate to.
inline bool PaneMayShow(std::string_view url) {
    return IsWebAddress(url) || SchemeIs(url, "about") || SchemeIs(url, "data");
}

}  // namespace window
