#include "tools/valdora-publish/site.h"

#include <algorithm>

#include "patch/file_checks.h"
#include "patch/update_list.h"

namespace publish {

std::string UpdateListText(const std::string& baseUrl, const std::string& note,
                           const std::vector<ListFile>& files) {
    std::string text = baseUrl + "\r\n" + note + "\r\n";
    for (const ListFile& file : files) {
        text += file.path + "\r\n" + std::to_string(file.size) + "\r\n" +
                FormatTimeText(file.unixTime) + "\r\n";
    }
    return text;
}

std::filesystem::path SitePath(const std::filesystem::path& folder, const std::string& listPath) {
    return folder / SiteName(listPath);
}

std::filesystem::path LegacySitePath(const std::filesystem::path& folder,
                                     const std::string& listPath) {
    if (std::all_of(listPath.begin(), listPath.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return {};
    }
    std::string bytes = listPath;
    std::replace(bytes.begin(), bytes.end(), '\\', '/');
    return std::filesystem::path(kLegacyNames) / folder / bytes;
}

}  // namespace publish
