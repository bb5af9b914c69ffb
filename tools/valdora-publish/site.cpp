#include "tools/valdora-publish/site.h"

#include <algorithm>

#include "patch/file_checks.h"
#include "platform/system_paths.h"

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
    return folder / platform::byte_name(listPath);
}

std::string SiteName(const std::filesystem::path& folder, std::string listPath) {
    std::replace(listPath.begin(), listPath.end(), '\\', '/');
    const std::string base = Utf8(folder);
    return base.empty() ? listPath : base + "/" + listPath;
}

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace publish
