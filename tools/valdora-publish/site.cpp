#include "tools/valdora-publish/site.h"

#include <algorithm>

#include "patch/file_checks.h"

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

std::filesystem::path SitePath(const std::filesystem::path& folder, std::string listPath) {
    std::replace(listPath.begin(), listPath.end(), '\\', '/');
    return folder / listPath;
}

}  // namespace publish
