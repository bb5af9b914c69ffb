#include "tools/valdora-publish/checks.h"

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string_view>
#include <utility>

#include "delta/pack_index.h"
#include "patch/download_plan.h"
#include "patch/installed_hashes.h"
#include "patch/signed_release.h"
#include "patch/update_list.h"
#include "platform/codepage.h"
#include "tools/valdora-publish/text_file.h"

namespace publish {

std::string NameProblem(const std::string& name) {
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return "a line break or another control character";
        if (c == '\\') return "a backslash, which the launcher reads as a folder separator";
    }
    std::string cp1254;
    if (!platform::utf8_to_cp1254(name, cp1254)) {
        return "a character that code page 1254 cannot represent (the launcher's list holds "
               "CP1254 bytes; letters must be precomposed)";
    }
    return "";
}

bool SiteFolderOfBaseUrl(const std::string& baseUrl, std::filesystem::path& folder,
                         std::string& reason) {
    std::size_t start = 0;
    for (const char* scheme : {"http://", "https://"}) {
        if (platform::equal_ignoring_ascii_case(
                std::string_view(baseUrl).substr(0, std::strlen(scheme)), scheme)) {
            start = std::strlen(scheme);
        }
    }
    if (start == 0) {
        reason = "must begin with http:// or https://";
        return false;
    }
    for (const char c : baseUrl) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || std::strchr("\\?#%\"<>", c) != nullptr) {
            reason = "may hold no blanks, control or non-ASCII characters, nor \\ ? # % \" < >";
            return false;
        }
    }
    const std::size_t slash = baseUrl.find('/', start);
    if (slash == start || start == baseUrl.size()) {
        reason = "names no host";
        return false;
    }
    folder.clear();
    if (slash == std::string::npos) return true;
    std::size_t at = slash + 1;
    while (at <= baseUrl.size()) {
        const std::size_t end = std::min(baseUrl.find('/', at), baseUrl.size());
        const std::string segment = baseUrl.substr(at, end - at);
        if (segment.empty() || segment == "." || segment == ".." ||
            segment.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                      "0123456789._~-") != std::string::npos) {
            reason = "its folders may hold only letters, digits and . _ ~ - (and no . or ..)";
            return false;
        }
        folder /= segment;
        at = end + 1;
    }
    return true;
}

std::string ListPathProblem(const std::string& listPath) {
    if (std::count(listPath.begin(), listPath.end(), '\\') > static_cast<long>(kMaxFolders)) {
        return "more than " + std::to_string(kMaxFolders) + " folders deep";
    }
    // Where the release's chunk indexes and packs lie: no game file may be
    // named so.
    const std::pair<const char*, const char*> reserved[] = {{kIndexFolder, "chunk indexes"},
                                                            {delta::kPackFolder, "packs"}};
    for (const auto& [folder, holds] : reserved) {
        const std::string prefix = std::string(folder) + "\\";
        if (platform::equal_ignoring_ascii_case(listPath.substr(0, prefix.size()), prefix)) {
            return std::string("reserved: the folder of the ") + holds;
        }
    }
    const std::string refusal = ListPathRefusal(listPath);
    return refusal.empty() || refusal.rfind("reserved: ", 0) == 0
               ? refusal
               : "the launcher refuses this path: " + refusal;
}

bool LauncherKeys(const std::filesystem::path& launcher, std::vector<std::string>& keys) {
    // As app/launcher_version.cpp stamps it.
    static constexpr std::string_view kTag = "VALDORA_TRUSTED_KEYS=";
    keys.clear();
    std::string bytes;
    if (!ReadText(launcher, bytes)) return false;
    const std::size_t at = bytes.find(kTag);
    if (at == std::string::npos) return false;
    const std::size_t end = bytes.find('\0', at);
    std::istringstream stamp(bytes.substr(at + kTag.size(), end - at - kTag.size()));
    for (std::string key; stamp >> key;) keys.push_back(key);
    return true;
}

}  // namespace publish
