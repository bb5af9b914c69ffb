#include "tools/valdora-publish/site.h"

#include <algorithm>

#include "patch/file_checks.h"
#include "patch/update_list.h"
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

std::filesystem::path SitePath(const std::filesystem::path& folder, const std::string& listPath) {
    return folder / Utf8Path(SiteName(listPath));
}

std::filesystem::path LegacySitePath(const std::filesystem::path& folder,
                                     const std::string& listPath) {
    if (std::all_of(listPath.begin(), listPath.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return {};
    }
    std::string bytes = listPath;
    std::replace(bytes.begin(), bytes.end(), '\\', '/');
    // On Windows, whose names are characters, those of the bytes.
    return std::filesystem::path(kLegacyNames) / folder / platform::byte_name(bytes);
}

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path Utf8Path(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace publish
